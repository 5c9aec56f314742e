// What the network client's end-to-end tests share: a temporary working directory holding a
// SimConnect.cfg, the program started in it, the data blocks a scripted server sends, and
// waits on the program's output and on a panel's stream.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "flightdata/record.h"
#include "platform/clock.h"
#include "tests/support/panel_client.h"
#include "tests/support/process.h"

namespace rig {

inline constexpr unsigned kProgramPort = 59000;
inline constexpr std::uint32_t kLatitude = 0x27021101;
inline constexpr std::uint32_t kTrueHeading = 0x26011106;
inline constexpr std::uint32_t kMcpHeading = 0x26011603;
inline constexpr double kBlockLatitude = 47.25;
inline constexpr double kBlockHeading = 123.5;

inline const std::string kHeader =
    "Zorvan FS2020 Pyx Plugin 1.0.1\nInitialising ZVMP Interface ...\nSetting ZVMP callback ...";

// A section of SimConnect.cfg for 127.0.0.1:`port`.
inline std::string section(const std::string& name, unsigned port)
{
    return "[" + name + "]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(port) + "\n";
}

// A working directory of its own with `cfg` as its SimConnect.cfg, removed at the end.
struct WorkDir {
    std::string path;
    explicit WorkDir(const std::string& cfg)
    {
        char name[] = "/tmp/zv-client-XXXXXX";
        path = ::mkdtemp(name);
        std::ofstream(path + "/SimConnect.cfg") << cfg;
    }
    ~WorkDir() { std::filesystem::remove_all(path); }
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;
};

// The program in `dir` with `args`.
inline std::vector<std::string> program(const WorkDir& dir, const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {"/usr/bin/env", "-C", dir.path, PYXPLUGIN_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

// The n-th data block of a steady flight at `latitude`: the clock 20 ms a block, the rest still.
inline std::vector<std::uint8_t> flight_block_at(unsigned n, double latitude)
{
    FlightData fd{};
    std::snprintf(fd.title, sizeof fd.title, "Scripted aircraft");
    fd.absolute_time = 1000.0 + 0.02 * n;
    fd.plane_latitude = latitude;
    fd.plane_heading_degrees_true = kBlockHeading;
    std::vector<std::uint8_t> out(sizeof fd);
    std::memcpy(out.data(), &fd, sizeof fd);
    return out;
}
inline std::vector<std::uint8_t> flight_block(unsigned n) { return flight_block_at(n, kBlockLatitude); }

using ::wait_for_output;

// A message's value, in the width it came in.
inline double value(const panel::Message& m) { return m.payload.size() == 8 ? m.f64() : m.f32(); }

// Asks for the stream until a full packet comes; that packet.
inline std::optional<panel::Packet> start_streaming(panel::Client& client)
{
    return panel::start_streaming(client, kProgramPort);
}

// The full packets a panel receives, watched in turns: how many, and the longest gap between
// two (from the start of the first turn, and to the end of the last).
struct Stream {
    int count = 0;
    long long longest_gap_ms = 0;
    long long last_ms = plat_monotonic_ms();

    // Takes what arrives within `ms`.
    void watch(panel::Client& client, int ms)
    {
        for (long long end = plat_monotonic_ms() + ms; plat_monotonic_ms() < end;) {
            for (const auto& p : client.receive_for(10)) {
                if (!p.is_full()) continue;
                long long now = plat_monotonic_ms();
                longest_gap_ms = std::max(longest_gap_ms, now - last_ms);
                last_ms = now;
                ++count;
            }
        }
        longest_gap_ms = std::max(longest_gap_ms, plat_monotonic_ms() - last_ms);
    }
};

inline Stream watch_stream(panel::Client& client, int ms)
{
    Stream s;
    s.watch(client, ms);
    return s;
}

// The first full packet within `ms` that satisfies `accept`, if any.
template <typename Accept>
std::optional<panel::Packet> wait_for_full(panel::Client& client, int ms, Accept accept)
{
    for (long long end = plat_monotonic_ms() + ms; plat_monotonic_ms() < end;) {
        for (auto& p : client.receive_for(20))
            if (p.is_full() && accept(p)) return std::move(p);
    }
    return std::nullopt;
}

// Milliseconds `process` takes to end by itself, up to `timeout_ms` (-1 when it does not), and
// its exit code in `code`.
inline long long time_to_end(ChildProcess& process, int timeout_ms, int& code)
{
    long long start = plat_monotonic_ms();
    code = process.wait(timeout_ms);
    long long took = plat_monotonic_ms() - start;
    return code == -1 && took >= timeout_ms ? -1 : took;
}

}  // namespace rig
