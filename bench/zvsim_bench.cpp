// Prints what zvsim costs with 1 and with 64 clients, each asking for the program's 83-variable
// block every visual frame over TCP on loopback: zvsim's share of a core (the scheduler's count
// for its threads, /proc/PID/task/*/schedstat) and the delay from a frame's time on the world's
// clock to its block in a client's socket, p50 and p99. Runs zvsim (build/zvsim) in a network
// namespace of its own.
//
//     build/bench/zvsim_bench [SECONDS]   (10 for each count when not given)
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "flightdata/flightdata.h"
#include "simwire/records.h"
#include "simwire/requests.h"
#include "simwire/stream.h"
#include "tests/support/isolation.h"
#include "tests/support/process.h"

namespace {

constexpr unsigned PORT = 5010;
// Seconds from 0001-01-01 to 1970-01-01: "ABSOLUTE TIME" counts from the year 1.
constexpr double UNIX_EPOCH_IN_SIM_SECONDS = 62135596800.0;

long long cpu_ns(pid_t pid)
{
    long long total = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        std::ifstream f(task.path() / "schedstat");
        long long ns = 0;
        if (f >> ns) total += ns;
    }
    return total;
}

double wall_now()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::vector<std::uint8_t> registration()
{
    std::vector<std::uint8_t> out;
    std::uint32_t send_id = 1;
    auto add = [&](const auto& r) {
        std::uint8_t b[ZVSW_MAX_REQUEST_SIZE];
        out.insert(out.end(), b, b + zvsw_encode_request(b, ZVSW_PROTOCOL_KITTYHAWK, send_id++, r));
    };
    add(zvsw_open_for(ZVSW_PROTOCOL_KITTYHAWK, "zvsim_bench"));
    for (const FlightVariable& row : flightVariables)
        add(ZvswAddToDataDefinition{0, row.name, zvsw_text(row.units), static_cast<std::uint32_t>(row.type), 0,
                                    SIMCONNECT_UNUSED});
    add(ZvswRequestDataOnSimObject{0, 0, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_VISUAL_FRAME, 0, 0, 0, 0});
    return out;
}

struct Client {
    int fd = -1;
    ZvswReader reader{ZVSW_MESSAGE_HEADER};
};

int connect_client()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(PORT);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

void run(const char* zvsim, int clients, double seconds)
{
    ChildProcess server({zvsim, "--port", std::to_string(PORT)}, true);
    for (int i = 0; i < 200 && server.output().find("serving") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::vector<Client> all(clients);
    const std::vector<std::uint8_t> hello = registration();
    for (Client& c : all) {
        c.fd = connect_client();
        if (c.fd < 0 || write(c.fd, hello.data(), hello.size()) != static_cast<ssize_t>(hello.size())) {
            std::printf("cannot connect to zvsim\n");
            std::exit(1);
        }
        fcntl(c.fd, F_SETFL, O_NONBLOCK);
    }
    std::vector<pollfd> fds;
    for (const Client& c : all) fds.push_back({c.fd, POLLIN, 0});
    std::vector<double> delays;
    long long blocks = 0;
    auto serve_for = [&](double span, bool measure) {
        double end = wall_now() + span;
        while (wall_now() < end) {
            if (poll(fds.data(), fds.size(), 100) <= 0) continue;
            double at = wall_now();
            for (std::size_t i = 0; i < all.size(); ++i) {
                if (fds[i].revents == 0) continue;
                Client& c = all[i];
                std::uint8_t* space = zvsw_reader_space(c.reader, 65536);
                ssize_t n = read(c.fd, space, 65536);
                if (n <= 0) continue;
                zvsw_reader_filled(c.reader, static_cast<std::size_t>(n));
                const std::uint8_t* m;
                std::uint32_t size;
                while (zvsw_reader_next(c.reader, m, size) == ZVSW_NEXT_MESSAGE) {
                    if (zvsw_get_u32(m + 8) != SIMCONNECT_RECV_ID_SIMOBJECT_DATA || size < 40 + 264) continue;
                    double t;
                    std::memcpy(&t, m + SIMOBJECT_DATA_HEADER_SIZE + 256, sizeof t);  // "ABSOLUTE TIME"
                    if (!measure) continue;
                    ++blocks;
                    delays.push_back(at - (t - UNIX_EPOCH_IN_SIM_SECONDS));
                }
            }
        }
    };
    serve_for(1.0, false);  // the registration, the first blocks
    long long cpu_before = cpu_ns(server.pid());
    auto start = std::chrono::steady_clock::now();
    serve_for(seconds, true);
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double cpu = static_cast<double>(cpu_ns(server.pid()) - cpu_before) / 1e9 / elapsed * 100;
    std::sort(delays.begin(), delays.end());
    auto at = [&](double q) { return delays.empty() ? 0.0 : delays[static_cast<std::size_t>(q * static_cast<double>(delays.size() - 1))]; };
    std::printf("%2d client%s: zvsim %.2f %% of a core, %.1f blocks/s a client, frame to socket p50 %.2f ms, p99 %.2f ms\n",
                clients, clients == 1 ? " " : "s", cpu, static_cast<double>(blocks) / elapsed / clients, at(0.5) * 1e3, at(0.99) * 1e3);
    for (Client& c : all) close(c.fd);
    server.stop(SIGTERM, 2000);
}

}  // namespace

int main(int argc, char** argv)
{
    if (!zvtest_isolate_network()) return 1;
    double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    if (!(seconds > 0.0)) seconds = 10.0;
    for (int clients : {1, 64}) run(ZVSIM_EXE, clients, seconds);
    return 0;
}
