// Reading, validating and walking received datagrams, over a real socket on loopback.
#include "tests/net/net_support.h"

using namespace nt;

namespace {

int packet_hook_calls = 0;
unsigned int packet_hook_length = 0;

void count_packet(zvmp_pkt_s*, sockaddr_in*, unsigned int length)
{
    ++packet_hook_calls;
    packet_hook_length = length;
}

struct ReceiveTest : testing::Test {
    UdpEnd panel;
    void SetUp() override
    {
        open_node();
        zvmp_net_message_received_callback = record_message;
        zvmp_net_packet_received_callback = count_packet;
    }
    // Sends the datagram to the node and reads it back as the service does once.
    zvmp_pkt_ptr deliver(const Bytes& datagram, sockaddr_in* from)
    {
        panel.send(datagram, 59000);
        EXPECT_TRUE(wait_readable(zvmp_net_socket));
        return zvmp_pkt_ptr(zvmp_net_read_packet(from));
    }
};

TEST_F(ReceiveTest, DatagramsAreValidatedAndWalked)
{
    const float heading = 270.0f;
    Bytes full = packet(0x81060000, 2, [] {
        auto body = message_of_words(0x2A001D01, 255);
        auto second = message_of_words(0x2A001D02, 105);
        body.insert(body.end(), second.begin(), second.end());
        return body;
    }());
    ASSERT_EQ(full.size(), 1472u);
    // 23 bytes whose length field says 23 and whose msg_count is 0x00FFFFFF: the length lies
    // below the header size.
    Bytes short_length = words({0x13060000, 0, 0, 0, 23});
    for (int i = 0; i < 3; ++i) short_length.push_back(0xFF);
    Bytes oversized = words({1, 0x84060000});
    oversized.resize(1500, 0);

    struct Case {
        const char* name;
        Bytes datagram;
        bool accepted;
        unsigned int in_len;
        std::vector<std::uint32_t> ids;
    };
    const Case cases[] = {
        {"empty", {}, false, 0, {}},
        {"bare header", packet(0x13060000, 0, {}), true, 24, {}},
        {"length says 40, 36 arrive", packet(0x13060000, 2, {ZVMP_MSG_HELLO, 0x13060000, ZVMP_MSG_REQ_STREAM}, 40),
         false, 36, {}},
        {"1472 bytes", full, true, 1472, {0x2AFF1D01, 0x2A691D02}},
        {"type-coded hello of 8 bytes", words({1, 0x84060000}), true, 8, {}},
        {"other type code", words({7}), true, 4, {}},
        {"first word 0x100 is a header packet", words({0x100}), false, 4, {}},
        {"first word 0x00030000", packet(0x00030000, 1, {0x22011501, 1}), true, 32, {}},
        {"first word 0x00040000", packet(0x00040000, 1, {0x22011501, 1}), true, 32, {0x22011501}},
        {"msg_count 3, room for 2", packet(0x81060000, 3, {0x22011501, 1, 0x26011603, float_word(heading)}), true,
         40, {0x22011501, 0x26011603}},
        {"flight-director mode then two more",
         packet(0x81060000, 3, {0x22011801, 2, 0x26011802, 0, 0x26011803, 0}), true, 48,
         {0x22011801, 0x26011802, 0x26011803}},
        {"payload beyond the end", packet(0x81060000, 1, {0x27021101, 0}), true, 32, {}},
        {"length below the header", short_length, true, 23, {}},
        {"network's own messages",
         packet(0x81060000, 3, {ZVMP_MSG_HELLO, 0x81060000, ZVMP_MSG_REQ_STREAM, ZVMP_MSG_STOP_STREAM}), true, 40,
         {ZVMP_MSG_HELLO, ZVMP_MSG_REQ_STREAM, ZVMP_MSG_STOP_STREAM}},
        {"too long for the receive size", oversized, false, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        delivered.clear();
        packet_hook_calls = 0;
        sockaddr_in from{};
        zvmp_pkt_ptr pkt = deliver(c.datagram, &from);
        EXPECT_EQ(pkt != nullptr, c.accepted);
        EXPECT_EQ(zvmp_net_packet_in_len, c.in_len);
        zvmp_net_process_packet(pkt.get(), &from);
        EXPECT_EQ(delivered_ids(), c.ids);
        EXPECT_EQ(packet_hook_calls, c.accepted ? 1 : 0);
        if (c.accepted) {
            EXPECT_EQ(packet_hook_length, c.in_len);
            EXPECT_EQ(ntohs(from.sin_port), panel.port);
        }
        // A dropped datagram never costs the socket.
        EXPECT_TRUE(zvmp_network_is_open());
    }
}

TEST_F(ReceiveTest, PayloadPointsAtTheValueAndSenderIsGiven)
{
    double latitude = 47.5;
    std::uint32_t lat_words[2];
    std::memcpy(lat_words, &latitude, sizeof latitude);
    sockaddr_in from{};
    zvmp_pkt_ptr pkt = deliver(packet(0x81060000, 2, {0x26011603, float_word(270.0f), 0x27021101, lat_words[0],
                                                      lat_words[1]}),
                               &from);
    zvmp_net_process_packet(pkt.get(), &from);
    ASSERT_EQ(delivered.size(), 2u);
    EXPECT_EQ(delivered[0].payload, words({float_word(270.0f)}));
    EXPECT_EQ(delivered[1].payload, words({lat_words[0], lat_words[1]}));
    EXPECT_EQ(delivered[1].from, "127.0.0.1:" + std::to_string(panel.port));
}

TEST_F(ReceiveTest, TypeCodedHelloAddsTheSenderWithItsSecondWord)
{
    sockaddr_in from{};
    zvmp_pkt_ptr pkt = deliver(words({1, 0x84060000}), &from);
    zvmp_net_process_packet(pkt.get(), &from);
    zvmp_net_tgt_list_s* peer = zvmp_peer_with_addr_port("127.0.0.1", panel.port);
    ASSERT_NE(peer, nullptr);
    EXPECT_EQ(peer->node_type, 0x84060000u);
    EXPECT_EQ(peer->last_heard, 1000000);
    EXPECT_EQ(zvmp_number_of_peers(), 1u);
}

TEST_F(ReceiveTest, HelloAndRequestInOnePacketMakeAStreamingPeer)
{
    sockaddr_in from{};
    // The hello's payload is not read: the header word is the type recorded.
    zvmp_pkt_ptr pkt =
        deliver(packet(0x81060000, 2, {ZVMP_MSG_HELLO, 0xDEADBEEF, ZVMP_MSG_REQ_STREAM}), &from);
    zvmp_net_process_packet(pkt.get(), &from);
    zvmp_net_tgt_list_s* peer = zvmp_peer_with_addr_port("127.0.0.1", panel.port);
    ASSERT_NE(peer, nullptr);
    EXPECT_EQ(peer->node_type, 0x81060000u);
    EXPECT_EQ(peer->flags, ZVMP_TGT_STREAMING);
    EXPECT_EQ(zvmp_number_of_stream_clients_of_type(0x81000000), 1u);
}

TEST_F(ReceiveTest, ReadingWithNothingWaitingOrSocketClosed)
{
    sockaddr_in from{};
    EXPECT_EQ(zvmp_net_read_packet(&from), nullptr);
    EXPECT_EQ(zvmp_net_packet_in_len, 0u);
    zvmp_close_network();
    panel.send(packet(0x13060000, 0, {}), 59000);
    EXPECT_EQ(zvmp_net_read_packet(&from), nullptr);
    zvmp_net_process_packet(nullptr, &from);
    EXPECT_EQ(packet_hook_calls, 0);
}

// ---- Receive failures, through the platform table ----

long failing_recv_from(plat_socket_t, void*, std::size_t, sockaddr_in*) { return -1; }
long dropping_recv_from(plat_socket_t, void*, std::size_t, sockaddr_in*) { return PLAT_RECV_DROPPED; }

TEST_F(ReceiveTest, FailedReceiveClosesTheSocketDroppedDatagramDoesNot)
{
    struct Case {
        const char* name;
        long (*recv_from)(plat_socket_t, void*, std::size_t, sockaddr_in*);
        bool open_after;
    };
    for (const Case& c : {Case{"dropped", dropping_recv_from, true}, Case{"failed", failing_recv_from, false}}) {
        SCOPED_TRACE(c.name);
        plat_net.recv_from = c.recv_from;
        panel.send(packet(0x13060000, 0, {}), 59000);
        ASSERT_TRUE(wait_readable(zvmp_net_socket));
        sockaddr_in from{};
        EXPECT_EQ(zvmp_net_read_packet(&from), nullptr);
        EXPECT_EQ(zvmp_net_packet_in_len, 0u);
        EXPECT_EQ(zvmp_network_is_open() == 1, c.open_after);
    }
}

}  // namespace
