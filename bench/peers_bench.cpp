// Cost of the peer list under load, printed as figures (not a test), with the socket layer
// replaced so that no datagram leaves the process:
//   - one service pass that reads 256 hellos from known peers among 10 000 learned peers (the
//     bound raised), without the once-a-second hello round;
//   - a flood of 20 000 hellos from forged source ports, served for 61 seconds at 18 passes a
//     second: peers learned, senders refused, datagrams sent and the time spent.
//     build/bench/peers_bench
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <numeric>
#include <vector>

#include "net/zvmpallow.h"
#include "net/zvmpnet.h"
#include "platform/clock.h"
#include "tests/support/isolation.h"

namespace {

constexpr plat_socket_t kFakeSocket = 3;
constexpr std::uint32_t kPanelType = 0x81060000;

// Both clocks, the wall clock in seconds and the monotonic one in milliseconds, stand at now_s.
long long now_s = 10000;
long long fake_time() { return now_s; }
long long fake_monotonic_ms() { return now_s * 1000; }

std::deque<sockaddr_in> waiting;  // senders of the hellos still to be read
long sent = 0;

long fake_recv_from(plat_socket_t, void* buffer, std::size_t, sockaddr_in* from)
{
    const std::uint32_t hello[8] = {kPanelType, 0, 0, 0, 32, 1, ZVMP_MSG_HELLO, kPanelType};
    std::memcpy(buffer, hello, sizeof hello);
    *from = waiting.front();
    waiting.pop_front();
    return sizeof hello;
}

void stub_sockets()
{
    plat_time = fake_time;
    plat_monotonic_ms = fake_monotonic_ms;
    plat_net.startup = [] { return true; };
    plat_net.udp_socket = [] { return kFakeSocket; };
    plat_net.tcp_socket = [] { return PLAT_INVALID_SOCKET; };
    plat_net.bind = [](plat_socket_t, std::uint32_t, unsigned int) { return 0; };
    plat_net.readable = [](plat_socket_t s) { return s == kFakeSocket && !waiting.empty() ? 1 : 0; };
    plat_net.recv_from = fake_recv_from;
    plat_net.send_to = [](plat_socket_t, const void*, std::size_t length, const sockaddr_in*) {
        ++sent;
        return static_cast<long>(length);
    };
    plat_net.close = [](plat_socket_t) {};
}

sockaddr_in peer(unsigned int i)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(0x0A010000u + i / 100);  // 10.1.x.y, a hundred ports each
    sa.sin_port = htons(static_cast<std::uint16_t>(50000 + i % 100));
    return sa;
}

double ms_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void known_peers_pass()
{
    constexpr unsigned int kPeers = 10000;
    zvmp_set_peer_cap(kPeers);
    // Learned at the allowed rate, then all made fresh so that none expires.
    const long long then = now_s;
    for (unsigned int i = 0; i < kPeers; ++i) {
        sockaddr_in sa = peer(i);
        now_s = 1 + i / ZVMP_NEW_PEERS_PER_SECOND;
        zvmp_add_target_to_list(plat_inet_ntoa(sa.sin_addr.s_addr), ntohs(sa.sin_port), &zvmp_net_peer_list,
                                ZvmpLifetime::learned, kPanelType);
    }
    now_s = then;
    for (zvmp_net_tgt_list_s* e = zvmp_net_peer_list; e != nullptr; e = e->next) e->last_heard = fake_monotonic_ms();
    zvmp_showtime();  // this second's hello round
    std::printf("learned peers: %u (agree: %d)\n", zvmp_number_of_learned_peers(), zvmp_peers_agree());

    constexpr int kPasses = 2000;
    std::vector<double> times;
    for (int pass = 0; pass < kPasses; ++pass) {
        for (unsigned int k = 0; k < ZVMP_MAX_PACKETS_PER_SERVICE; ++k)
            waiting.push_back(peer((k * 39 + static_cast<unsigned int>(pass)) % kPeers));
        auto start = std::chrono::steady_clock::now();
        zvmp_showtime();
        times.push_back(ms_since(start));
    }
    std::sort(times.begin(), times.end());
    std::printf("service pass, 256 hellos from known peers among %u: %.3f ms median, %.3f ms mean\n", kPeers,
                times[times.size() / 2], std::accumulate(times.begin(), times.end(), 0.0) / kPasses);
}

void forged_flood()
{
    constexpr unsigned int kForged = 20000;
    constexpr int kSeconds = 61, kPassesPerSecond = 18;
    for (unsigned int i = 0; i < kForged; ++i) {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(0x0A090909u);
        sa.sin_port = htons(static_cast<std::uint16_t>(1024 + i));
        waiting.push_back(sa);
    }
    sent = 0;
    unsigned int most = 0;
    auto start = std::chrono::steady_clock::now();
    for (int s = 0; s < kSeconds; ++s, ++now_s)
        for (int p = 0; p < kPassesPerSecond; ++p) {
            zvmp_showtime();
            most = std::max(most, zvmp_number_of_peers());
        }
    double ms = ms_since(start);
    std::printf("20000 forged hellos, default bound, %d s: at most %u peers, %llu refused, %ld datagrams sent, "
                "%.1f ms in %d passes (agree: %d)\n",
                kSeconds, most, zvmp_number_refused(), sent, ms, kSeconds * kPassesPerSecond, zvmp_peers_agree());
}

}  // namespace

int main(int argc, char** argv)
{
    if (!zvtest_isolate_network()) return 1;
    stub_sockets();
    zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
    for (unsigned int port : {2424u, 2425u, 2426u}) zvmp_add_multicast_target("239.224.224.1", port);
    // One scenario per process: "flood" for the forged hellos, otherwise the known peers.
    if (argc > 1 && std::strcmp(argv[1], "flood") == 0)
        forged_flood();
    else
        known_peers_pass();
    return 0;
}
