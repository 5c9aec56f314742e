// Cost of each streaming panel added to a sub-second pass, printed as a figure (not a test):
// the publishing of one pass timed with 10, 100 and 1000 full-data panels streaming, each a
// socket of its own on loopback that the program learned from its hello and stream request,
// against one plain sendto of a packet of the full packet's size to one of those sockets, and
// against the same sends made in a plain loop over the panels.
// The panels' queues are drained between passes, outside the timed calls, so that no datagram
// is dropped. The wall clock is replaced, so that the panels are learned at the allowed rate of
// new peers per second without waiting and all expire at once between rounds. It runs in a
// private network namespace of its own:
//     build/bench/panels_bench
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/publish.h"
#include "app/pyxplugin.h"
#include "flightdata/flightdata.h"
#include "net/zvmpnet.h"
#include "platform/clock.h"
#include "tests/support/isolation.h"
#include "tests/support/panel_client.h"
#include "tests/support/test_socket.h"

namespace {

constexpr unsigned int kCounts[] = {10, 100, 1000};
constexpr unsigned int kMostPanels = 1000;
constexpr int kRounds = 25;          // each round learns the panels afresh
constexpr int kPassesPerCount = 20;  // timed passes per count and round

// Both clocks, the wall clock in seconds and the monotonic one (on which peers expire) in
// milliseconds, stand at now_s.
long long now_s = 10000;
long long fake_time() { return now_s; }
long long fake_monotonic_ms() { return now_s * 1000; }

using Clock = std::chrono::steady_clock;

double us_since(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Room for the panels' sockets: the soft limit on open files raised towards the hard one.
bool enough_descriptors(rlim_t needed)
{
    rlimit r{};
    if (getrlimit(RLIMIT_NOFILE, &r) != 0) return false;
    if (r.rlim_cur >= needed) return true;
    if (r.rlim_max != RLIM_INFINITY && r.rlim_max < needed) return false;
    r.rlim_cur = needed;
    return setrlimit(RLIMIT_NOFILE, &r) == 0;
}

void send_plain(plat_socket_t s, const std::vector<std::uint8_t>& bytes, unsigned int port)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    ::sendto(s, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

// Empties the queues of the first `count` panels; returns the full packets they held.
std::size_t drain(std::vector<std::unique_ptr<panel::Client>>& panels, std::size_t count)
{
    std::size_t full = 0;
    for (std::size_t i = 0; i < count; ++i)
        for (const panel::Packet& pkt : panels[i]->drain()) full += pkt.is_full() ? 1 : 0;
    return full;
}

// Panels [from, to) ask for the stream, at most as many a second as new peers are accepted.
void learn(std::vector<std::unique_ptr<panel::Client>>& panels, unsigned int from, unsigned int to, unsigned int port)
{
    for (unsigned int i = from; i < to; i += ZVMP_NEW_PEERS_PER_SECOND) {
        ++now_s;
        unsigned int end = std::min(to, i + ZVMP_NEW_PEERS_PER_SECOND);
        for (unsigned int k = i; k < end; ++k) panels[k]->request_stream(port);
        for (int tries = 0; tries < 100 && zvmp_number_of_stream_clients() < end; ++tries) {
            tsock::wait_readable(zvmp_net_socket, 10);
            zvmp_showtime();
        }
        // The hello round of the new second reached the panels learned so far.
        drain(panels, end);
    }
}

// Every panel falls silent long enough to be forgotten.
bool forget_all(std::vector<std::unique_ptr<panel::Client>>& panels)
{
    now_s += 61;
    zvmp_showtime();
    drain(panels, panels.size());
    if (zvmp_number_of_peers() == 0) return true;
    std::fprintf(stderr, "panels_bench: %u peers left after expiry\n", zvmp_number_of_peers());
    return false;
}

}  // namespace

int main()
{
    if (!zvtest_isolate_network()) return 1;
    if (!enough_descriptors(kMostPanels + 64)) {
        std::fprintf(stderr, "panels_bench: cannot open %u sockets (limit on open files)\n", kMostPanels);
        return 1;
    }
    plat_time = fake_time;
    plat_monotonic_ms = fake_monotonic_ms;
    zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
    zvmp_set_peer_cap(kMostPanels);
    const unsigned int port = tsock::local_port(zvmp_net_socket);

    FlightData block{};
    std::strcpy(block.title, "Bench Airliner");
    block.autopilot_available = 1;
    block.autopilot_flight_director_active = 1;
    block.com_available_1 = block.nav_available_1 = block.transponder_available_1 = 1;
    zvpyxpl_fd_refresh_data(&block);

    std::vector<std::unique_ptr<panel::Client>> panels;
    for (unsigned int i = 0; i < kMostPanels; ++i) panels.push_back(std::make_unique<panel::Client>(0x81060000));

    // A plain socket and a packet as long as the full packet, for the reference sends.
    plat_socket_t plain = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (plain == PLAT_INVALID_SOCKET) return 1;
    zvscpl_send_subsecond_data();  // nobody streams yet: nothing is sent
    learn(panels, 0, 1, port);
    zvscpl_send_subsecond_data();
    std::vector<std::uint8_t> same_size;
    for (const panel::Packet& pkt : panels[0]->drain())
        if (pkt.is_full()) same_size = pkt.bytes;
    if (same_size.empty()) {
        std::fprintf(stderr, "panels_bench: no full packet reached the first panel\n");
        return 1;
    }
    if (!forget_all(panels)) return 1;

    std::vector<double> pass[std::size(kCounts)];
    std::vector<double> plain_loop[std::size(kCounts)];
    std::vector<double> reference;
    std::size_t lost = 0;  // full packets that did not reach a panel
    for (int round = 0; round < kRounds; ++round) {
        unsigned int learned = 0;
        for (std::size_t c = 0; c < std::size(kCounts); ++c) {
            learn(panels, learned, kCounts[c], port);
            learned = kCounts[c];
            if (zvmp_number_of_stream_clients() != learned) {
                std::fprintf(stderr, "panels_bench: %u of %u panels streaming\n", zvmp_number_of_stream_clients(),
                             learned);
                return 1;
            }
            for (int p = 0; p < kPassesPerCount; ++p) {
                auto start = Clock::now();
                zvscpl_send_subsecond_data();
                pass[c].push_back(us_since(start));
                lost += learned - drain(panels, learned);
            }
        }
        for (int p = 0; p < kPassesPerCount; ++p) {
            auto start = Clock::now();
            send_plain(plain, same_size, panels[0]->port());
            reference.push_back(us_since(start));
            panels[0]->drain();
        }
        // The same sends in a plain loop over the panels' sockets, from the fewest to the most.
        for (std::size_t c = 0; c < std::size(kCounts); ++c)
            for (int p = 0; p < kPassesPerCount; ++p) {
                auto start = Clock::now();
                for (unsigned int i = 0; i < kCounts[c]; ++i) send_plain(plain, same_size, panels[i]->port());
                plain_loop[c].push_back(us_since(start));
                drain(panels, kCounts[c]);
            }
        if (!forget_all(panels)) return 1;
    }
    tsock::close(plain);

    std::printf("sub-second pass, median of %d:", kRounds * kPassesPerCount);
    for (std::size_t c = 0; c < std::size(kCounts); ++c)
        std::printf(" %u panels %.1f us%s", kCounts[c], median(pass[c]), c + 1 < std::size(kCounts) ? ";" : "\n");
    std::printf("full packets lost: %zu\n", lost);
    const double per_panel = (median(pass[2]) - median(pass[0])) / (kCounts[2] - kCounts[0]);
    const double sendto_us = median(reference);
    std::printf("per panel added (10->1000): %.2f us; plain sendto of the same %zu-byte packet: %.2f us; "
                "ratio %.2f (target <= 1.2)\n",
                per_panel, same_size.size(), sendto_us, per_panel / sendto_us);
    const double plain_per_panel = (median(plain_loop[2]) - median(plain_loop[0])) / (kCounts[2] - kCounts[0]);
    std::printf("the same sendto in a plain loop over the panels, per panel added (10->1000): %.2f us; "
                "ratio of the pass to it %.2f\n",
                plain_per_panel, per_panel / plain_per_panel);
    return 0;
}
