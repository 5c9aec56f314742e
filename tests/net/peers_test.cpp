// The target and peer lists: adding, refreshing, removing, expiry, stream subscriptions,
// sending to streaming peers by type code, and the bound and rate on learned peers, with the
// index beside the list agreeing with it throughout.
#include "tests/net/net_support.h"

using namespace nt;

namespace {

sockaddr_in sender(const char* addr, unsigned int port) { return loopback(port, addr); }

// A message of the network's own as it arrives from `from` in a packet whose header word is
// `node_type`.
void receive(std::uint32_t id, sockaddr_in from, std::uint32_t node_type = 0x81060000)
{
    std::uint32_t payload = node_type;
    zvmp_net_process_message(id, &payload, &from, node_type);
}

std::vector<std::string> list_of(zvmp_net_tgt_list_s* e)
{
    std::vector<std::string> out;
    for (; e != nullptr; e = e->next)
        out.push_back(std::string(inet_ntoa(e->sa.sin_addr)) + ":" + std::to_string(ntohs(e->sa.sin_port)));
    return out;
}

int removed_calls = 0;
int created_calls = 0;

TEST(Peers, AddRefreshRemoveKeepOrderAndCount)
{
    zvmp_net_peer_created_callback = [](zvmp_net_tgt_list_s*, unsigned int) { ++created_calls; };
    zvmp_net_peer_removed_callback = [](zvmp_net_tgt_list_s*) { ++removed_calls; };
    zvmp_add_peer_target("10.0.0.2", 2424, 0x81060000);
    zvmp_add_peer_target("10.0.0.1", 2426, 0x84060000);
    zvmp_add_peer_target("10.0.0.2", 2426, 0x84060000);
    zvmp_add_peer_target("10.0.0.2", 2424, 0x84061234);  // duplicate: refreshes, keeps its place
    EXPECT_EQ(list_of(zvmp_peer_list()),
              (std::vector<std::string>{"10.0.0.2:2424", "10.0.0.1:2426", "10.0.0.2:2426"}));
    EXPECT_EQ(zvmp_number_of_peers(), 3u);
    EXPECT_EQ(created_calls, 3);
    zvmp_net_tgt_list_s* first = zvmp_peer_with_addr_port("10.0.0.2", 2424);
    ASSERT_EQ(first, zvmp_peer_list());
    EXPECT_EQ(first->node_type, 0x84061234u);  // the second word, unmasked
    EXPECT_EQ(first->sa.sin_family, AF_INET);
    sockaddr_in sa = sender("10.0.0.2", 2424);
    EXPECT_EQ(zvmp_peer_with_sa(&sa), first);

    zvmp_remove_peer_target("10.0.0.1", 2426);
    zvmp_remove_peer_target("10.0.0.1", 2426);  // already gone
    EXPECT_EQ(list_of(zvmp_peer_list()), (std::vector<std::string>{"10.0.0.2:2424", "10.0.0.2:2426"}));
    EXPECT_EQ(zvmp_number_of_peers(), 2u);
    EXPECT_EQ(removed_calls, 1);
    EXPECT_EQ(zvmp_peer_with_addr_port("10.0.0.1", 2426), nullptr);
    EXPECT_TRUE(zvmp_peers_agree());

    // Removing the last entry, then all: new entries still go to the end.
    zvmp_remove_peer_target("10.0.0.2", 2426);
    zvmp_add_peer_target("10.0.0.3", 2424, 0x81060000);
    EXPECT_EQ(list_of(zvmp_peer_list()), (std::vector<std::string>{"10.0.0.2:2424", "10.0.0.3:2424"}));
    for (const char* addr : {"10.0.0.2", "10.0.0.3", "10.0.0.4"}) zvmp_remove_peer_target(addr, 2424);
    zvmp_add_peer_target("10.0.0.4", 2424, 0x81060000);
    EXPECT_EQ(zvmp_peer_with_addr_port("10.0.0.4", 2424), zvmp_peer_list());
    EXPECT_TRUE(zvmp_peers_agree());
}

TEST(Peers, MulticastListIsSeparateAndUncounted)
{
    for (unsigned int port : {2424u, 2425u, 2426u}) zvmp_add_multicast_target("239.224.224.1", port);
    zvmp_add_peer_target("239.224.224.1", 2424, 0x81060000);
    EXPECT_EQ(list_of(zvmp_net_mcast_list),
              (std::vector<std::string>{"239.224.224.1:2424", "239.224.224.1:2425", "239.224.224.1:2426"}));
    EXPECT_EQ(zvmp_net_mcast_list->node_type, ZVMP_MCAST_NODE_TYPE);
    EXPECT_EQ(zvmp_net_mcast_list->flags, ZVMP_TGT_PERMANENT);
    EXPECT_EQ(zvmp_number_of_peers(), 1u);
    zvmp_remove_multicast_target("239.224.224.1", 2425);
    EXPECT_EQ(list_of(zvmp_net_mcast_list), (std::vector<std::string>{"239.224.224.1:2424", "239.224.224.1:2426"}));
    EXPECT_EQ(zvmp_number_of_peers(), 1u);
}

TEST(Peers, BadAddressesAndPortsAreRefused)
{
    struct Case {
        const char* addr;
        unsigned int port;
    };
    const Case cases[] = {
        {"10.0.0.1", 0}, {"255.255.255.255", 2424}, {"not an address", 2424}, {"", 2424},
        {nullptr, 2424}, {"10.0.0.1", 65536 + 2424},
    };
    zvmp_add_peer_target("10.0.0.1", 2424, 0x81060000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.addr ? c.addr : "null");
        zvmp_add_peer_target(c.addr, c.port, 0x84060000);
        zvmp_add_multicast_target(c.addr, c.port);
        zvmp_remove_peer_target(c.addr, c.port);
        EXPECT_EQ(zvmp_peer_with_addr_port(c.addr, c.port), nullptr);
    }
    EXPECT_EQ(list_of(zvmp_peer_list()), std::vector<std::string>{"10.0.0.1:2424"});
    EXPECT_EQ(zvmp_peer_list()->node_type, 0x81060000u);
    EXPECT_EQ(zvmp_net_mcast_list, nullptr);
    EXPECT_EQ(zvmp_number_of_peers(), 1u);
}

TEST(Peers, LearnedPeersExpireAfterMoreThanSixtySeconds)
{
    use_fake_clock(1000);
    zvmp_net_peer_removed_callback = [](zvmp_net_tgt_list_s*) { ++removed_calls; };
    zvmp_add_peer_target("10.0.0.9", 2424, 0x81060000);
    receive(ZVMP_MSG_HELLO, sender("10.0.0.5", 5000), 0x84060000);
    receive(ZVMP_MSG_REQ_STREAM, sender("10.0.0.5", 5000));
    zvmp_net_tgt_list_s* learned = zvmp_peer_with_addr_port("10.0.0.5", 5000);
    ASSERT_NE(learned, nullptr);
    EXPECT_EQ(learned->last_heard, 1000000);  // monotonic milliseconds
    EXPECT_EQ(learned->flags, ZVMP_TGT_STREAMING);
    EXPECT_EQ(learned->node_type, 0x84060000u);
    EXPECT_EQ(zvmp_number_of_stream_clients(), 1u);

    clock_s = 1060;
    zvmp_remove_expired_peers();
    EXPECT_EQ(zvmp_number_of_peers(), 2u);
    clock_s = 1061;
    zvmp_remove_expired_peers();
    EXPECT_EQ(list_of(zvmp_peer_list()), std::vector<std::string>{"10.0.0.9:2424"});
    EXPECT_EQ(zvmp_number_of_peers(), 1u);
    EXPECT_EQ(zvmp_number_of_stream_clients(), 0u);
    EXPECT_EQ(removed_calls, 1);
    EXPECT_EQ(zvmp_peer_with_addr_port("10.0.0.5", 5000), nullptr);
    EXPECT_TRUE(zvmp_peers_agree());

    // Permanent peers never expire.
    clock_s = 1000000;
    zvmp_remove_expired_peers();
    EXPECT_EQ(zvmp_number_of_peers(), 1u);
}

TEST(Peers, HelloRefreshesALearnedPeer)
{
    use_fake_clock(1000);
    receive(ZVMP_MSG_HELLO, sender("10.0.0.5", 5000));
    clock_s = 1050;
    receive(ZVMP_MSG_HELLO, sender("10.0.0.5", 5000));
    clock_s = 1110;
    zvmp_remove_expired_peers();
    ASSERT_NE(zvmp_peer_with_addr_port("10.0.0.5", 5000), nullptr);
    EXPECT_EQ(zvmp_peer_list()->last_heard, 1050000);
    EXPECT_EQ(zvmp_number_of_peers(), 1u);
}

TEST(Peers, PermanentAndLearnedPeers)
{
    use_fake_clock(1000);
    // A permanent peer that says hello takes its packets' type word and stays permanent.
    zvmp_add_peer_target("10.0.0.1", 2424, 0x81060000);
    receive(ZVMP_MSG_HELLO, sender("10.0.0.1", 2424), 0x84070000);
    zvmp_net_tgt_list_s* by_hand = zvmp_peer_with_addr_port("10.0.0.1", 2424);
    EXPECT_EQ(by_hand->node_type, 0x84070000u);
    EXPECT_EQ(by_hand->flags, ZVMP_TGT_PERMANENT);
    EXPECT_EQ(by_hand->last_update, 1000000);

    // A learned peer added by hand becomes permanent.
    receive(ZVMP_MSG_HELLO, sender("10.0.0.2", 6000));
    zvmp_add_peer_target("10.0.0.2", 6000, 0x81060000);
    EXPECT_EQ(zvmp_peer_with_addr_port("10.0.0.2", 6000)->flags, ZVMP_TGT_PERMANENT);
    EXPECT_EQ(zvmp_number_of_learned_peers(), 0u);
    clock_s = 5000;
    zvmp_remove_expired_peers();
    EXPECT_EQ(zvmp_number_of_peers(), 2u);
    EXPECT_TRUE(zvmp_peers_agree());
}

TEST(Peers, StreamRequestsAndStops)
{
    use_fake_clock(1000);
    zvmp_net_message_received_callback = record_message;
    const sockaddr_in panel = sender("10.0.0.7", 7000);

    // Unknown sender: the network changes nothing, the application still hears it.
    receive(ZVMP_MSG_REQ_STREAM, panel);
    EXPECT_EQ(zvmp_number_of_peers(), 0u);
    EXPECT_EQ(zvmp_number_of_stream_clients(), 0u);
    EXPECT_EQ(delivered_ids(), std::vector<std::uint32_t>{ZVMP_MSG_REQ_STREAM});

    receive(ZVMP_MSG_HELLO, panel);
    receive(ZVMP_MSG_REQ_STREAM, panel);
    receive(ZVMP_MSG_REQ_STREAM, panel);  // not counted twice
    EXPECT_EQ(zvmp_number_of_stream_clients(), 1u);
    EXPECT_EQ(zvmp_peer_list()->flags, ZVMP_TGT_STREAMING);

    receive(ZVMP_MSG_STOP_STREAM, panel);
    receive(ZVMP_MSG_STOP_STREAM, panel);
    EXPECT_EQ(zvmp_number_of_stream_clients(), 0u);
    EXPECT_EQ(zvmp_peer_list()->flags, 0u);

    // Another class-0 id of group 0x01 and a message without a sender have no network effect.
    receive(0x00000104, panel);
    zvmp_net_process_message(ZVMP_MSG_REQ_STREAM, nullptr, nullptr, 0x81060000);
    EXPECT_EQ(zvmp_number_of_stream_clients(), 0u);
    EXPECT_EQ(delivered.size(), 8u);
}

TEST(Peers, CountersNeverWrapBelowZero)
{
    use_fake_clock(1000);
    receive(ZVMP_MSG_HELLO, sender("10.0.0.7", 7000));
    receive(ZVMP_MSG_REQ_STREAM, sender("10.0.0.7", 7000));
    receive(ZVMP_MSG_HELLO, sender("10.0.0.8", 8000));
    receive(ZVMP_MSG_REQ_STREAM, sender("10.0.0.8", 8000));
    zvmp_number_of_stream_peers = 0;
    zvmp_peer_count = 0;
    receive(ZVMP_MSG_STOP_STREAM, sender("10.0.0.7", 7000));
    zvmp_remove_peer_target("10.0.0.7", 7000);
    clock_s = 2000;
    zvmp_remove_expired_peers();
    EXPECT_EQ(zvmp_peer_list(), nullptr);
    EXPECT_EQ(zvmp_number_of_stream_clients(), 0u);
    EXPECT_EQ(zvmp_number_of_peers(), 0u);
}

unsigned int removed_port = 0;

TEST(Peers, AFullListReplacesTheIdlePeerHeardFromLongestAgo)
{
    zvmp_net_peer_removed_callback = [](zvmp_net_tgt_list_s* e) { removed_port = ntohs(e->sa.sin_port); };
    zvmp_set_peer_cap(3);
    // A permanent peer and a multicast target neither count nor go.
    zvmp_add_peer_target("10.0.1.7", 7, 0x81060000);
    zvmp_add_multicast_target("239.224.224.1", 2424);
    struct Case {
        const char* what;
        long long heard[3];  // learned peers on ports 1, 2, 3, in list order
        bool streaming[3];
        unsigned int goes;  // the port replaced by 10.0.1.9:9 at second 1000; 0: refused
        long long wall_step = 0;  // of the wall clock before the newcomer, which changes nothing
    };
    const Case cases[] = {
        {"oldest goes", {990, 980, 995}, {}, 2},
        {"ties go by list order", {990, 980, 980}, {}, 2},
        {"streaming and heard 4 s ago stays", {996, 997, 998}, {true}, 2},
        {"streaming and silent 5 s goes", {995, 997, 998}, {true}, 1},
        {"an hour on the wall clock later, heard 4 s ago stays", {996, 997, 998}, {true}, 2, 3600},
        {"an hour on the wall clock earlier, silent 5 s goes", {995, 997, 998}, {true}, 1, -3600},
        {"all streaming and heard lately: refused", {996, 997, 999}, {true, true, true}, 0},
    };
    unsigned int refused = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (unsigned int i = 0; i < 3; ++i) {
            use_fake_clock(c.heard[i]);
            receive(ZVMP_MSG_HELLO, sender("10.0.1.1", i + 1));
            if (c.streaming[i]) receive(ZVMP_MSG_REQ_STREAM, sender("10.0.1.1", i + 1));
        }
        clock_s = 1000;
        wall_step_s = c.wall_step;
        removed_port = 0;
        receive(ZVMP_MSG_HELLO, sender("10.0.1.9", 9));
        EXPECT_EQ(removed_port, c.goes);
        refused += c.goes == 0 ? 1 : 0;
        EXPECT_EQ(zvmp_number_refused(), refused);
        EXPECT_EQ(list_of(zvmp_peer_list()).back(), c.goes != 0 ? "10.0.1.9:9" : "10.0.1.1:3");
        EXPECT_EQ(zvmp_number_of_learned_peers(), 3u);
        EXPECT_TRUE(zvmp_peers_agree());
        // A known peer is heard however full the list is.
        receive(ZVMP_MSG_HELLO, sender("10.0.1.1", 3));
        EXPECT_EQ(zvmp_number_refused(), refused);
        clock_s = 2000;
        zvmp_remove_expired_peers();
        EXPECT_EQ(list_of(zvmp_peer_list()), std::vector<std::string>{"10.0.1.7:7"});
        EXPECT_TRUE(zvmp_peers_agree());
    }
}

TEST(Peers, AtMostSixtyFourNewPeersASecondAndTheDefaultBound)
{
    use_fake_clock(1000);
    zvmp_set_peer_cap(0);  // out of range: the default stays
    for (unsigned int port = 1; port <= 70; ++port) receive(ZVMP_MSG_HELLO, sender("10.0.2.1", port));
    wall_step_s = 3600;  // the second is the monotonic clock's: a wall-clock step starts none
    receive(ZVMP_MSG_HELLO, sender("10.0.2.1", 71));
    wall_step_s = 0;
    EXPECT_EQ(zvmp_number_of_peers(), 64u);
    EXPECT_EQ(zvmp_number_refused(), 7u);
    receive(ZVMP_MSG_HELLO, sender("10.0.2.1", 64), 0x84060000);  // known: still heard
    zvmp_add_peer_target("10.0.2.2", 2424, 0x81060000);           // permanent: still added
    EXPECT_EQ(zvmp_number_of_peers(), 65u);
    EXPECT_EQ(zvmp_number_refused(), 7u);
    for (unsigned int second = 1; second <= 4; ++second) {
        clock_s = 1000 + second;
        for (unsigned int port = 1; port <= 64; ++port)
            receive(ZVMP_MSG_HELLO, sender("10.0.2.3", 100 * second + port));
    }
    // 320 learned in all: the last 64 took the places of the first 64.
    EXPECT_EQ(zvmp_number_of_learned_peers(), ZVMP_DEFAULT_PEER_CAP);
    EXPECT_EQ(zvmp_number_refused(), 7u);
    EXPECT_EQ(zvmp_peer_with_addr_port("10.0.2.1", 64), nullptr);
    EXPECT_TRUE(zvmp_peers_agree());
}

TEST(Peers, SendingToStreamingPeersByTypeCode)
{
    open_node();
    record_sends();
    const struct {
        const char* addr;
        unsigned int port;
        std::uint32_t type;
        bool streaming;
    } peers[] = {
        {"127.0.0.2", 2424, 0x81060000, true},
        {"127.0.0.3", 2426, 0x84060000, true},
        {"127.0.0.4", 2424, 0x81060000, false},
        {"127.0.0.5", 4000, 0x81071234, true},
    };
    for (const auto& p : peers) {
        zvmp_add_peer_target(p.addr, p.port, p.type);
        if (p.streaming) receive(ZVMP_MSG_REQ_STREAM, sender(p.addr, p.port));
    }
    EXPECT_EQ(zvmp_number_of_stream_clients(), 3u);
    EXPECT_EQ(zvmp_number_of_stream_clients_of_type(0x81000000), 2u);
    EXPECT_EQ(zvmp_number_of_stream_clients_of_type(0x84000000), 1u);

    zvmp_pkt_ptr pkt(zvmp_net_make_packet());
    struct Case {
        std::uint32_t type;
        std::vector<std::string> to;
    };
    const Case cases[] = {
        {0x81000000, {"127.0.0.2:2424", "127.0.0.5:4000"}},
        {0x84000000, {"127.0.0.3:2426"}},
        {0, {"127.0.0.2:2424", "127.0.0.3:2426", "127.0.0.5:4000"}},
        {0x13000000, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        sends.clear();
        zvmp_net_send_to_stream_peers(pkt.get(), c.type);
        EXPECT_EQ(destinations(), c.to);
        for (const Sent& s : sends) EXPECT_EQ(s.bytes, packet_bytes(pkt.get()));
    }
    sends.clear();
    zvmp_net_send_to_stream_peers(nullptr, 0);
    EXPECT_TRUE(sends.empty());
}

TEST(Peers, StreamingEndToEnd)
{
    // A panel asks for the stream with a real datagram and then receives what is published.
    open_node();
    UdpEnd panel;
    Bytes request = packet(0x84060000, 2, {ZVMP_MSG_HELLO, 0x84060000, ZVMP_MSG_REQ_STREAM});
    panel.send(request, 59000);
    ASSERT_TRUE(wait_readable(zvmp_net_socket));
    zvmp_showtime();
    ASSERT_EQ(zvmp_number_of_stream_clients_of_type(0x84000000), 1u);
    EXPECT_EQ(panel.receive().size(), 32u);  // the hello of this service call

    zvmp_pkt_ptr pkt(zvmp_net_make_packet());
    std::int32_t gear = 1;
    zvmp_net_add_msg_to_pkt(pkt.get(), 0x22011501, &gear);
    zvmp_net_send_to_stream_peers(pkt.get(), 0x81000000);
    zvmp_net_send_to_stream_peers(pkt.get(), 0x84000000);
    EXPECT_EQ(panel.receive(), packet_bytes(pkt.get()));
    EXPECT_TRUE(panel.receive(50).empty());
}

}  // namespace
