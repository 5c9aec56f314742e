// What the program's end-to-end rows share: the programs under test, the panel's view of the
// stream and the wait for the program's lines.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "tests/support/e2e_simulator.h"
#include "tests/support/panel_client.h"
#include "tests/support/process.h"

inline const E2ePrograms kPrograms{PYXPLUGIN_EXE, ZVSIM_EXE};

constexpr unsigned int kProgramPort = 59000;
constexpr std::uint32_t kTrueHeading = 0x26011106;
constexpr std::uint32_t kMagneticVariation = 0x26011107;
constexpr std::uint32_t kMcpHeading = 0x26011603;

inline const std::string kHeader =
    "Zorvan FS2020 Pyx Plugin 1.0.1\nInitialising ZVMP Interface ...\nSetting ZVMP callback ...\n";

// Full packets that reach the panel within `ms`, without asking for the stream again.
inline int full_packets_within(panel::Client& client, int ms)
{
    int full = 0;
    for (const auto& p : client.receive_for(ms)) full += p.is_full() ? 1 : 0;
    return full;
}

// Asks for the stream until full packets flow (the program may still be starting).
inline bool start_streaming(panel::Client& client) { return panel::start_streaming(client, kProgramPort).has_value(); }

// The latest full packet within `ms` that satisfies `accept`, if any.
template <typename Accept>
std::optional<panel::Packet> wait_for_full(panel::Client& client, int ms, Accept accept)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        for (const auto& p : client.receive_for(50))
            if (p.is_full() && accept(p)) return p;
    }
    return std::nullopt;
}

// The full packets that reach the panel within `ms`: how many, the longest gap between two, and
// the last one.
struct FullStream {
    int count = 0;
    long long longest_gap_ms = 0;
    std::optional<panel::Packet> last;
};

inline FullStream full_stream_within(panel::Client& client, int ms)
{
    using namespace std::chrono;
    FullStream stream;
    long long last_ms = -1;
    for (auto end = steady_clock::now() + milliseconds(ms); steady_clock::now() < end;) {
        for (auto& p : client.receive_for(20)) {
            if (!p.is_full()) continue;
            long long now = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
            if (last_ms >= 0) stream.longest_gap_ms = std::max(stream.longest_gap_ms, now - last_ms);
            last_ms = now;
            ++stream.count;
            stream.last = std::move(p);
        }
    }
    return stream;
}
