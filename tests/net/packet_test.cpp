// Packets as they go on the wire: header, message records, the size limits, and the hello and
// stream request datagrams the network sends.
#include "tests/net/net_support.h"

using namespace nt;

namespace {

constexpr std::uint32_t OWN_HEADER = 0x13060000;

TEST(Packet, ApplicationMessagesByteForByte)
{
    zvmp_node_type = 0x13000000;
    zvmp_pkt_ptr pkt(zvmp_net_make_packet());
    ASSERT_TRUE(pkt);
    std::int32_t gear = 1;
    float heading = 270.0f;
    double latitude = 47.5;
    ASSERT_EQ(zvmp_net_add_msg_to_pkt(pkt.get(), 0x22011501, &gear), 1);
    ASSERT_EQ(zvmp_net_add_msg_to_pkt(pkt.get(), 0x26011603, &heading), 1);
    ASSERT_EQ(zvmp_net_add_msg_to_pkt(pkt.get(), 0x27021101, &latitude), 1);

    Bytes expected = {0x00, 0x00, 0x06, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                      52,   0,    0,    0,    3, 0, 0, 0,
                      0x01, 0x15, 0x01, 0x22, 0x01, 0x00, 0x00, 0x00,
                      0x03, 0x16, 0x01, 0x26, 0x00, 0x00, 0x87, 0x43,
                      0x01, 0x11, 0x02, 0x27, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x47, 0x40};
    EXPECT_EQ(packet_bytes(pkt.get()), expected);
}

TEST(Packet, EmptyPacketIsTheBareHeader)
{
    zvmp_node_type = 0x84000000;
    zvmp_pkt_ptr pkt(zvmp_net_make_packet());
    ASSERT_TRUE(pkt);
    EXPECT_EQ(packet_bytes(pkt.get()), words({0x84060000, 0, 0, 0, 24, 0}));
    // The rest of the buffer is zero.
    auto* raw = reinterpret_cast<const std::uint8_t*>(pkt.get());
    for (std::uint32_t i = 24; i < ZVMP_PKT_BUFFER_SIZE; ++i) ASSERT_EQ(raw[i], 0) << i;
}

TEST(Packet, SizeLimits)
{
    struct Case {
        const char* name;
        std::vector<std::uint32_t> fill_ids;  // appended first, with filler payloads
        std::uint32_t id;
        int fits;
        std::uint32_t length_after;
    };
    const std::vector<std::uint8_t> filler(1020, 0x5A);
    const Case cases[] = {
        {"no payload at 1468 makes 1472", {0x2AFF0001, 0x2A680002}, 0x21000003, 1, 1472},
        {"one word at 1468 does not fit", {0x2AFF0001, 0x2A680002}, 0x22010003, 0, 1468},
        {"255 words at 448 fit", {0x2A690001}, 0x2AFF0003, 1, 1472},
        {"255 words at 452 do not fit", {0x2A6A0001}, 0x2AFF0003, 0, 452},
        {"255 words into an empty packet", {}, 0x2AFF0003, 1, 1048},
        {"nothing fits at 1472", {0x2AFF0001, 0x2A690002}, 0x21000003, 0, 1472},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        zvmp_pkt_ptr pkt(zvmp_net_make_packet());
        ASSERT_TRUE(pkt);
        for (std::uint32_t id : c.fill_ids) ASSERT_EQ(zvmp_net_add_msg_to_pkt(pkt.get(), id, filler.data()), 1);
        zvmp_pkt_s before = *pkt;
        EXPECT_EQ(zvmp_net_add_msg_to_pkt(pkt.get(), c.id, filler.data()), c.fits);
        EXPECT_EQ(pkt->length, c.length_after);
        EXPECT_EQ(pkt->msg_count, c.fill_ids.size() + static_cast<std::size_t>(c.fits));
        if (!c.fits) {
            EXPECT_EQ(std::memcmp(&before, pkt.get(), sizeof before), 0);
        }
    }
}

TEST(Packet, BadArgumentsAppendNothing)
{
    zvmp_pkt_ptr pkt(zvmp_net_make_packet());
    EXPECT_EQ(zvmp_net_add_msg_to_pkt(nullptr, 0x21000001, nullptr), 0);
    // A payload stated by the id but no bytes to copy it from.
    EXPECT_EQ(zvmp_net_add_msg_to_pkt(pkt.get(), 0x22011501, nullptr), 0);
    EXPECT_EQ(pkt->length, 24u);
    // A corrupted length field must not let a message land outside the packet.
    pkt->length = 0xFFFFFFF0;
    std::int32_t v = 1;
    EXPECT_EQ(zvmp_net_add_msg_to_pkt(pkt.get(), 0x22011501, &v), 0);
    EXPECT_EQ(pkt->msg_count, 0u);
}

TEST(Packet, HelloDatagramIs32Bytes)
{
    open_node();
    UdpEnd panel;
    zvmp_add_peer_target("127.0.0.1", panel.port, 0x81060000);
    zvmp_send_hello_packets();
    Bytes expected = {0x00, 0x00, 0x06, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                      32,   0,    0,    0,    1, 0, 0, 0, 0x01, 0x01, 0x01, 0x02, 0x00, 0x00, 0x06, 0x13};
    EXPECT_EQ(panel.receive(), expected);
}

TEST(Packet, StreamRequestAndStopDatagramsAre36Bytes)
{
    open_node();
    UdpEnd server;
    zvmp_add_peer_target("127.0.0.1", server.port, 0x81060000);
    zvmp_req_stream_data_from("127.0.0.1", server.port);
    zvmp_stop_stream_data_from("127.0.0.1", server.port);
    Bytes header = words({OWN_HEADER, 0, 0, 0, 36, 2, ZVMP_MSG_HELLO, OWN_HEADER});
    Bytes request = header, stop = header;
    request.insert(request.end(), {0x02, 0x01, 0x00, 0x01});
    stop.insert(stop.end(), {0x03, 0x01, 0x00, 0x01});
    EXPECT_EQ(server.receive(), request);
    EXPECT_EQ(server.receive(), stop);
}

TEST(Packet, StreamRequestToAnUnknownPeerSendsNothing)
{
    open_node();
    record_sends();
    UdpEnd server;
    zvmp_req_stream_data_from("127.0.0.1", server.port);
    zvmp_stop_stream_data_from("127.0.0.1", server.port);
    EXPECT_TRUE(sends.empty());
}

}  // namespace
