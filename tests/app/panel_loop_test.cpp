// The main loop with the network and publishing in place: pacing on the simulator clock, the
// order of publications within a pass, a panel's command travelling to the simulator, and the
// simulator's life cycle with -w (waiting, quitting, reconnecting) as a streaming panel sees it.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/panel_commands.h"
#include "app/pyxplugin.h"
#include "app/report.h"
#include "cpflight/cpflight.h"
#include "flightdata/flightdata.h"
#include "net/zvmpnet.h"
#include "platform/clock.h"
#include "tests/support/panel_client.h"
#include "tests/support/simconnect_double.h"

namespace {

constexpr unsigned int kProgramPort = 59000;

FlightData block_at(double time)
{
    FlightData d{};
    std::strcpy(d.title, "Test Airliner");
    d.absolute_time = time;
    return d;
}

std::string passes_seen(panel::Client& client)
{
    std::string seen;
    for (const auto& p : client.drain()) {
        if (p.is_full()) seen += "F";
        if (p.is_speed_limits()) seen += "S";
    }
    return seen.empty() ? "." : seen;
}

// Runs the loop over one data block per iteration at the given simulator times, one iteration
// per frame of 36 a second on the monotonic clock, and returns what a streaming full-packet panel
// received after each block: "F" a full packet, "S" the speed limits, "." nothing; blocks
// separated by "|". Then "+" for each line saying that the passes follow the blocks.
std::string passes_for(const std::vector<double>& times)
{
    plat_sleep_ms = [](unsigned) {};
    plat_monotonic_ms = [] { return static_cast<long long>(scd::dispatches) * 1000 / 36; };
    zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
    panel::Client client(0x81060000);
    client.request_stream(kProgramPort);

    std::vector<FlightData> blocks;
    for (double t : times) blocks.push_back(block_at(t));
    std::string seen;
    scd::on_dispatch = [&] {
        std::size_t i = static_cast<std::size_t>(scd::dispatches) - 1;
        // Loopback delivers at once: what the previous iteration's pass sent is here now.
        if (i > 0) seen += passes_seen(client) + "|";
        if (i < blocks.size()) scd::queue_object_data(0, &blocks[i], sizeof(FlightData));
        if (i + 1 >= blocks.size()) scd::queue_quit();
    };
    testing::internal::CaptureStdout();
    zvscpl_run_loop();
    std::string out = testing::internal::GetCapturedStdout();
    seen += passes_seen(client);
    for (auto at = out.find("passes now follow the data blocks"); at != std::string::npos;
         at = out.find("passes now follow", at + 1))
        seen += "+";
    return seen;
}

// `n` blocks that ran no pass.
std::string idle(int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) out += ".|";
    return out;
}

// `n` frames of a clock at 36 frames a second from 100 s that shows only multiples of `step`.
std::vector<double> clock_in_steps(int n, double step)
{
    std::vector<double> times;
    for (int i = 0; i < n; ++i) times.push_back(100.0 + std::floor(i / 36.0 / step) * step);
    return times;
}

TEST(Pacing, PassesRunOnlyAfterMoreThanTheirIntervalOfSimulatorTime)
{
    struct Case {
        const char* title;
        std::vector<double> times;
        std::string passes;
    };
    const Case cases[] = {
        {"exactly 0.05 s and exactly 1.0 s run nothing", {0.05, 0.0500001, 1.0, 1.0000001, 1.0625},
         ".|F|F|.|FS"},
        {"a clock a second or less behind waits for the last pass", {10.0, 9.0, 9.5, 10.04, 10.06, 11.07},
         "FS|.|.|.|F|FS"},
        {"a clock more than a second behind starts afresh", {10.0, 8.99, 9.0, 9.06, 9.5, 10.1},
         "FS|FS|.|F|F|FS"},
        {"a zeroed record runs nothing, however far behind", {5000.0, 0.0, 0.0, 5000.1}, "FS|.|.|F"},
        {"a clock in whole seconds: then a pass every other frame", clock_in_steps(80, 1.0),
         "FS|" + idle(35) + "F|" + idle(35) + "FS|.|F|.|F|.|F|.+"},
        {"a clock in quarter seconds keeps to the clock", clock_in_steps(30, 0.25),
         "FS|" + idle(8) + "F|" + idle(8) + "F|" + idle(8) + "F|.|."},
        {"a jump of hours gives one pass of each", {10.0, 7210.0, 7210.0, 7210.03}, "FS|FS|.|."},
        {"a time that is not a number runs nothing", {10.0, std::nan(""), 10.02, 10.1}, "FS|.|.|F"},
        {"no block, no time, no pass", {0.0, 0.0}, ".|."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        // Each run needs a fresh process for the loop's own timers.
        EXPECT_EXIT(
            {
                std::string got = passes_for(c.times);
                std::fprintf(stderr, "passes=[%s]\n", got.c_str());
                std::exit(got == c.passes ? 0 : 1);
            },
            testing::ExitedWithCode(0), "");
    }
}

TEST(Pacing, NoPassMeansTheNetworkIsNotServiced)
{
    // Before any block the clock reads 0.0: a panel's command waits unread.
    plat_sleep_ms = [](unsigned) {};
    zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
    panel::Client client(0x81060000);
    client.send_float(0x26011603, 270.0f, kProgramPort);
    scd::on_dispatch = [] {
        if (scd::dispatches == 50) scd::queue_quit();
    };
    zvscpl_run_loop();
    EXPECT_TRUE(scd::transmits.empty());
}

// A port that no machine has.
constexpr const char* kMissingPort = "COM98765";

std::string run_passes_with_unit(int enabled)
{
    plat_sleep_ms = [](unsigned) {};
    std::snprintf(zvpyxcpf_serial_port, sizeof zvpyxcpf_serial_port, "%s", kMissingPort);
    zvxpl_cpflight_enabled = enabled;
    // Three sub-second passes.
    std::vector<FlightData> blocks = {block_at(1.0), block_at(1.1), block_at(1.2)};
    scd::on_dispatch = [&] {
        std::size_t i = static_cast<std::size_t>(scd::dispatches) - 1;
        if (i < blocks.size()) scd::queue_object_data(0, &blocks[i], sizeof(FlightData));
        if (i + 1 >= blocks.size()) scd::queue_quit();
    };
    testing::internal::CaptureStdout();
    zvscpl_run_loop();
    return testing::internal::GetCapturedStdout();
}

TEST(PanelLoop, RefreshesTheUnitOnEverySubsecondPassOnlyWhenConfigured)
{
    char path[ZVPYXCPF_SERIAL_PORT_SIZE];
    plat_serial_device_path(kMissingPort, path, sizeof path);
    const std::string failure = "\nUnable to open serial port " + std::string(path) + " : Error " +
                                std::to_string(PLAT_SERIAL_NO_DEVICE) + "\n";
    EXPECT_EQ(run_passes_with_unit(1), "\nConnected to Flight Simulator!\n" + failure + failure + failure);
}

TEST(PanelLoop, LeavesTheSerialPortAloneWithoutAUnit)
{
    EXPECT_EQ(run_passes_with_unit(0), "\nConnected to Flight Simulator!\n");
}

TEST(PanelLoop, StreamsAboutTwentyTimesASimulatedSecondAndCarriesOutCommands)
{
    plat_sleep_ms = [](unsigned) {};
    zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
    // Start-up installs the dispatcher as the network's message hook.
    zvmp_net_message_received_callback = zvscpl_zvmp_message_callback;
    panel::Client client(0x81060000);
    client.request_stream(kProgramPort);

    // One frame per simulated millisecond for two simulated seconds.
    FlightData block = block_at(1000.0);
    scd::queue_open();
    scd::on_dispatch = [&] {
        block.absolute_time = 1000.0 + 0.001 * scd::dispatches;
        scd::queue_object_data(0, &block, sizeof block);
        if (scd::dispatches == 1000) client.send_float(0x26011603, 270.0f, kProgramPort);
        if (scd::dispatches == 2000) scd::queue_quit();
    };
    zvscpl_run_loop();

    int full = 0;
    int limits = 0;
    for (const auto& p : client.receive_for(100)) {
        full += p.is_full() ? 1 : 0;
        limits += p.is_speed_limits() ? 1 : 0;
    }
    EXPECT_GE(full, 36);
    EXPECT_LE(full, 42);
    EXPECT_GE(limits, 1);
    EXPECT_LE(limits, 2);

    std::vector<scd::TransmitCall> heading;
    for (const auto& t : scd::transmits)
        if (t.event_id == EVT_HEADING_BUG_SET) heading.push_back(t);
    ASSERT_EQ(heading.size(), 1u);
    EXPECT_EQ(heading[0].data, 270u);
}

// ---- The simulator's life cycle

struct LifeCase {
    const char* title;
    bool wait;                                  // -w
    int failed_opens;                           // SimConnect_Open fails this often first
    std::vector<std::vector<double>> sessions;  // per connection, the simulator time of each block
    bool dispatch_fails;                        // a session ends in failing dispatches, not a quit
    long long stop_at_ms;                       // the stop request, on the loop's clock
    std::string trace;
    std::string output;
    bool late_open = false;  // the open message comes with each connection's second dispatch
};

long long loop_ms = 0;
bool command_sent = false;

// Runs the loop through `c` and returns its trace: "o" a failed open, "O" an open, "C" a close,
// "F" and "S" the full and speed-limit packets the panel received after a dispatch; then the
// panel commands dropped and carried out ("d1 t0"). The stop request comes at `stop_at_ms`.
std::string life_cycle(const LifeCase& c, panel::Client& client)
{
    loop_ms = 0;
    plat_monotonic_ms = [] { return loop_ms; };
    zvscpl_state.wait_for_sim = c.wait ? 1 : 0;
    zvmp_net_message_received_callback = zvscpl_zvmp_message_callback;
    scd::open_result = c.failed_opens > 0 ? E_FAIL : S_OK;
    static const LifeCase* row;
    static panel::Client* panel;
    static std::size_t session, dispatch;
    row = &c;
    panel = &client;
    session = 0;
    dispatch = 0;
    // Every sleep moves the loop's clock on; the first one while waiting brings a panel command.
    plat_sleep_ms = [](unsigned ms) {
        loop_ms += ms;
        if (std::count(scd::calls.begin(), scd::calls.end(), "Open") >= row->failed_opens) scd::open_result = S_OK;
        if (ms > 1 && !command_sent) {
            panel->send_float(0x26011603, 270.0f, kProgramPort);
            command_sent = true;
        }
        if (loop_ms >= row->stop_at_ms) zvscpl_state.stop = 1;
    };
    scd::on_dispatch = [] {
        auto opened = static_cast<std::size_t>(std::count(scd::calls.begin(), scd::calls.end(), "Subscribe"));
        if (opened != session) {  // a new connection
            session = opened;
            dispatch = 0;
            scd::dispatch_result = S_OK;
        }
        for (const auto& p : panel->drain()) {
            if (p.is_full()) scd::calls.push_back("F");
            if (p.is_speed_limits()) scd::calls.push_back("S");
        }
        std::size_t late = row->late_open ? 1 : 0;
        if (dispatch == late) scd::queue_open();
        static std::vector<FlightData> blocks;
        const std::vector<double>& times = row->sessions[std::min(session, row->sessions.size()) - 1];
        std::size_t block = dispatch - late;  // wraps before the open: no block
        if (block < times.size()) {
            blocks.push_back(block_at(times[block]));
            scd::queue_object_data(0, &blocks.back(), sizeof(FlightData));
        } else if (block == times.size() && session < row->sessions.size()) {
            if (row->dispatch_fails)
                scd::dispatch_result = E_FAIL;
            else
                scd::queue_quit();
        } else if (block == times.size() && row->dispatch_fails && !row->wait) {
            scd::dispatch_result = E_FAIL;
        }
        ++dispatch;
    };
    zvscpl_run_loop();

    std::string trace;
    for (std::size_t i = 0; i < scd::calls.size(); ++i) {
        const std::string& call = scd::calls[i];
        if (call == "Open")
            trace += i + 1 < scd::calls.size() && scd::calls[i + 1] == "AddToDataDefinition" ? "O" : "o";
        else if (call == "Close")
            trace += "C";
        else if (call == "F" || call == "S")
            trace += call;
    }
    return trace + " d" + std::to_string(zvscpl_report.dropped) + " t" + std::to_string(scd::transmits.size());
}

TEST(LifeCycle, WaitsOutlivesTheSimulatorAndStartsThePacingAfreshWithEveryConnection)
{
    const std::string connected = "\nConnected to Flight Simulator!\n";
    const std::string waiting = "\nWaiting for Flight Simulator ...";
    const std::string closed = "\nFlight Simulator closed, waiting ...";
    const LifeCase cases[] = {
        {"open fails twice, then succeeds", true, 2, {{10.0, 10.1}}, false, 8000, "ooOFSFC d1 t0",
         waiting + connected},
        {"the simulator quits and comes back: the stream goes on", true, 0, {{10.0, 10.1}, {10.2, 10.3}}, false,
         8000, "OFSFCOFSFC d1 t0", connected + closed + connected},
        {"the new simulator's clock is earlier", true, 0, {{5000.0, 5000.1}, {100.0, 100.1}}, false, 8000,
         "OFSFCOFSFC d1 t0", connected + closed + connected},
        {"dispatches fail for 2 s", true, 0, {{10.0}, {10.0}}, true, 8000, "OFSCOFSC d0 t0",
         connected + closed + connected},
        {"failing dispatches without -w are ignored", false, 0, {{10.0, 10.1}}, true, 5000, "OFSFC d0 t0",
         connected},
        {"a stop while waiting", true, 1000, {{}}, false, 5000, "ooo d1 t0", waiting},
        {"the open message a dispatch late, the new clock earlier: no pass on the old data", true, 0,
         {{5000.0, 5000.1}, {100.0, 100.1}}, false, 8000, "OFSFCOFSFC d1 t0", connected + closed + connected, true},
        {"the clock set back an hour: a pass at once", false, 0, {{5000.0, 5000.1, 1400.0, 1400.1}}, false, 5000,
         "OFSFFSFC d0 t0", connected},
        {"a zeroed record: no pass", false, 0, {{5000.0, 0.0, 0.0, 5000.1}}, false, 5000, "OFSFC d0 t0", connected},
    };
    for (const LifeCase& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EXIT(
            {
                zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
                panel::Client client(0x81060000);
                client.request_stream(kProgramPort);
                testing::internal::CaptureStdout();
                std::string trace = life_cycle(c, client);
                std::string output = testing::internal::GetCapturedStdout();
                std::fprintf(stderr, "trace=[%s] output=[%s]\n", trace.c_str(), output.c_str());
                std::exit(trace == c.trace && output == c.output ? 0 : 1);
            },
            testing::ExitedWithCode(0), "");
    }
}

}  // namespace
