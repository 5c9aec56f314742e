// Winsock receive failures that cost one datagram, not the socket. Wine does not report an ICMP
// "port unreachable" on a datagram socket, so that result is fed to the service here as
// Winsock would return it; an oversized datagram Wine does report, and the service tests cover
// it on a real socket.
#include "tests/net/net_support.h"

using namespace nt;

namespace {

TEST(WinsockReceive, FailuresThatCostOneDatagramOnly)
{
    struct Row {
        int error;
        long result;
    };
    const Row rows[] = {
        {WSAEMSGSIZE, PLAT_RECV_DROPPED}, {WSAECONNRESET, PLAT_RECV_DROPPED}, {WSAEWOULDBLOCK, PLAT_RECV_DROPPED},
        {WSAENETDOWN, -1},                {WSAENOTSOCK, -1},                  {WSAEINVAL, -1},
        {WSAENETRESET, -1},               {WSAECONNABORTED, -1},              {0, -1},
    };
    for (const Row& row : rows) EXPECT_EQ(plat_recv_failure(row.error), row.result) << row.error;
}

int resets_left = 0;

// A report of an earlier send waits in front of the real datagrams, as Winsock queues it.
long reset_then_read(plat_socket_t s, void* buffer, std::size_t size, sockaddr_in* from)
{
    if (resets_left > 0) {
        --resets_left;
        return plat_recv_failure(WSAECONNRESET);
    }
    return plat_net_os.recv_from(s, buffer, size, from);
}

TEST(WinsockReceive, UnreachablePeerKeepsTheSocketAndTheDataFlowing)
{
    open_node(1000);
    const unsigned int port = local_port(zvmp_net_socket);
    zvmp_net_message_received_callback = record_message;
    // A static peer whose panel is not running: every hello to it comes back unreachable.
    zvmp_add_peer_target("127.0.0.1", 40001, 0x81060000);
    UdpEnd panel;
    plat_net.recv_from = reset_then_read;
    record_sends();
    for (std::uint32_t second = 1; second <= 3; ++second) {
        clock_s = 1000 + second;
        resets_left = 1;
        panel.send(packet(0x81060000, 1, {0x22011500 + second, second}), port);
        ASSERT_TRUE(wait_readable(zvmp_net_socket));
        zvmp_showtime();  // the report ends this call's reading
        zvmp_showtime();
        EXPECT_TRUE(zvmp_network_is_open());
        EXPECT_EQ(local_port(zvmp_net_socket), port);
    }
    EXPECT_EQ(delivered_ids(), (std::vector<std::uint32_t>{0x22011501, 0x22011502, 0x22011503}));
    EXPECT_EQ(destinations(), (std::vector<std::string>{"127.0.0.1:40001", "127.0.0.1:40001", "127.0.0.1:40001"}));
}

}  // namespace
