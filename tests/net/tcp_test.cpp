// The TCP server and the outgoing-connection helpers, over real sockets on loopback.
#include <chrono>
#include <thread>

#include "net/zvmptcp.h"
#include "tests/net/net_support.h"

using namespace nt;

namespace {

std::vector<long long> reads;
Bytes received;
std::string read_from;

void record_read(void* data, sockaddr_in* from, long long count)
{
    reads.push_back(count);
    auto* p = static_cast<const std::uint8_t*>(data);
    received.insert(received.end(), p, p + count);
    read_from = std::string(inet_ntoa(from->sin_addr)) + ":" + std::to_string(ntohs(from->sin_port));
}

// A client of the test, connected to 127.0.0.1:port from `from`.
struct Client {
    plat_socket_t fd = socket(AF_INET, SOCK_STREAM, 0);
    explicit Client(unsigned int port, const char* from = "127.0.0.1")
    {
        sockaddr_in local = loopback(0, from);
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
        sockaddr_in to = loopback(port);
        EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    }
    ~Client()
    {
        if (fd != PLAT_INVALID_SOCKET) tsock::close(fd);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    unsigned int port() const { return local_port(fd); }
};

unsigned int client_port() { return ntohs(zvmp_tcp_server_client_addr.sin_port); }

// Runs the service until the condition holds, for at most about two seconds.
template <typename Cond>
bool serve_until(Cond cond)
{
    for (int i = 0; i < 200; ++i) {
        zvmp_tcp_showtime();
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

using tsock::bytes_waiting;

TEST(Tcp, ListensOnTheFirstFreePortBesideTheUdpSocket)
{
    open_node();
    ASSERT_EQ(local_port(zvmp_net_socket), 59000u);
    zvmp_showtime();
    ASSERT_TRUE(zvmp_tcp_network_server_is_open());
    EXPECT_EQ(local_port(zvmp_tcp_server_socket), 59000u);
    EXPECT_STREQ(zvmp_tcp_init_addr, "");
    Client c(59000);
}

TEST(Tcp, SkipsATakenPort)
{
    plat_socket_t taken = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa = loopback(59000, "0.0.0.0");
    ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    zvmp_tcp_start_server(nullptr, 0);
    EXPECT_EQ(local_port(zvmp_tcp_server_socket), 59001u);
    EXPECT_STREQ(zvmp_tcp_init_addr, "0.0.0.0");
    tsock::close(taken);
}

TEST(Tcp, OneClientAtATime)
{
    zvmp_tcp_showtime();
    Client first(59000);
    zvmp_tcp_showtime();
    ASSERT_NE(zvmp_tcp_server_client_socket, PLAT_INVALID_SOCKET);
    EXPECT_EQ(client_port(), first.port());
    EXPECT_EQ(zvmp_tcp_server_client_addr.sin_addr.s_addr, inet_addr("127.0.0.1"));

    Client second(59000);  // completes in the backlog
    for (int i = 0; i < 5; ++i) zvmp_tcp_showtime();
    EXPECT_EQ(client_port(), first.port());

    tsock::close(first.fd);
    first.fd = PLAT_INVALID_SOCKET;
    ASSERT_TRUE(serve_until([] { return zvmp_tcp_server_client_socket == PLAT_INVALID_SOCKET; }));
    sockaddr_in zero{};
    EXPECT_EQ(std::memcmp(&zvmp_tcp_server_client_addr, &zero, sizeof zero), 0);

    zvmp_tcp_showtime();
    EXPECT_EQ(client_port(), second.port());
}

TEST(Tcp, AtMost8292BytesPerCall)
{
    zvmp_tcp_server_data_received_callback = record_read;
    zvmp_tcp_showtime();
    Client c(59000);
    zvmp_tcp_showtime();
    ASSERT_NE(zvmp_tcp_server_client_socket, PLAT_INVALID_SOCKET);
    ASSERT_TRUE(reads.empty());

    Bytes sent(10000);
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_EQ(tsock::send(c.fd, sent.data(), sent.size()), 10000);
    for (int i = 0; i < 200 && bytes_waiting(zvmp_tcp_server_client_socket) < 10000; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(bytes_waiting(zvmp_tcp_server_client_socket), 10000);

    zvmp_tcp_showtime();
    zvmp_tcp_showtime();
    zvmp_tcp_showtime();  // nothing left: no read
    EXPECT_EQ(reads, (std::vector<long long>{8292, 1708}));
    EXPECT_EQ(received, sent);
    EXPECT_EQ(read_from, "127.0.0.1:" + std::to_string(c.port()));
}

TEST(Tcp, WithoutAHookBytesAreDropped)
{
    zvmp_tcp_showtime();
    Client c(59000);
    zvmp_tcp_showtime();
    ASSERT_EQ(tsock::send(c.fd, "dropped", 7), 7);
    ASSERT_TRUE(serve_until([] { return bytes_waiting(zvmp_tcp_server_client_socket) == 0; }));
    zvmp_tcp_server_data_received_callback = record_read;
    ASSERT_EQ(tsock::send(c.fd, "kept", 4), 4);
    ASSERT_TRUE(serve_until([] { return !reads.empty(); }));
    EXPECT_EQ(received, (Bytes{'k', 'e', 'p', 't'}));
}

TEST(Tcp, FailedReadClosesTheConnection)
{
    zvmp_tcp_showtime();
    Client c(59000);
    zvmp_tcp_showtime();
    plat_net.recv = [](plat_socket_t, void*, std::size_t) { return -1L; };
    ASSERT_EQ(tsock::send(c.fd, "x", 1), 1);
    ASSERT_TRUE(serve_until([] { return zvmp_tcp_server_client_socket == PLAT_INVALID_SOCKET; }));
    EXPECT_EQ(zvmp_tcp_server_client_addr.sin_port, 0);
}

TEST(Tcp, FailedListenIsRetriedInTheNextSecond)
{
    use_fake_clock(1000);
    static int listens = 0;
    plat_net.listen = [](plat_socket_t, int) {
        ++listens;
        return -1;
    };
    zvmp_tcp_showtime();
    EXPECT_FALSE(zvmp_tcp_network_server_is_open());
    plat_net.listen = [](plat_socket_t s, int backlog) {
        ++listens;
        EXPECT_EQ(backlog, 1);
        return plat_net_os.listen(s, backlog);
    };
    zvmp_tcp_showtime();
    EXPECT_EQ(listens, 1);
    clock_s = 1001;
    zvmp_tcp_showtime();
    EXPECT_EQ(listens, 2);
    EXPECT_TRUE(zvmp_tcp_network_server_is_open());
    // The failed attempt's socket was closed, so the port is free again.
    EXPECT_EQ(local_port(zvmp_tcp_server_socket), 59000u);
}

TEST(Tcp, ClientsOutsideTheAllowedNetworksAreLetGo)
{
    zvmp_tcp_server_data_received_callback = record_read;
    ASSERT_TRUE(zvmp_allow_network("127.0.0.0/31"));
    zvmp_tcp_showtime();
    struct Case {
        const char* from;
        bool kept;
    };
    const Case cases[] = {{"127.0.0.2", false}, {"127.0.0.1", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from);
        Client client(59000, c.from);
        ASSERT_TRUE(serve_until([] {
            return zvmp_number_refused() > 0 && (zvmp_tcp_server_client_socket != PLAT_INVALID_SOCKET ||
                                                  !zvmp_tcp_descriptor_has_data_to_read(zvmp_tcp_server_socket));
        }));
        EXPECT_EQ(zvmp_tcp_server_client_socket != PLAT_INVALID_SOCKET, c.kept);
        EXPECT_EQ(zvmp_number_refused(), 1u);
        if (!c.kept) {
            // Let go at once: the client reads the end of the stream.
            char byte;
            ASSERT_TRUE(wait_readable(client.fd, 2000));
            EXPECT_EQ(tsock::recv_now(client.fd, &byte, 1), 0);
            EXPECT_EQ(zvmp_tcp_server_client_addr.sin_port, 0);
        }
    }
    EXPECT_TRUE(reads.empty());
}

TEST(Tcp, OutgoingConnectAndClose)
{
    zvmp_tcp_showtime();
    plat_socket_t s = zvmp_tcp_client_connect("127.0.0.1", 59000);
    ASSERT_NE(s, PLAT_INVALID_SOCKET);
    EXPECT_EQ(zvmp_tcp_client_connect("127.0.0.1", 59999), PLAT_INVALID_SOCKET);
    EXPECT_EQ(zvmp_tcp_client_connect("not an address", 59000), PLAT_INVALID_SOCKET);

    static int closes = 0;
    plat_net.close = [](plat_socket_t c) {
        ++closes;
        plat_net_os.close(c);
    };
    zvmp_tcp_close_client(&s);
    EXPECT_EQ(s, PLAT_INVALID_SOCKET);
    zvmp_tcp_close_client(&s);
    zvmp_tcp_close_client(nullptr);
    EXPECT_EQ(closes, 1);
}

}  // namespace
