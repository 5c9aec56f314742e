// The program as its users run it: build/pyxplugin started as a process on the built-in
// simulator, watched and commanded by a panel over loopback, stopped by signals, outliving a
// simulator that starts late and restarts (-w), ending each line as it is printed (-l), blanking
// a CPFlight unit as it ends and starting one again that was unplugged and plugged back, and
// recording a flight (-r) that the built-in simulator then replays to a panel packet for packet.
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/cpflight/pty_unit.h"
#include "tests/support/panel_client.h"
#include "tests/support/process.h"

namespace {

constexpr unsigned int kProgramPort = 59000;
constexpr std::uint32_t kTrueHeading = 0x26011106;
constexpr std::uint32_t kMagneticVariation = 0x26011107;
constexpr std::uint32_t kMcpHeading = 0x26011603;

// Signed difference a - b in degrees, in [-180, 180).
double angle_between(double a, double b) { return std::remainder(a - b, 360.0); }

const std::string kHeader =
    "Zorvan FS2020 Pyx Plugin 1.0.1\nInitialising ZVMP Interface ...\nSetting ZVMP callback ...\n";

// Waits up to `timeout_ms` until `process` has printed `text` `times` times.
bool wait_for_output(ChildProcess& process, const std::string& text, int timeout_ms, int times = 1)
{
    auto count = [&] {
        int n = 0;
        for (auto at = process.output().find(text); at != std::string::npos; at = process.output().find(text, at + 1))
            ++n;
        return n;
    };
    for (int waited = 0; count() < times; waited += 10) {
        if (waited >= timeout_ms) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Full packets that reach the panel within `ms`, without asking for the stream again.
int full_packets_within(panel::Client& client, int ms)
{
    int full = 0;
    for (const auto& p : client.receive_for(ms)) full += p.is_full() ? 1 : 0;
    return full;
}

// Asks for the stream until full packets flow (the program may still be starting).
bool start_streaming(panel::Client& client)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        client.request_stream(kProgramPort);
        for (const auto& p : client.receive_for(100))
            if (p.is_full()) return true;
    }
    return false;
}

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

FullStream full_stream_within(panel::Client& client, int ms)
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

TEST(Program, StreamsObeysCommandsAndEndsCleanlyOnTheBuiltInSimulator)
{
    ChildProcess program({PYXPLUGIN_EXE});
    panel::Client client(0x81060000);
    ASSERT_TRUE(start_streaming(client)) << program.output();

    // Two seconds of traffic: full packets about twenty times a second, speed limits once.
    client.receive_for(100);
    int full = 0;
    int limits = 0;
    for (const auto& p : client.receive_for(2000)) {
        full += p.is_full() ? 1 : 0;
        limits += p.is_speed_limits() ? 1 : 0;
    }
    EXPECT_GE(full, 30);
    EXPECT_LE(full, 44);
    EXPECT_GE(limits, 1);
    EXPECT_LE(limits, 3);

    // The heading command shows in the published MCP heading within a second.
    client.send_float(kMcpHeading, 270.0f, kProgramPort);
    auto set = wait_for_full(client, 1000, [](const panel::Packet& p) {
        const auto* m = p.find(kMcpHeading);
        return m && m->f32() == 270.0f;
    });
    ASSERT_TRUE(set.has_value()) << "MCP heading never read 270";

    // With the autopilot engaged in heading hold, the aircraft rolls in and turns toward the
    // bug (an airliner at cruise turns about a degree a second at its 25 degree bank limit).
    const double bug_true = 270.0 - set->find(kMagneticVariation)->f32();  // published sign reversed
    const double before = std::fabs(angle_between(set->find(kTrueHeading)->f32(), bug_true));
    client.send({panel::word_message(0x22011801, 2), panel::word_message(0x22011624, 1)}, kProgramPort);
    auto turned = wait_for_full(client, 10000, [&](const panel::Packet& p) {
        return std::fabs(angle_between(p.find(kTrueHeading)->f32(), bug_true)) < before - 3.0;
    });
    EXPECT_TRUE(turned.has_value()) << "true heading did not turn toward the bug from " << before << " degrees off";
    if (turned) {
        EXPECT_EQ(turned->find(0x22011801)->word(), 2u);  // autopilot engaged
        EXPECT_EQ(turned->find(0x22011624)->word(), 2u);  // heading hold active
    }

    EXPECT_EQ(program.stop(SIGTERM, 5000), 0);
    EXPECT_EQ(program.output(),
              "Zorvan FS2020 Pyx Plugin 1.0.1\n"
              "Initialising ZVMP Interface ...\n"
              "Setting ZVMP callback ...\n"
              "Connected to Flight Simulator!\n");
}

TEST(Program, EndsWithExitCodeZeroOnEachStopSignal)
{
    struct Case {
        int signal;
        std::string environment;  // for the built-in simulator
        std::string errors;
    };
    const Case cases[] = {
        {SIGINT, "ZVSIM_OFFLINE_S=0", ""},
        {SIGTERM, "ZVSIM_OFFLINE_S=0.0", ""},
        {SIGHUP, "ZVSIM_OFFLINE_S=-1",
         "built-in simulator: ZVSIM_OFFLINE_S=-1 is not a number of seconds; ignored\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.signal);
        ChildProcess program({"/usr/bin/env", c.environment, PYXPLUGIN_EXE, "-s"}, true);
        EXPECT_TRUE(wait_for_output(program, "Connected", 2000)) << program.output();
        EXPECT_EQ(program.stop(c.signal, 5000), 0);
        EXPECT_EQ(program.output(), kHeader + "Connected to Flight Simulator!\n");
        EXPECT_EQ(program.errors(), c.errors);
    }
}

TEST(Program, WaitsForALateSimulatorAndOutlivesItsRestartWithTheStreamGoingOn)
{
    ChildProcess program({"/usr/bin/env", "ZVSIM_OFFLINE_S=2.5", PYXPLUGIN_EXE, "-w"});
    ASSERT_TRUE(wait_for_output(program, "Waiting for Flight Simulator ...", 2000)) << program.output();
    panel::Client client(0x81060000);
    client.request_stream(kProgramPort);  // heard while waiting
    EXPECT_EQ(full_packets_within(client, 1000), 0);
    ASSERT_TRUE(wait_for_output(program, "Connected to Flight Simulator!", 5000)) << program.output();
    EXPECT_GT(full_packets_within(client, 1000), 10);

    program.signal(SIGUSR1);  // the simulator restarts, and takes 2 s to come back
    ASSERT_TRUE(wait_for_output(program, "Flight Simulator closed, waiting ...", 2000)) << program.output();
    client.receive_for(100);
    EXPECT_EQ(full_packets_within(client, 1000), 0);
    client.hello(kProgramPort);  // as panels keep doing; no new stream request
    ASSERT_TRUE(wait_for_output(program, "Connected to Flight Simulator!", 5000, 2)) << program.output();
    EXPECT_GT(full_packets_within(client, 1000), 10);

    EXPECT_EQ(program.stop(SIGINT, 5000), 0);
    EXPECT_EQ(program.output(), kHeader +
                                    "Waiting for Flight Simulator ...\n"
                                    "Connected to Flight Simulator!\n\n"
                                    "Flight Simulator closed, waiting ...\n"
                                    "Connected to Flight Simulator!\n");
}

// -l, for a log or the journal: each line ends as it is printed, so the line a reader of whole
// lines waits for is there at once; without -l the output is as it always was. Each row reads the
// output while the program waits for the simulator and after it has stopped.
TEST(Program, EndsEachLineAsItIsPrintedWithMinusL)
{
    struct Case {
        std::vector<std::string> options;
        const char* offline_s;
        std::string waiting;  // the output once "Waiting" is printed
        std::string at_end;   // after a stop once connected, or while still waiting
    };
    const std::string wait_line = "Waiting for Flight Simulator ...";
    const Case cases[] = {
        {{"-w"}, "1.5", kHeader + wait_line, kHeader + wait_line + "\nConnected to Flight Simulator!\n"},
        {{"-w", "-l"}, "1.5", kHeader + wait_line + "\n", kHeader + wait_line + "\nConnected to Flight Simulator!\n"},
        {{"-lw", "-i", "127.0.0.1"}, "60", kHeader + "Adding static peer 127.0.0.1 ...\n" + wait_line + "\n",
         kHeader + "Adding static peer 127.0.0.1 ...\n" + wait_line + "\n"},
        {{"-w", "-i", "127.0.0.1"}, "60", kHeader + "Adding static peer 127.0.0.1 ...\n" + wait_line,
         kHeader + "Adding static peer 127.0.0.1 ...\n" + wait_line},
        // A word taken as -i's argument is no -l.
        {{"-w", "-i", "-l"}, "60", kHeader + wait_line, kHeader + wait_line},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {"/usr/bin/env", std::string("ZVSIM_OFFLINE_S=") + c.offline_s, PYXPLUGIN_EXE};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        SCOPED_TRACE(argv.back());
        ChildProcess program(argv);
        ASSERT_TRUE(wait_for_output(program, wait_line, 2000)) << program.output();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(program.output(), c.waiting);
        if (c.at_end.find("Connected") != std::string::npos) {
            EXPECT_TRUE(wait_for_output(program, "Connected to Flight Simulator!", 5000)) << program.output();
        }
        EXPECT_EQ(program.stop(SIGTERM, 5000), 0);
        EXPECT_EQ(program.output(), c.at_end);
    }
}

// Simulators that differ from the built-in one's defaults: a clock set back an hour, a clock in
// whole seconds, names it does not know. The stream goes on at its rate where it can, the program
// says what it met, and an ADF command reaches the simulator in its encoding or is named refused.
TEST(Program, StreamsThroughAClockSetBackOrInWholeSecondsAndNamesWhatTheSimulatorRefuses)
{
    constexpr std::uint32_t kAdf1 = 0x22011d15;
    constexpr std::uint32_t kRadios = 0x2a0c1d31;
    struct Case {
        std::string environment;  // for the built-in simulator
        int signal;               // once the stream flows; 0 for none
        std::vector<std::string> lines;
        bool streams;
    };
    const std::string refused = "Flight Simulator refused ";
    const Case cases[] = {
        {"ZVSIM_OFFLINE_S=0", SIGUSR2, {}, true},
        {"ZVSIM_CLOCK_STEP=1", 0,
         {"Flight Simulator's clock advances in steps of 1.0 s: passes now follow the data blocks"}, true},
        {"ZVSIM_UNKNOWN=ADF ACTIVE FREQUENCY:1;ADF_COMPLETE_SET", 0,
         {refused + "variable \"ADF ACTIVE FREQUENCY:1\" (Number): NAME_UNRECOGNIZED",
          refused + "event \"ADF_COMPLETE_SET\": NAME_UNRECOGNIZED",
          "Flight Simulator sends 756-byte data blocks where 760 are expected: panels receive no flight data",
          refused + "event \"ADF_COMPLETE_SET\": UNRECOGNIZED_ID"},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.environment);
        ChildProcess program({"/usr/bin/env", c.environment, PYXPLUGIN_EXE});
        panel::Client client(0x81060000);
        if (c.streams) {
            ASSERT_TRUE(start_streaming(client)) << program.output();
        } else {
            ASSERT_TRUE(wait_for_output(program, "Connected", 2000)) << program.output();
            client.request_stream(kProgramPort);
        }
        if (c.signal != 0) program.signal(c.signal);
        client.send({panel::word_message(kAdf1, 35000)}, kProgramPort);  // 350 kHz
        for (const std::string& line : c.lines) EXPECT_TRUE(wait_for_output(program, line, 4000)) << line;

        FullStream stream = full_stream_within(client, 2000);
        if (c.streams) {
            EXPECT_GE(stream.count, 30);
            EXPECT_LE(stream.count, 44);
            EXPECT_LT(stream.longest_gap_ms, 500);
            ASSERT_TRUE(stream.last && stream.last->find(kRadios));
            EXPECT_EQ(stream.last->find(kRadios)->word(8), 35000u);  // ADF 1 reads back as sent
        } else {
            EXPECT_EQ(stream.count, 0);
        }
        EXPECT_EQ(program.stop(SIGTERM, 5000), 0);
    }
}

// The unit's start-up pauses 2 s after "K999" and 5 s after "Q001"; a streaming panel keeps
// receiving all along.
TEST(Program, StartsTheCpflightUnitWhileAPanelKeepsStreaming)
{
    PtyUnit unit;
    std::vector<std::pair<long long, std::string>> chunks;
    std::thread reader([&] { chunks = unit.timed_reads(9500); });
    ChildProcess program({PYXPLUGIN_EXE, "-c", unit.path()});
    panel::Client client(0x81060000);
    bool streaming = start_streaming(client);
    FullStream stream = full_stream_within(client, 8000);
    reader.join();
    EXPECT_EQ(program.stop(SIGTERM, 5000), 0);
    ASSERT_TRUE(streaming) << program.output();

    using namespace std::string_literals;
    std::string bytes;
    auto arrival = [&](const std::string& text) -> long long {
        std::string seen;
        for (const auto& [at, chunk] : chunks) {
            seen += chunk;
            if (seen.find(text) != std::string::npos) return at;
        }
        return -1;
    };
    for (const auto& chunk : chunks) bytes += chunk.second;
    EXPECT_EQ(bytes.substr(0, 22), "K999\0Q001\0L0198\0C00\n0\0"s);
    long long reset = arrival("K999\0"s);
    long long query = arrival("Q001\0"s);
    long long configure = arrival("L0198\0"s);
    ASSERT_GE(reset, 0);
    // The reader looks every millisecond or so; the exact pauses are held on a stepped clock.
    EXPECT_GE(query - reset, 1990);
    EXPECT_LT(query - reset, 2500);
    EXPECT_GE(configure - query, 4990);
    EXPECT_LT(configure - query, 5500);
    // About twenty full packets a second throughout, with no freeze.
    EXPECT_GE(stream.count, 100);
    EXPECT_LT(stream.longest_gap_ms, 1000);
}

// A stop 1 s into the unit's start-up (which pauses 2 s after "K999") abandons it: the program
// ends at once, and the unit hears "K999" last.
TEST(Program, AStopDuringTheCpflightStartUpEndsAtOnceWithK999Last)
{
    using namespace std::chrono;
    PtyUnit unit;
    ChildProcess program({PYXPLUGIN_EXE, "-c", unit.path()});
    steady_clock::time_point stopped;
    std::string bytes = unit.read_until_closed(30000, [&] {
        std::this_thread::sleep_for(seconds(1));
        stopped = steady_clock::now();
        program.signal(SIGTERM);
    });
    EXPECT_EQ(program.wait(5000), 0);
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - stopped).count(), 500);
    using namespace std::string_literals;
    EXPECT_EQ(bytes, "K999\0K999\0"s);
}

// With -w, a unit that is unplugged and plugged back, named by a stable link that udev removes
// and makes again for the new terminal (as /dev/serial/by-id/... for a USB adapter).
TEST(Program, ACpflightUnitThatGoesAwayIsStartedAgainWhenItComesBack)
{
    using namespace std::string_literals;
    char dir[] = "/tmp/zv-unit-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/cpflight";
    std::optional<PtyUnit> unit(std::in_place);
    ASSERT_EQ(symlink(unit->path().c_str(), link.c_str()), 0);
    ChildProcess program({PYXPLUGIN_EXE, "-w", "-v", "-c", link});
    EXPECT_NE(unit->read_until("V05"s, 12000).find("V05"), std::string::npos) << "no start-up";

    unit->hang_up();
    unlink(link.c_str());
    const std::string gone = "\nCPFlight unit on " + link + " went away, waiting for it ...";
    EXPECT_TRUE(wait_for_output(program, gone, 2000)) << program.output();
    // The status line (every 10 s) while the unit is away.
    EXPECT_TRUE(wait_for_output(program, "cpflight=lost", 12000)) << program.output();

    unit.emplace();
    ASSERT_EQ(symlink(unit->path().c_str(), link.c_str()), 0);
    std::string bytes = unit->read_until("V05"s, 12000);
    EXPECT_EQ(bytes.substr(0, 22), "K999\0Q001\0L0198\0C00\n0\0"s);
    EXPECT_NE(bytes.find("V04"), std::string::npos);  // the dials went out
    EXPECT_EQ(program.stop(SIGINT, 5000), 0);
    // Each line once, in order; no line for the opens that failed meanwhile (-v says why).
    const std::string out = program.output();
    const std::string back = "\nCPFlight unit on " + link + " is back";
    const auto at_gone = out.find(gone), at_lost = out.find("cpflight=lost"), at_back = out.find(back);
    EXPECT_TRUE(at_gone < at_lost && at_lost < at_back && at_back != std::string::npos) << out;
    EXPECT_EQ(out.find(gone, at_gone + 1), std::string::npos) << out;
    EXPECT_EQ(out.find("Unable to open serial port"), std::string::npos) << out;
    EXPECT_EQ(out.find("cpflight=lost", at_back), std::string::npos) << out;
    unlink(link.c_str());
    rmdir(dir);
}

// Full packets keyed by the position they show (latitude and longitude, float64 each): the
// position changes with every block, so equal keys mean the same block published. The keys are
// ordered as spans: std::vector's own <=> makes GCC 12 at -O3 warn of a memcmp overread that
// cannot happen.
struct BytesBefore {
    bool operator()(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) const
    {
        return std::ranges::lexicographical_compare(a, b);
    }
};
using FullPackets = std::map<std::vector<std::uint8_t>, std::vector<std::uint8_t>, BytesBefore>;

void keep_full(FullPackets& kept, const std::vector<panel::Packet>& packets, int* showing_bug = nullptr)
{
    for (const panel::Packet& p : packets) {
        const panel::Message* lat = p.find(0x27021101);
        const panel::Message* lon = p.find(0x27021102);
        if (!p.is_full() || lat == nullptr || lon == nullptr) continue;
        std::vector<std::uint8_t> key = lat->payload;
        key.insert(key.end(), lon->payload.begin(), lon->payload.end());
        kept[key] = p.bytes;
        if (showing_bug != nullptr && p.find(kMcpHeading)->f32() == 123.0f) ++*showing_bug;
    }
}

TEST(Program, ARecordedFlightReplaysToAPanelPacketForPacket)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("zvrec-e2e-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string file = (dir / "flight.zvrec").string();

    // Recording: a panel streams, turns the heading bug to 123, and streams on.
    FullPackets recorded;
    int bug_recorded = 0;
    {
        ChildProcess program({PYXPLUGIN_EXE, "-r", file});
        panel::Client client(0x81060000);
        ASSERT_TRUE(start_streaming(client)) << program.output();
        keep_full(recorded, client.receive_for(1000));
        client.send_float(kMcpHeading, 123.0f, kProgramPort);
        keep_full(recorded, client.receive_for(2000), &bug_recorded);
        EXPECT_EQ(program.stop(SIGTERM, 5000), 0);
        EXPECT_EQ(program.output(), kHeader + "Recording to " + file + " ...\nConnected to Flight Simulator!\n");
    }
    // Replay: another panel streams from the start and sends a command, which changes nothing;
    // the program ends with the recording's end.
    FullPackets replayed;
    int bug_replayed = 0;
    {
        ChildProcess program({"/usr/bin/env", "ZVSIM_REPLAY=" + file, PYXPLUGIN_EXE});
        panel::Client client(0x81060000);
        ASSERT_TRUE(start_streaming(client)) << program.output();
        client.send_float(kMcpHeading, 45.0f, kProgramPort);
        int exit_code = -1;
        for (int i = 0; i < 150 && exit_code < 0; ++i) {
            keep_full(replayed, client.receive_for(100), &bug_replayed);
            exit_code = program.wait(0);
        }
        keep_full(replayed, client.drain(), &bug_replayed);
        EXPECT_EQ(exit_code, 0) << program.output();
    }
    fs::remove_all(dir);

    int same = 0;
    for (const auto& [key, bytes] : replayed) {
        auto original = recorded.find(key);
        if (original == recorded.end()) continue;
        EXPECT_EQ(bytes, original->second);
        ++same;
    }
    // The panels saw nearly all of the same publications (the replay's first may come before its
    // panel was streaming), the heading change among them.
    EXPECT_GT(recorded.size(), 40u);
    EXPECT_GE(same, static_cast<int>(recorded.size()) * 9 / 10) << same << " of " << recorded.size();
    EXPECT_GT(bug_recorded, 10);
    EXPECT_GE(bug_replayed, bug_recorded - 2);
}

}  // namespace
