// The simulator connection and main loop against the SimConnect double, and the operator's
// status and failure lines.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/panel_commands.h"
#include "app/pyxplugin.h"
#include "app/report.h"
#include "app/simnotes.h"
#include "cpflight/cpflight.h"
#include "flightdata/flightdata.h"
#include "net/zvmpallow.h"
#include "net/zvmpnet.h"
#include "net/zvmpsocket.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/net.h"
#include "platform/wait.h"
#include "tests/support/panel_client.h"
#include "tests/support/simconnect_double.h"
#include "tests/support/test_socket.h"

namespace {

std::vector<unsigned> sleeps;

class RunLoop : public testing::Test {
protected:
    void SetUp() override
    {
        plat_sleep_ms = [](unsigned ms) { sleeps.push_back(ms); };
    }
};

FlightData block_at(double time)
{
    FlightData d{};
    std::strcpy(d.title, "Test Airliner");
    d.absolute_time = time;
    return d;
}

TEST_F(RunLoop, CallsSimConnectInOrderAndClosesOnQuit)
{
    scd::queue_open();
    scd::queue_quit();
    zvscpl_run_loop();

    std::vector<std::string> expected = {"Open"};
    expected.insert(expected.end(), 83, "AddToDataDefinition");
    expected.insert(expected.end(), 56, "MapEvent");
    expected.insert(expected.end(), {"Subscribe", "CallDispatch", "RequestData", "Close"});
    EXPECT_EQ(scd::calls, expected);

    ASSERT_EQ(scd::opens.size(), 1u);
    EXPECT_EQ(scd::opens[0].name, "Zorvan FS2020 Pyx Plugin");
    EXPECT_EQ(scd::opens[0].hwnd, nullptr);
    EXPECT_EQ(scd::opens[0].user_event, 0u);
    // The event the loop's wait wakes on, where the platform waits on one (Windows).
    EXPECT_EQ(scd::opens[0].event_handle, plat_wait_sim_event());
#ifdef _WIN32
    EXPECT_NE(scd::opens[0].event_handle, nullptr);
#endif
    EXPECT_EQ(scd::opens[0].config_index, 0u);
    ASSERT_EQ(scd::subscriptions.size(), 1u);
    EXPECT_EQ(scd::subscriptions[0].event_id, 0u);
    EXPECT_EQ(scd::subscriptions[0].event_name, "SimStart");
    EXPECT_EQ(hQuit, 1);
    // The quitting iteration still ends with its wait (the double's: a millisecond's sleep).
    EXPECT_EQ(sleeps, std::vector<unsigned>{1});
}

// ---- Waiting for work between passes

struct WaitCall {
    plat_socket_t socket;
    plat_serial_t serial;
    long long timeout_ms;
};
std::vector<WaitCall> waits;
long long loop_ms = 1000;
long long sim_due_ms = -1;
unsigned (*wake)(const PlatWaitSources&) = [](const PlatWaitSources&) { return 0u; };

// Records each wait and lets its time pass on the loop's clock, unless it wakes for a source;
// the quit queued in the fourth wait comes with the fifth dispatch, which the fifth wait follows.
unsigned record_wait(const PlatWaitSources& sources, long long timeout_ms)
{
    waits.push_back({sources.socket, sources.serial, timeout_ms});
    if (waits.size() == 4) scd::queue_quit();
    unsigned woke = wake(sources);
    if (woke == 0) loop_ms += timeout_ms;
    return woke;
}

struct RunLoopWaits : RunLoop {
    void SetUp() override
    {
        RunLoop::SetUp();
        plat_monotonic_ms = [] { return loop_ms; };
        plat_wait.wait = record_wait;
        plat_wait_sim_due_ms = [] { return sim_due_ms < 0 ? -1 : loop_ms + sim_due_ms; };
        scd::queue_open();
    }
};

TEST_F(RunLoopWaits, WaitsAfterEveryDispatchUntilTheNextDueTime)
{
    struct Row {
        long long sim_due_ms;  // ahead of the loop's clock; -1 when the library cannot tell
        long long timeout_ms;
    };
    const Row rows[] = {{-1, 50}, {7, 7}, {0, 0}, {49, 49}, {80, 50}};
    for (const Row& row : rows) {
        sim_due_ms = row.sim_due_ms;
        waits.clear();
        scd::dispatches = 0;
        scd::queue_open();
        zvscpl_run_loop();
        EXPECT_EQ(scd::dispatches, 5) << row.sim_due_ms;
        ASSERT_EQ(waits.size(), 5u);
        for (const WaitCall& w : waits) EXPECT_EQ(w.timeout_ms, row.timeout_ms) << row.sim_due_ms;
        EXPECT_TRUE(sleeps.empty());
    }
}

unsigned woke_by = 0;
int messages_per_wake = 0;  // handed over one per dispatch call, as a library may
int messages_left = 0;

// After the simulator's event the loop dispatches until a call hands over nothing, at most
// ZVSCPL_DISPATCH_ROUNDS calls; after any other wake, once.
TEST_F(RunLoopWaits, AfterTheSimulatorsEventDispatchesUntilNothingIsLeft)
{
    struct Row {
        unsigned woke;
        int messages;
        int dispatches;  // the open's, three wakes, the quit's
    };
    constexpr int cap = static_cast<int>(ZVSCPL_DISPATCH_ROUNDS);
    const Row rows[] = {{0, 3, 5}, {PLAT_WAKE_SOCKET, 3, 5}, {PLAT_WAKE_SIM, 0, 5}, {PLAT_WAKE_SIM, 3, 14},
                        {PLAT_WAKE_SIM | PLAT_WAKE_SOCKET, 1, 8}, {PLAT_WAKE_SIM, 100, 2 + 3 * cap}};
    wake = [](const PlatWaitSources&) {
        messages_left = messages_per_wake;
        return woke_by;
    };
    scd::on_dispatch = [] {
        if (messages_left > 0) {
            --messages_left;
            scd::queue_event(99);
        }
    };
    for (const Row& row : rows) {
        woke_by = row.woke;
        messages_per_wake = row.messages;
        messages_left = 0;
        waits.clear();
        scd::dispatches = 0;
        scd::queue_open();
        zvscpl_run_loop();
        EXPECT_EQ(scd::dispatches, row.dispatches) << row.woke << " " << row.messages;
    }
}

panel::Client* panel_client = nullptr;

TEST_F(RunLoopWaits, ACommandIsCarriedOutOnArrivalWithoutAPass)
{
    zvmp_initialise_network("0.0.0.0", 0, 0x13000000);  // port 59000, the first free one
    zvmp_net_message_received_callback = zvscpl_zvmp_message_callback;
    panel::Client client(0x81060000);
    panel_client = &client;
    // No data block ever comes, so no pass runs; the heading command comes during the first wait.
    wake = [](const PlatWaitSources& sources) -> unsigned {
        if (waits.size() == 1) panel_client->send_float(0x26011603, 270.0f, 59000);
        return tsock::wait_readable(sources.socket, waits.size() == 1 ? 2000 : 0) ? PLAT_WAKE_SOCKET : 0u;
    };
    zvscpl_run_loop();
    ASSERT_EQ(waits.size(), 5u);
    EXPECT_EQ(waits[0].socket, zvmp_net_socket);
    std::vector<DWORD> heading;
    for (const scd::TransmitCall& t : scd::transmits)
        if (t.event_id == EVT_HEADING_BUG_SET) heading.push_back(t.data);
    EXPECT_EQ(heading, std::vector<DWORD>{270});
    EXPECT_EQ(std::count(scd::calls.begin(), scd::calls.end(), "RequestData"), 1);  // the open's only
}

// A read on arrival that spends its budget leaves the socket out of the wait for a pause, so a
// flood neither spins the loop nor takes it over; the rest is read once the pause is over.
TEST_F(RunLoopWaits, AReadThatSpendsItsBudgetPausesTheSocket)
{
    zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
    panel::Client client(0x81060000);
    // Hellos and one-byte datagrams, which are refused but count against the budget all the same.
    plat_socket_t junk = plat_net.udp_socket();
    sockaddr_in program{};
    program.sin_family = AF_INET;
    program.sin_addr.s_addr = plat_inet_addr("127.0.0.1");
    program.sin_port = htons(59000);
    for (unsigned i = 0; i < ZVSCPL_ARRIVAL_BUDGET + 10; ++i) {
        if (i % 2 == 0)
            client.hello(59000);
        else
            plat_net.send_to(junk, "x", 1, &program);
    }
    tsock::wait_readable(zvmp_net_socket);
    wake = [](const PlatWaitSources& sources) -> unsigned {
        return sources.socket != PLAT_INVALID_SOCKET && tsock::wait_readable(sources.socket, 0) ? PLAT_WAKE_SOCKET
                                                                                              : 0u;
    };
    zvscpl_run_loop();
    ASSERT_EQ(waits.size(), 5u);
    EXPECT_EQ(waits[0].socket, zvmp_net_socket);  // woke: a whole budget read
    EXPECT_EQ(waits[1].socket, PLAT_INVALID_SOCKET);
    EXPECT_EQ(waits[1].timeout_ms, ZVSCPL_ARRIVAL_PAUSE_MS);
    EXPECT_EQ(waits[2].socket, zvmp_net_socket);  // woke: the last ten
    EXPECT_EQ(waits[3].socket, zvmp_net_socket);  // nothing left: a full wait
    EXPECT_EQ(waits[3].timeout_ms, ZVSCPL_LONGEST_WAIT_MS);
    EXPECT_EQ(zvmp_net_state.packets_refused, (ZVSCPL_ARRIVAL_BUDGET + 10) / 2);
    plat_net.close(junk);
}

int unit_closes = 0;
int unit_writes = 0;

// A CPFlight unit whose port the wait reports gone (with -w): closed without a word to it, and
// left out of the waits that follow.
TEST_F(RunLoopWaits, AUnitTheWaitFindsGoneIsClosedAndLeftOut)
{
#ifdef _WIN32
    const plat_serial_t port = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(7));
#else
    const plat_serial_t port = 7;
#endif
    plat_serial.close = [](plat_serial_t) { ++unit_closes; };
    plat_serial.write = [](plat_serial_t, const void*, std::size_t) -> long { return ++unit_writes, -1; };
    zvxpl_cpflight_enabled = 1;
    zvpyxcpf_state.reopen_lost = 1;
    zvpyxcpf_fd = port;  // open and started
    wake = [](const PlatWaitSources& sources) {
        return sources.serial != PLAT_INVALID_SERIAL ? PLAT_WAKE_SERIAL_GONE : 0u;
    };
    testing::internal::CaptureStdout();
    zvscpl_run_loop();
    EXPECT_NE(testing::internal::GetCapturedStdout().find(" went away, waiting for it ..."), std::string::npos);
    ASSERT_EQ(waits.size(), 5u);
    EXPECT_EQ(waits[0].serial, port);
    EXPECT_EQ(waits[1].serial, PLAT_INVALID_SERIAL);
    EXPECT_EQ(unit_closes, 1);
    EXPECT_EQ(unit_writes, 0);
    EXPECT_TRUE(zvpyxcpf_lost());
}

TEST_F(RunLoop, FailedOpenReturnsAtOnceWithoutMessage)
{
    scd::open_result = E_FAIL;
    testing::internal::CaptureStdout();
    zvscpl_run_loop();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(scd::calls, std::vector<std::string>{"Open"});
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(RunLoop, OpenSucceedsForAnyNonNegativeResult)
{
    scd::open_result = 1;  // S_FALSE
    scd::queue_quit();
    testing::internal::CaptureStdout();
    zvscpl_run_loop();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nConnected to Flight Simulator!\n");
    EXPECT_EQ(scd::closes, 1);
}

TEST_F(RunLoop, RequestsDataOnOpenAndEverySimStart)
{
    FlightData d = block_at(100.0);
    scd::on_dispatch = [&] {
        switch (scd::dispatches) {
        case 1: scd::queue_open(); break;
        case 2: scd::queue_object_data(0, &d, sizeof d); break;
        case 3:
            EXPECT_EQ(zvpyxpl_fd_data_get_time(), 100.0);
            scd::queue_event(7);  // not the SimStart subscription: nothing
            break;
        case 4:
            EXPECT_EQ(scd::requests.size(), 1u);
            EXPECT_EQ(zvpyxpl_fd_data_get_time(), 100.0);
            scd::queue_event(0);
            break;
        case 5:
            // The request cleared the record until the next block arrives.
            EXPECT_EQ(zvpyxpl_fd_data_get_time(), 0.0);
            scd::queue_event(0);
            scd::queue_quit();
            break;
        }
    };
    zvscpl_run_loop();
    ASSERT_EQ(scd::requests.size(), 3u);
    for (const auto& r : scd::requests) {
        EXPECT_EQ(r.request_id, 0u);
        EXPECT_EQ(r.define_id, 0u);
        EXPECT_EQ(r.object_id, SIMCONNECT_OBJECT_ID_USER);
        EXPECT_EQ(r.period, SIMCONNECT_PERIOD_VISUAL_FRAME);
        EXPECT_EQ(r.flags, 0u);
        EXPECT_EQ(r.origin, 0u);
        EXPECT_EQ(r.interval, 0u);
        EXPECT_EQ(r.limit, 0u);
    }
}

TEST(Dispatch, AcceptsOnlyWholeBlocksOfRequestZeroWithATerminatedTitle)
{
    constexpr DWORD header = SIMOBJECT_DATA_HEADER_SIZE;
    FlightData unterminated = block_at(3.0);
    std::memset(unterminated.title, 'A', sizeof unterminated.title);
    FlightData terminated_last = block_at(4.0);
    std::memset(terminated_last.title, 'A', sizeof terminated_last.title);
    terminated_last.title[255] = '\0';
    FlightData good = block_at(5.0);
    FlightData other = block_at(6.0);

    struct Case {
        const char* title;
        DWORD request_id;
        const FlightData* block;
        DWORD cb;
        double time_after;
    };
    const Case cases[] = {
        {"other request id", 1, &other, header + 760, 1.0},
        {"short by one byte", 0, &other, header + 759, 1.0},
        {"header only", 0, &other, header, 1.0},
        {"shorter than the header", 0, &other, header - 4, 1.0},
        {"shorter than any message", 0, &other, 8, 1.0},
        {"title without terminator", 0, &unterminated, header + 760, 1.0},
        {"title terminated in its last byte", 0, &terminated_last, header + 760, 4.0},
        {"whole block", 0, &good, header + 760, 5.0},
        {"longer message than the record", 0, &good, header + 800, 5.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        FlightData base = block_at(1.0);
        zvpyxpl_fd_refresh_data(&base);
        scd::queue_object_data(c.request_id, c.block, sizeof(FlightData), c.cb);
        SimConnect_CallDispatch(nullptr, zvscpl_dispatch_proc, nullptr);
        EXPECT_EQ(zvpyxpl_fd_data_get_time(), c.time_after);
    }
}

TEST(Dispatch, ABlockReplacesTheWholeRecord)
{
    FlightData first = block_at(10.0);
    first.plane_latitude = 47.5;
    first.com_active_frequency_1 = 118100000;
    zvpyxpl_fd_refresh_data(&first);

    FlightData second{};
    second.absolute_time = 11.0;
    scd::queue_object_data(0, &second, sizeof second);
    SimConnect_CallDispatch(nullptr, zvscpl_dispatch_proc, nullptr);
    EXPECT_EQ(fdata.absolute_time, 11.0);
    EXPECT_EQ(fdata.plane_latitude, 0.0);
    EXPECT_EQ(fdata.com_active_frequency_1, 0);
}

TEST(Dispatch, DiagnosticsPrintWhileVerboseIsNonZero)
{
    // This connection's requests, numbered as the double numbers them.
    hSimConnect = scd::handle;
    scd::last_send_id = 1;
    zvpyxpl_fd_add_definitions();
    zvpyxpl_fd_transmit(EVT_ADF_COMPLETE_SET, 0x03500000);
    const DWORD transmission = scd::last_send_id;
    DWORD adf_variable = 0, title = 0;
    for (const scd::DefinitionCall& d : scd::definitions) {
        if (d.datum_name == "ADF ACTIVE FREQUENCY:1") adf_variable = d.send_id;
        if (d.datum_name == "TITLE") title = d.send_id;
    }
    SIMCONNECT_RECV_OPEN open{};
    open.dwSize = sizeof open;
    open.dwID = SIMCONNECT_RECV_ID_OPEN;
    std::strcpy(open.szApplicationName, "KittyHawk\x1b");
    open.dwApplicationVersionMajor = 11;
    open.dwApplicationBuildMajor = 282174;
    open.dwApplicationBuildMinor = 999;
    open.dwSimConnectVersionMajor = 11;
    FlightData block = block_at(1.0);

    const std::string exceptions =
        "Received exception 7 for " + std::to_string(adf_variable) + "/3\n" +
        "Flight Simulator refused variable \"ADF ACTIVE FREQUENCY:1\" (Number): NAME_UNRECOGNIZED\n" +
        "Received exception 7 for " + std::to_string(adf_variable) + "/3\n" +  // the same cause within 10 s
        "Received exception 3 for " + std::to_string(transmission) + "/2\n" +
        "Flight Simulator refused event \"ADF_COMPLETE_SET\": UNRECOGNIZED_ID\n" +
        "Received exception 99 for " + std::to_string(title) + "/1\n" +
        "Flight Simulator refused variable \"TITLE\": exception 99\n" +
        "Received exception 7 for 0/1\nReceived exception 7 for 9999/1\n";  // send ids of nothing sent
    const std::string events = "\nReceived Event:0\nReceived Event:9\nReceived Event:5";
    const std::string short_block =
        "\nFlight Simulator sends 752-byte data blocks where 760 are expected: panels receive no flight data";
    struct Case {
        int verbose;
        std::string expected;
    };
    const Case cases[] = {
        {2, "\nFlight Simulator: KittyHawk? 11.0 build 282174.999, SimConnect 11.0" + exceptions + events + short_block},
        {1, exceptions + events + short_block},
        {-1, exceptions + events + short_block},
        {0, short_block},  // said at every verbosity, once per connection
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.verbose);
        verbose = c.verbose;
        zvscpl_report = ZvscplReport{};
        zvscpl_notes = ZvscplNotes{};
        scd::queue_raw(&open, sizeof open, sizeof open);
        scd::queue_exception(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, adf_variable, 3);
        scd::queue_exception(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, adf_variable, 3);
        scd::queue_exception(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, transmission, 2);
        scd::queue_exception(99, title, 1);
        scd::queue_exception(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 0, 1);
        scd::queue_exception(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 9999, 1);
        scd::queue_id(SIMCONNECT_RECV_ID_NULL);
        scd::queue_id(9);
        scd::queue_id(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
        scd::queue_object_data(0, &block, 752);
        scd::queue_object_data(0, &block, 752);
        testing::internal::CaptureStdout();
        SimConnect_CallDispatch(nullptr, zvscpl_dispatch_proc, nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.expected);
    }
}

TEST(Dispatch, TruncatedRecordsAreIgnored)
{
    verbose = 1;
    SIMCONNECT_RECV_EXCEPTION ex{};
    ex.dwID = SIMCONNECT_RECV_ID_EXCEPTION;
    SIMCONNECT_RECV_EVENT ev{};
    ev.dwID = SIMCONNECT_RECV_ID_EVENT;
    SIMCONNECT_RECV quit{};
    quit.dwID = SIMCONNECT_RECV_ID_QUIT;
    scd::queue_raw(&ex, sizeof ex, sizeof ex - 4);
    scd::queue_raw(&ev, sizeof ev, sizeof ev - 4);
    scd::queue_raw(&quit, sizeof quit, 4);
    testing::internal::CaptureStdout();
    SimConnect_CallDispatch(nullptr, zvscpl_dispatch_proc, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(scd::requests.empty());
    EXPECT_EQ(hQuit, 0);
}

// ---- Status and failure lines (-v)

long long report_ms = 0;

TEST(Report, StatusLineEveryTenSecondsWithCountsSinceTheLineBefore)
{
#ifdef _WIN32
    _putenv_s("TZ", "UTC0");
    _tzset();
#else
    setenv("TZ", "UTC0", 1);
    tzset();
#endif
    plat_time = [] { return 1700000000LL + report_ms / 1000; };  // 22:13:20 UTC
    plat_monotonic_ms = [] { return report_ms; };
    verbose = 2;
    zvmp_add_peer_target("10.0.0.5", 2424, 0x81060000);  // permanent
    zvmp_add_target_to_list("10.0.0.6", 50000, &zvmp_net_peer_list, ZvmpLifetime::learned, 0x84060000);
    zvmp_add_target_to_list("10.0.0.7", 50001, &zvmp_net_peer_list, ZvmpLifetime::learned, 0x81060000);
    for (zvmp_net_tgt_list_s* e = zvmp_peer_list(); e != nullptr; e = e->next)
        if (e->sa.sin_port != htons(50001)) e->flags |= ZVMP_TGT_STREAMING;
    zvxpl_cpflight_enabled = 1;

    testing::internal::CaptureStdout();
    zvscpl_report_status(true);  // the period starts
    zvmp_net_state.packets_sent += 215;
    zvmp_net_state.packets_refused += 3;
    zvmp_allow_state.refused += 2;  // senders turned away count too
    zvscpl_report.commands += 25;
    for (long long ms : {9999, 10000}) {
        report_ms = ms;
        zvscpl_report_status(true);
    }
    zvscpl_report.dropped += 4;
    zvmp_net_state.packets_sent += 100;
    report_ms = 30000;  // a late line counts per second over its whole period
    zvscpl_report_status(false);
    verbose = 1;
    report_ms = 45000;
    zvscpl_report_status(false);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nstatus 22:13:30 sim=connected peers=3 permanent=1 streaming_full=1 streaming_position=1 sent_per_s=21 "
              "commands_per_s=2 dropped=0 refused=5 cpflight=closed"
              "\nstatus 22:13:50 sim=waiting peers=3 permanent=1 streaming_full=1 streaming_position=1 sent_per_s=5 "
              "commands_per_s=0 dropped=4 refused=0 cpflight=closed");
}

TEST(Report, AFailureLineWithItsReasonAtMostOncePerTenSecondsFromVerboseTwo)
{
    plat_monotonic_ms = [] { return report_ms; };
    zvmp_net_failure_callback = zvscpl_report_failure;
    plat_net.last_error = [] { return EADDRINUSE; };
    plat_net.startup = [] { return true; };
    plat_net.tcp_socket = [] { return plat_socket_t{7}; };
    plat_net.bind = [](plat_socket_t, std::uint32_t, unsigned int) { return -1; };
    plat_net.close = [](plat_socket_t) {};
    char reason[256];
    plat_error_text(EADDRINUSE, reason, sizeof reason);
    const std::string line = "\nno free TCP port in 59000-59999: " + std::string(reason);

    testing::internal::CaptureStdout();
    ZvmpOpenAttempts attempts;
    plat_time = [] { return report_ms / 1000 + 1; };  // one attempt a second
    // Below -v nothing; then the same cause within 10 s of its line, and after.
    for (auto [v, ms] : {std::pair{1, 0LL}, {2, 1000LL}, {2, 10999LL}, {2, 11000LL}}) {
        verbose = v;
        report_ms = ms;
        zvmp_open_socket(attempts, ZvmpSocketKind::Tcp, "0.0.0.0", 0);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), line + line);
}

}  // namespace
