// The socket and the network service: opening on the port range, hellos once per wall-clock
// second, re-opening after a failure, the multicast interface and the main loop's wait at every
// opening, reading within
// one service call, and the senders heard when networks are restricted.
#include <algorithm>

#include "tests/net/net_support.h"

#include "net/zvmptcp.h"
#include "platform/wait.h"

using namespace nt;

namespace {

const std::vector<std::string> kHelloDestinations = {"239.224.224.1:2424", "239.224.224.1:2425",
                                                     "239.224.224.1:2426", "127.0.0.1:40001",
                                                     "127.0.0.1:40002"};

int udp_sockets_made = 0;
int sockets_closed = 0;
int groups_joined = 0;
std::vector<unsigned int> ports_tried;
std::vector<std::string> interfaces_set;  // "socket:address" of each IP_MULTICAST_IF
int interface_result = 0;                 // what the system answers, -1: refused
std::vector<plat_socket_t> watched;       // sockets handed to the main loop's wait

void count_calls()
{
    plat_net.udp_socket = [] {
        ++udp_sockets_made;
        return plat_net_os.udp_socket();
    };
    plat_net.close = [](plat_socket_t s) {
        ++sockets_closed;
        plat_net_os.close(s);
    };
    plat_net.join_multicast = [](plat_socket_t s, std::uint32_t group) {
        ++groups_joined;
        return plat_net_os.join_multicast(s, group);
    };
    plat_net.multicast_interface = [](plat_socket_t s, std::uint32_t addr) {
        interfaces_set.push_back(std::to_string(s) + ":" + plat_inet_ntoa(addr));
        return interface_result;
    };
    plat_wait.watch_socket = [](plat_socket_t s) {
        watched.push_back(s);
        return plat_wait_os.watch_socket(s);
    };
}

// The targets the core registers, and two static peers.
void start_like_the_core()
{
    open_node(1000);
    for (unsigned int port : {2424u, 2425u, 2426u}) zvmp_add_multicast_target("239.224.224.1", port);
    zvmp_add_peer_target("127.0.0.1", 40001, 0x81060000);
    zvmp_add_peer_target("127.0.0.1", 40002, 0x84060000);
}

TEST(Service, HellosInListOrderOncePerSecond)
{
    start_like_the_core();
    record_sends();
    zvmp_showtime();
    EXPECT_EQ(destinations(), kHelloDestinations);
    for (const Sent& s : sends) EXPECT_EQ(s.bytes.size(), 32u);

    sends.clear();
    zvmp_showtime();
    zvmp_showtime();
    EXPECT_TRUE(sends.empty());

    clock_s = 1001;
    zvmp_showtime();
    EXPECT_EQ(destinations(), kHelloDestinations);
}

TEST(Service, HelloReachesAGroupMemberOnLoopback)
{
    UdpEnd member(2425, "0.0.0.0");
    ip_mreq mreq{};
    mreq.imr_multiaddr.s_addr = inet_addr("239.224.224.1");
    ASSERT_EQ(setsockopt(member.fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&mreq), sizeof mreq),
              0);
    start_like_the_core();
    zvmp_showtime();
    ASSERT_TRUE(tsock::wait_readable(member.fd));
    Bytes hello(64);
    sockaddr_in from{};
    hello.resize(static_cast<std::size_t>(std::max<ssize_t>(0, tsock::recv_now(member.fd, hello.data(), 64, &from))));
    EXPECT_EQ(hello, words({0x13060000, 0, 0, 0, 32, 1, ZVMP_MSG_HELLO, 0x13060000}));
    // The test namespace routes multicast from 127.0.0.1, so a group member can answer the sender.
    EXPECT_STREQ(inet_ntoa(from.sin_addr), "127.0.0.1");
}

TEST(Service, ClockSteppingBackDoesNotSilenceHellos)
{
    start_like_the_core();
    record_sends();
    zvmp_showtime();
    sends.clear();
    clock_s = 900;
    zvmp_showtime();
    EXPECT_EQ(destinations(), kHelloDestinations);
}

TEST(Service, FailedSendClosesAndReopensInTheNextSecondOnly)
{
    start_like_the_core();
    count_calls();
    record_sends();
    failing_send = 1;
    zvmp_showtime();
    // The failed send closed the socket; the other targets of the pass got nothing.
    EXPECT_EQ(destinations(), (std::vector<std::string>{"239.224.224.1:2424", "239.224.224.1:2425"}));
    EXPECT_FALSE(zvmp_network_is_open());
    EXPECT_EQ(sockets_closed, 1);

    // The socket was opened in this same second: no new attempt yet.
    zvmp_showtime();
    EXPECT_EQ(udp_sockets_made, 0);
    EXPECT_FALSE(zvmp_network_is_open());

    sends.clear();
    failing_send = -1;
    clock_s = 1001;
    zvmp_showtime();
    EXPECT_EQ(udp_sockets_made, 1);
    EXPECT_TRUE(zvmp_network_is_open());
    EXPECT_EQ(local_port(zvmp_net_socket), 59000u);
    EXPECT_EQ(destinations(), kHelloDestinations);
    // Closing changed neither list.
    EXPECT_EQ(zvmp_number_of_peers(), 2u);
}

long send_result = 0;  // what a send reports, 0: the whole datagram

TEST(Service, ShortSendClosesTheSocketAndASendWithoutRoomDropsOneDatagram)
{
    struct Row {
        long result;
        bool open_after;
        unsigned long long sent, unsent;
    };
    const Row rows[] = {{0, true, 2, 0}, {-1, false, 0, 0}, {7, false, 0, 0}, {PLAT_SEND_DROPPED, true, 0, 2}};
    plat_net.send_to = [](plat_socket_t, const void*, std::size_t length, const sockaddr_in*) {
        return send_result != 0 ? send_result : static_cast<long>(length);
    };
    long long second = 1000;
    for (const Row& row : rows) {
        open_node(second++);  // a new second: the socket may be opened again
        zvmp_add_peer_target("127.0.0.1", 40001, 0x81060000);
        zvmp_add_peer_target("127.0.0.1", 40002, 0x84060000);
        send_result = row.result;
        const unsigned long long sent = zvmp_net_state.packets_sent, unsent = zvmp_net_state.packets_unsent;
        zvmp_send_hello_packets();
        EXPECT_EQ(zvmp_network_is_open() != 0, row.open_after) << row.result;
        EXPECT_EQ(zvmp_net_state.packets_sent - sent, row.sent) << row.result;
        EXPECT_EQ(zvmp_net_state.packets_unsent - unsent, row.unsent) << row.result;
        zvmp_close_network();
    }
}

TEST(Service, FirstFreePortOfTheRangeAndNoGroup)
{
    UdpEnd taken(59000, "0.0.0.0");
    count_calls();
    open_node();
    EXPECT_EQ(local_port(zvmp_net_socket), 59001u);
    EXPECT_EQ(groups_joined, 0);
    EXPECT_EQ(zvmp_init_port, 0u);
    EXPECT_STREQ(zvmp_init_addr, "0.0.0.0");
}

TEST(Service, FixedPortJoinsTheGroup)
{
    use_fake_clock(1000);
    zvmp_initialise_network(nullptr, 2424, 0x13000000);
    ASSERT_TRUE(zvmp_network_is_open());
    EXPECT_EQ(local_port(zvmp_net_socket), 2424u);
    EXPECT_STREQ(zvmp_init_addr, "0.0.0.0");
    UdpEnd panel;
    panel.send(packet(0x81060000, 0, {}), 2424, "239.224.224.1");
    ASSERT_TRUE(wait_readable(zvmp_net_socket));
    sockaddr_in from{};
    zvmp_pkt_ptr pkt(zvmp_net_read_packet(&from));
    EXPECT_NE(pkt, nullptr);
}

int fail_bind(plat_socket_t, std::uint32_t, unsigned int port)
{
    ports_tried.push_back(port);
    return -1;
}

TEST(Service, EveryPortTakenClosesAndRetriesNextSecond)
{
    use_fake_clock(1000);
    count_calls();
    plat_net.bind = fail_bind;
    zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
    ASSERT_EQ(ports_tried.size(), 1000u);
    EXPECT_EQ(ports_tried.front(), 59000u);
    EXPECT_EQ(ports_tried.back(), 59999u);
    EXPECT_TRUE(std::is_sorted(ports_tried.begin(), ports_tried.end()));
    EXPECT_FALSE(zvmp_network_is_open());
    EXPECT_EQ(sockets_closed, 1);

    plat_net.bind = plat_net_os.bind;
    zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
    EXPECT_EQ(udp_sockets_made, 1);
    clock_s = 1001;
    zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
    EXPECT_EQ(udp_sockets_made, 2);
    EXPECT_EQ(local_port(zvmp_net_socket), 59000u);
}

TEST(Service, FixedPortTakenStaysClosed)
{
    UdpEnd taken(47000, "0.0.0.0");
    use_fake_clock(1000);
    count_calls();
    zvmp_initialise_network("0.0.0.0", 47000, 0x13000000);
    EXPECT_FALSE(zvmp_network_is_open());
    EXPECT_EQ(sockets_closed, 1);
    EXPECT_EQ(groups_joined, 0);
}

TEST(Service, OpeningWhileOpenChangesNothing)
{
    open_node();
    plat_socket_t s = zvmp_net_socket;
    clock_s = 1005;
    zvmp_initialise_network("127.0.0.1", 2424, 0x84000000);
    EXPECT_EQ(zvmp_net_socket, s);
    EXPECT_EQ(zvmp_node_type, 0x13000000u);
    EXPECT_EQ(zvmp_init_port, 0u);
}

TEST(Service, OnlyTheTypeCodeIsKeptAndLongAddressesAreCut)
{
    use_fake_clock(1000);
    std::string long_addr(100, '7');
    zvmp_initialise_network(long_addr.c_str(), 0, 0x13ABCDEF);
    EXPECT_EQ(zvmp_node_type, 0x13000000u);
    EXPECT_EQ(std::string(zvmp_init_addr), long_addr.substr(0, 63));
    // Not an address: bound on any address.
    EXPECT_TRUE(zvmp_network_is_open());
}

TEST(Service, StartupFailureIsRetriedOnEveryCall)
{
    use_fake_clock(1000);
    static int startups = 0;
    plat_net.startup = [] { return ++startups > 2; };
    zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
    zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
    EXPECT_FALSE(zvmp_network_is_open());
    // Start-up failures do not use up the second's attempt.
    zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
    EXPECT_TRUE(zvmp_network_is_open());
    EXPECT_EQ(startups, 3);
}

TEST(Service, DroppedDatagramIsReadPastInTheSameCall)
{
    open_node();
    zvmp_net_message_received_callback = record_message;
    UdpEnd panel;
    panel.send(packet(0x13060000, 2, {ZVMP_MSG_HELLO, 0x13060000, ZVMP_MSG_REQ_STREAM}, 40), 59000);
    panel.send(packet(0x81060000, 1, {0x22011501, 1}), 59000);
    ASSERT_TRUE(wait_readable(zvmp_net_socket));
    zvmp_showtime();
    EXPECT_EQ(delivered_ids(), std::vector<std::uint32_t>{0x22011501});
    EXPECT_EQ(zvmp_net_state.packets_refused, 1u);
}

TEST(Service, OversizedDatagramCostsItselfOnly)
{
    count_calls();
    open_node();
    zvmp_net_message_received_callback = record_message;
    UdpEnd panel;
    Bytes oversized = packet(0x81060000, 1, {0x22011501, 1});
    oversized.resize(3000, 0);
    panel.send(oversized, 59000);
    panel.send(packet(0x81060000, 1, {0x22011502, 2}), 59000);
    ASSERT_TRUE(wait_readable(zvmp_net_socket));
    zvmp_showtime();
    EXPECT_EQ(delivered_ids(), std::vector<std::uint32_t>{0x22011502});
    EXPECT_TRUE(zvmp_network_is_open());
    EXPECT_EQ(udp_sockets_made, 1);
    EXPECT_EQ(sockets_closed, 0);
}

TEST(Service, ReadsEveryWaitingDatagram)
{
    open_node();
    zvmp_net_message_received_callback = record_message;
    UdpEnd panel;
    for (std::uint32_t i = 1; i <= 5; ++i) panel.send(packet(0x81060000, 1, {0x22011500 + i, i}), 59000);
    // Loopback delivers each datagram before sendto returns.
    zvmp_showtime();
    EXPECT_EQ(delivered_ids(),
              (std::vector<std::uint32_t>{0x22011501, 0x22011502, 0x22011503, 0x22011504, 0x22011505}));
}

long endless_recv_from(plat_socket_t, void* buffer, std::size_t, sockaddr_in* from)
{
    std::uint32_t header[6] = {0x81060000, 0, 0, 0, 24, 0};
    std::memcpy(buffer, header, sizeof header);
    *from = loopback(5000);
    return sizeof header;
}

TEST(Service, AFloodDoesNotHoldUpTheService)
{
    open_node();
    static int reads = 0;
    // Only the UDP socket floods; the TCP server's sockets are polled as they are.
    plat_net.readable = [](plat_socket_t s) { return s == zvmp_net_socket ? 1 : plat_net_os.readable(s); };
    plat_net.recv_from = [](plat_socket_t s, void* b, std::size_t n, sockaddr_in* f) {
        ++reads;
        return endless_recv_from(s, b, n, f);
    };
    zvmp_showtime();
    EXPECT_EQ(reads, static_cast<int>(ZVMP_MAX_PACKETS_PER_SERVICE));
}

// A fresh state resets the network and the TCP server: both sockets closed, every list entry
// freed (the sanitizer build reports one left behind), and the network opens again as at start.
TEST(Service, AFreshStateClosesTheSocketsAndFreesTheLists)
{
    start_like_the_core();
    count_calls();
    UdpEnd panel;
    panel.send(packet(0x81060000, 2, {ZVMP_MSG_HELLO, 0x81060000, ZVMP_MSG_REQ_STREAM}), 59000);
    zvmp_showtime();
    ASSERT_EQ(zvmp_number_of_peers(), 3u);
    ASSERT_TRUE(zvmp_tcp_network_server_is_open());

    zvmp_net_state = ZvmpNetState{};
    zvmp_tcp_state = ZvmpTcpState{};
    zvmp_allow_state = ZvmpAllowState{};
    EXPECT_EQ(sockets_closed, 2);
    EXPECT_FALSE(zvmp_network_is_open());
    EXPECT_FALSE(zvmp_tcp_network_server_is_open());
    EXPECT_EQ(zvmp_net_peer_list, nullptr);
    EXPECT_EQ(zvmp_net_mcast_list, nullptr);
    EXPECT_EQ(zvmp_number_of_stream_clients(), 0u);

    open_node(1000);
    zvmp_add_peer_target("127.0.0.1", 40001, 0x81060000);
    EXPECT_EQ(zvmp_number_of_peers(), 1u);
    EXPECT_TRUE(zvmp_peers_agree());
}

// Peers live on the monotonic clock: a step of the wall clock (set by hand, or wrong after a
// resume) runs an expiry pass, but drops no panel early and keeps none late.
TEST(Service, LearnedPeerExpiresInTheServiceWhateverTheWallClockDoes)
{
    open_node();
    UdpEnd panel;
    for (long long step : {0, 3600, -3600}) {
        SCOPED_TRACE(step);
        clock_s = 1000;
        wall_step_s = 0;
        panel.send(packet(0x81060000, 1, {ZVMP_MSG_HELLO, 0x81060000}), 59000);
        ASSERT_TRUE(wait_readable(zvmp_net_socket));
        zvmp_showtime();
        ASSERT_EQ(zvmp_number_of_peers(), 1u);
        clock_s = 1030;
        wall_step_s = step;
        zvmp_showtime();
        EXPECT_EQ(zvmp_number_of_peers(), 1u);
        clock_s = 1060;
        zvmp_showtime();
        EXPECT_EQ(zvmp_number_of_peers(), 1u);
        clock_s = 1061;
        zvmp_showtime();
        EXPECT_EQ(zvmp_number_of_peers(), 0u);
    }
}

}  // namespace

namespace {

std::string socket_and(const char* addr) { return std::to_string(zvmp_net_socket) + ":" + addr; }

TEST(Service, MulticastInterfaceAndWaitAtEveryOpening)
{
    use_fake_clock(1000);
    count_calls();
    // Asked for before the socket opens: applied at the opening; while open: at once.
    zvmp_set_multicast_interface(inet_addr("127.0.0.1"), "127.0.0.1");
    EXPECT_TRUE(interfaces_set.empty());
    zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
    EXPECT_EQ(interfaces_set, std::vector<std::string>{socket_and("127.0.0.1")});
    EXPECT_EQ(watched, std::vector<plat_socket_t>{zvmp_net_socket});
    zvmp_set_multicast_interface(inet_addr("10.9.9.9"), "10.9.9.9");
    EXPECT_EQ(interfaces_set.back(), socket_and("10.9.9.9"));

    // Re-opened after a failed send: applied again. A refusal is reported once.
    interface_result = -1;
    testing::internal::CaptureStdout();
    for (long long second : {1001, 1002}) {
        failing_send = static_cast<int>(sends.size());
        record_sends();
        zvmp_add_multicast_target("239.224.224.1", 2424);
        zvmp_showtime();
        EXPECT_FALSE(zvmp_network_is_open());
        clock_s = second;
        zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
        ASSERT_TRUE(zvmp_network_is_open());
        EXPECT_EQ(interfaces_set.back(), socket_and("10.9.9.9"));
        EXPECT_EQ(watched.back(), zvmp_net_socket);
    }
    EXPECT_EQ(interfaces_set.size(), 4u);
    EXPECT_EQ(watched.size(), 3u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nMulticast interface 10.9.9.9 is not an address of this computer, using the default");
}

TEST(Service, OnlyAllowedNetworksAndStaticPeersAreHeard)
{
#ifdef _WIN32
    // Wine binds a UDP socket asked for 127.0.0.2 to any address, so it sends from 127.0.0.1.
    GTEST_SKIP() << "senders on other loopback addresses need Linux";
#endif
    open_node();
    zvmp_net_message_received_callback = record_message;
    ASSERT_TRUE(zvmp_allow_network("127.0.0.1"));
    zvmp_add_peer_target("127.0.0.3", 2424, 0x81060000);  // a static peer, elsewhere
    const struct {
        const char* addr;
        bool heard;
    } cases[] = {{"127.0.0.1", true}, {"127.0.0.2", false}, {"127.0.0.3", true}};
    const std::vector<std::uint32_t> all = {ZVMP_MSG_HELLO, ZVMP_MSG_REQ_STREAM, 0x22011501};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.addr);
        delivered.clear();
        UdpEnd panel(0, c.addr);
        panel.send(packet(0x81060000, 3, {ZVMP_MSG_HELLO, 0x81060000, ZVMP_MSG_REQ_STREAM, 0x22011501, 1}), 59000);
        zvmp_showtime();
        EXPECT_EQ(zvmp_peer_with_addr_port(c.addr, panel.port) != nullptr, c.heard);
        EXPECT_EQ(delivered_ids(), c.heard ? all : std::vector<std::uint32_t>{});
    }
    EXPECT_EQ(zvmp_number_refused(), 1u);
    EXPECT_EQ(zvmp_number_of_stream_clients(), 2u);
    // Once the static peer is gone, its address is a stranger's.
    zvmp_remove_peer_target("127.0.0.3", 2424);
    UdpEnd(0, "127.0.0.3").send(packet(0x81060000, 1, {ZVMP_MSG_HELLO, 0x81060000}), 59000);
    zvmp_showtime();
    EXPECT_EQ(zvmp_number_refused(), 2u);
    EXPECT_TRUE(zvmp_peers_agree());
}

}  // namespace
