// The simulator's SimConnect protocol: open and start messages, exceptions, frame delivery and
// coalescing, the event signalled for the client, the simulator's date, request periods, and the
// restart on SIGUSR1.
#include <csignal>
#include <functional>

#include <gtest/gtest.h>

#include "platform/wait.h"
#include "tests/sim/sim_client.h"

namespace {

using simtest::at;
using simtest::Client;

constexpr DWORD EXCEPTION = SIMCONNECT_RECV_ID_EXCEPTION;
constexpr DWORD OPEN = SIMCONNECT_RECV_ID_OPEN;
constexpr DWORD QUIT = SIMCONNECT_RECV_ID_QUIT;
constexpr DWORD EVENT = SIMCONNECT_RECV_ID_EVENT;
constexpr DWORD DATA = SIMCONNECT_RECV_ID_SIMOBJECT_DATA;

void define_time(Client& c, DWORD definition = 1)
{
    SimConnect_AddToDataDefinition(c.handle, definition, "ABSOLUTE TIME", "Seconds");
}

void request(Client& c, DWORD id, SIMCONNECT_PERIOD period, DWORD flags = 0, DWORD definition = 1)
{
    SimConnect_RequestDataOnSimObject(c.handle, id, definition, SIMCONNECT_OBJECT_ID_USER, period, flags);
}

TEST(SimConnectProtocol, OpenMessageFirstThenSimStartOnceWithTheClientsEventId)
{
    Client c;
    SimConnect_SubscribeToSystemEvent(c.handle, 0, "SimStart");
    ASSERT_EQ(c.dispatch(), S_OK);
    ASSERT_EQ(c.ids(), (std::vector<DWORD>{OPEN, EVENT}));
    EXPECT_EQ(at<DWORD>(c.messages[0], 0), sizeof(SIMCONNECT_RECV_OPEN));
    EXPECT_EQ(at<DWORD>(c.messages[1], 0), sizeof(SIMCONNECT_RECV_EVENT));
    EXPECT_EQ(at<DWORD>(c.messages[1], 12), static_cast<DWORD>(SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP));
    EXPECT_EQ(at<DWORD>(c.messages[1], 16), 0u);

    for (int i = 0; i < 60; ++i) c.frame();
    EXPECT_EQ(c.count(EVENT), 0);
}

struct ExceptionCase {
    const char* what;
    std::function<void(HANDLE)> call;
    int calls;  // requests made, the last one failing: its send id is 1 + calls
    DWORD exception;
    DWORD index;
};

TEST(SimConnectProtocol, RejectedRequestsAnswerWithTheExceptionSendIdAndParameterIndex)
{
    constexpr DWORD NAME = SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED;
    constexpr DWORD ID = SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID;
    constexpr DWORD TYPE = SIMCONNECT_EXCEPTION_INVALID_DATA_TYPE;
    auto add = [](const char* name, const char* units, SIMCONNECT_DATATYPE type = SIMCONNECT_DATATYPE_FLOAT64) {
        return [=](HANDLE h) { SimConnect_AddToDataDefinition(h, 1, name, units, type); };
    };
    auto add_then_request = [](DWORD def, DWORD object, int period, DWORD flags) {
        return [=](HANDLE h) {
            SimConnect_AddToDataDefinition(h, 1, "PLANE ALTITUDE", "Feet");
            SimConnect_RequestDataOnSimObject(h, 1, def, object, static_cast<SIMCONNECT_PERIOD>(period), flags);
        };
    };
    const ExceptionCase cases[] = {
        {"unknown variable", add("PLANE ALTITUDE FOO", "Feet"), 1, NAME, 2},
        {"null variable name", add(nullptr, "Feet"), 1, NAME, 2},
        {"unknown units", add("PLANE ALTITUDE", "Furlongs"), 1, NAME, 3},
        {"units of another quantity", add("PLANE ALTITUDE", "Knots"), 1, NAME, 3},
        {"no units for a number", add("PLANE ALTITUDE", nullptr), 1, NAME, 3},
        {"invalid data type", add("PLANE ALTITUDE", "Feet", SIMCONNECT_DATATYPE_INVALID), 1, TYPE, 4},
        {"variable-length text", add("TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV), 1, TYPE, 4},
        {"type beyond the enumeration", add("TITLE", nullptr, static_cast<SIMCONNECT_DATATYPE>(15)), 1, TYPE, 4},
        {"text type for a number", add("PLANE ALTITUDE", "Feet", SIMCONNECT_DATATYPE_STRING8), 1, TYPE, 4},
        {"number type for text", add("TITLE", nullptr, SIMCONNECT_DATATYPE_INT32), 1, TYPE, 4},
        {"unknown event", [](HANDLE h) { SimConnect_MapClientEventToSimEvent(h, 5, "HEADING_BUG_SETX"); }, 1, NAME, 2},
        {"event id mapped twice",
         [](HANDLE h) {
             SimConnect_MapClientEventToSimEvent(h, 5, "AUTOPILOT_ON");
             SimConnect_MapClientEventToSimEvent(h, 5, "AUTOPILOT_OFF");
         },
         2, SIMCONNECT_EXCEPTION_EVENT_ID_DUPLICATE, 1},
        {"unknown system event", [](HANDLE h) { SimConnect_SubscribeToSystemEvent(h, 3, "SimStartt"); }, 1, NAME, 2},
        {"request of an unknown definition", add_then_request(2, 0, SIMCONNECT_PERIOD_ONCE, 0), 2, ID, 2},
        {"request for another object", add_then_request(1, 7, SIMCONNECT_PERIOD_ONCE, 0), 2, ID, 3},
        {"request with an unknown period", add_then_request(1, 0, 6, 0), 2, SIMCONNECT_EXCEPTION_INVALID_ENUM, 4},
        {"tagged request", add_then_request(1, 0, SIMCONNECT_PERIOD_ONCE, SIMCONNECT_DATA_REQUEST_FLAG_TAGGED), 2,
         SIMCONNECT_EXCEPTION_ERROR, 5},
        {"transmit of an unmapped event",
         [](HANDLE h) { SimConnect_TransmitClientEvent(h, 0, 42, 0, SIMCONNECT_GROUP_PRIORITY_HIGHEST, 16); }, 1, ID,
         2},
        {"transmit to another object",
         [](HANDLE h) {
             SimConnect_MapClientEventToSimEvent(h, 5, "AUTOPILOT_ON");
             SimConnect_TransmitClientEvent(h, 9, 5, 0, SIMCONNECT_GROUP_PRIORITY_HIGHEST, 16);
         },
         2, ID, 1},
    };
    for (const ExceptionCase& tc : cases) {
        SCOPED_TRACE(tc.what);
        Client c;
        tc.call(c.handle);
        c.dispatch();
        ASSERT_EQ(c.ids(), (std::vector<DWORD>{OPEN, EXCEPTION}));
        const simtest::Bytes& m = c.messages[1];
        EXPECT_EQ(at<DWORD>(m, 0), sizeof(SIMCONNECT_RECV_EXCEPTION));
        EXPECT_EQ(at<DWORD>(m, 12), tc.exception);
        EXPECT_EQ(at<DWORD>(m, 16), static_cast<DWORD>(1 + tc.calls));
        EXPECT_EQ(at<DWORD>(m, 20), tc.index);
        DWORD last_sent = 0;  // the failing request is always the last one
        EXPECT_EQ(SimConnect_GetLastSentPacketID(c.handle, &last_sent), S_OK);
        EXPECT_EQ(last_sent, static_cast<DWORD>(1 + tc.calls));
        SimConnect_Close(c.handle);
        c.handle = nullptr;
    }
}

TEST(SimConnectProtocol, AcceptedRequestsRaiseNoException)
{
    Client c;
    SimConnect_AddToDataDefinition(c.handle, 1, "plane altitude", "FEET");  // names ignore case
    SimConnect_AddToDataDefinition(c.handle, 1, "TITLE", "anything", SIMCONNECT_DATATYPE_STRING32);
    SimConnect_MapClientEventToSimEvent(c.handle, 1, "autopilot_on");
    SimConnect_MapClientEventToSimEvent(c.handle, 2, "My.Custom.Event");  // a client's own events
    SimConnect_MapClientEventToSimEvent(c.handle, 3, "");
    SimConnect_MapClientEventToSimEvent(c.handle, 4, nullptr);
    SimConnect_TransmitClientEvent(c.handle, 0, 2, 5, SIMCONNECT_GROUP_PRIORITY_HIGHEST, 16);
    SimConnect_SubscribeToSystemEvent(c.handle, 9, "1sec");
    request(c, 1, SIMCONNECT_PERIOD_ONCE, SIMCONNECT_DATA_REQUEST_FLAG_CHANGED);
    request(c, 2, SIMCONNECT_PERIOD_NEVER);
    c.dispatch();
    EXPECT_EQ(c.ids(), (std::vector<DWORD>{OPEN, DATA}));
}

TEST(SimConnectProtocol, CallsOutsideAnOpenConnectionFailWithoutEffect)
{
    HANDLE h = nullptr;
    EXPECT_EQ(SimConnect_Open(nullptr, "x", nullptr, 0, nullptr, 0), E_FAIL);
    EXPECT_EQ(SimConnect_CallDispatch(h, [](SIMCONNECT_RECV*, DWORD, void*) {}, nullptr), E_FAIL);
    EXPECT_EQ(SimConnect_AddToDataDefinition(h, 0, "PLANE ALTITUDE", "Feet"), E_FAIL);
    EXPECT_EQ(SimConnect_Close(h), E_FAIL);

    Client c;
    HANDLE second = &c;
    EXPECT_EQ(SimConnect_Open(&second, "again", nullptr, 0, nullptr, 0), E_FAIL);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(SimConnect_CallDispatch(c.handle, nullptr, nullptr), E_FAIL);
    EXPECT_EQ(SimConnect_TransmitClientEvent(&c, 0, 1, 0, 1, 16), E_FAIL);
    EXPECT_EQ(SimConnect_Close(c.handle), S_OK);
    EXPECT_EQ(SimConnect_Close(c.handle), E_FAIL);
    c.handle = nullptr;

    Client reopened;
    reopened.dispatch();
    EXPECT_EQ(reopened.ids(), std::vector<DWORD>{OPEN});
}

TEST(SimConnectProtocol, FramesFallDueOnTheFrameRateAndLateOnesCoalesce)
{
    Client c;
    define_time(c);
    request(c, 4, SIMCONNECT_PERIOD_VISUAL_FRAME);
    c.dispatch();
    EXPECT_EQ(c.count(DATA), 1);  // a new request is served at once
    const double first = at<double>(c.block(4), 0);
    EXPECT_DOUBLE_EQ(first, 62135596800.0 + simtest::START);

    for (int i = 0; i < 10; ++i) c.dispatch();  // no time has passed
    EXPECT_EQ(c.count(DATA), 0);

    // One wall-clock second in 1 ms dispatches brings one block per frame.
    int blocks = 0;
    for (int ms = 0; ms < 1000; ++ms) {
        simtest::elapsed += 0.001;
        c.dispatch();
        blocks += c.count(DATA);
    }
    EXPECT_EQ(blocks, ZVSIM_FRAMES_PER_SECOND);

    // A client that was away for ten frames gets one block, of the latest frame.
    c.frame(10);
    ASSERT_EQ(c.count(DATA), 1);
    EXPECT_NEAR(at<double>(c.block(4), 0) - first, 1.0 + 10.0 / ZVSIM_FRAMES_PER_SECOND, 1e-4);

    // A clock that goes back delivers nothing until it has caught up.
    simtest::elapsed -= 5.0;
    c.dispatch();
    EXPECT_EQ(c.count(DATA), 0);
}

// Where the platform waits on an event (Windows), the simulator signals the one given at open
// when messages wait and at every frame on the system's clock, and stops at the close.
TEST(SimConnectProtocol, AnEventGivenAtOpenIsSignalledForMessagesAndEveryFrame)
{
    void* event = plat_wait_sim_event();
    if (event == nullptr) GTEST_SKIP() << "this platform waits on no simulator event";
    const PlatWaitSources none;
    {
        Client c(event, zvsim_os_clock);
        EXPECT_EQ(plat_wait.wait(none, 0), PLAT_WAKE_SIM);  // the open message waits
        c.dispatch();
        EXPECT_EQ(c.ids(), std::vector<DWORD>{OPEN});
        define_time(c);
        request(c, 4, SIMCONNECT_PERIOD_VISUAL_FRAME);
        int blocks = 0;
        for (int i = 0; i < 12; ++i) {
            EXPECT_EQ(plat_wait.wait(none, 1000), PLAT_WAKE_SIM) << i;
            c.dispatch();
            blocks += c.count(DATA);
        }
        // A signal that comes a hair before its frame on the simulator's clock finds the frame
        // at the next one.
        EXPECT_GE(blocks, 10);
    }
    plat_wait.wait(none, 0);
    EXPECT_EQ(plat_wait.wait(none, 100), 0u);
}

TEST(SimConnectProtocol, AbsoluteTimeCountsSecondsSinceTheYearOneFromTheClock)
{
    simtest::date = 1717243200.0;  // 2024-06-01 12:00 UTC
    Client c;
    define_time(c);
    request(c, 1, SIMCONNECT_PERIOD_VISUAL_FRAME);
    c.dispatch();
    const double t0 = at<double>(c.block(1), 0);
    EXPECT_DOUBLE_EQ(t0, 63852840000.0);
    c.frame(3 * ZVSIM_FRAMES_PER_SECOND / 2);
    EXPECT_NEAR(at<double>(c.block(1), 0) - t0, 1.5, 1e-4);
    simtest::elapsed += 7200.0;  // a pause of two hours
    c.dispatch();
    EXPECT_NEAR(at<double>(c.block(1), 0) - t0, 7201.5, 1e-4);
}

TEST(SimConnectProtocol, RequestPeriodsAndFlags)
{
    Client c;
    define_time(c, 1);
    SimConnect_AddToDataDefinition(c.handle, 2, "DESIGN SPEED VS0", "Knots");  // never changes
    request(c, 1, SIMCONNECT_PERIOD_ONCE);
    request(c, 2, SIMCONNECT_PERIOD_SECOND);
    request(c, 3, SIMCONNECT_PERIOD_VISUAL_FRAME, SIMCONNECT_DATA_REQUEST_FLAG_CHANGED, 2);
    // Every third frame, three times.
    SimConnect_RequestDataOnSimObject(c.handle, 4, 1, 0, SIMCONNECT_PERIOD_VISUAL_FRAME, 0, 0, 2, 3);
    request(c, 5, SIMCONNECT_PERIOD_VISUAL_FRAME);

    std::vector<int> sent(6);
    auto count = [&] {
        for (const simtest::Bytes& m : c.messages)
            if (at<DWORD>(m, 8) == DATA) ++sent[at<DWORD>(m, 12)];
    };
    c.dispatch();
    count();
    // Two seconds less one frame; the every-frame request stops after its first second.
    for (int i = 0; i < 2 * ZVSIM_FRAMES_PER_SECOND - 1; ++i) {
        if (i == ZVSIM_FRAMES_PER_SECOND - 1) request(c, 5, SIMCONNECT_PERIOD_NEVER);
        c.frame();
        count();
    }
    EXPECT_EQ(sent[1], 1);   // once
    EXPECT_EQ(sent[2], 2);   // at 0 s and 1 s
    EXPECT_EQ(sent[3], 1);   // only when the block changes
    EXPECT_EQ(sent[4], 3);   // frames 0, 3, 6
    EXPECT_EQ(sent[5], ZVSIM_FRAMES_PER_SECOND);  // until stopped
}

TEST(SimConnectProtocol, PeriodicSystemEventsFollowTheSimulatorClock)
{
    Client c;
    SimConnect_SubscribeToSystemEvent(c.handle, 1, "1sec");
    SimConnect_SubscribeToSystemEvent(c.handle, 2, "6Hz");
    int ones = 0, sixes = 0;
    for (int i = 0; i < 2 * ZVSIM_FRAMES_PER_SECOND; ++i) {
        c.frame();
        for (const simtest::Bytes& m : c.messages)
            if (at<DWORD>(m, 8) == EVENT) (at<DWORD>(m, 16) == 1 ? ones : sixes)++;
    }
    EXPECT_EQ(ones, 2);
    EXPECT_EQ(sixes, 12);
}

#ifdef SIGUSR1  // POSIX only
TEST(SimConnectProtocol, SigusrTwoSetsTheClockBackAnHourAndTheFlightGoesOn)
{
    Client c;
    define_time(c);
    request(c, 1, SIMCONNECT_PERIOD_VISUAL_FRAME);
    c.frame();
    const double before = at<double>(c.block(1), 0);
    std::raise(SIGUSR2);
    c.frame();
    EXPECT_EQ(c.ids(), std::vector<DWORD>{DATA});
    EXPECT_NEAR(at<double>(c.block(1), 0), before - 3600.0 + 1.0 / ZVSIM_FRAMES_PER_SECOND, 1e-6);
    c.frame();
    EXPECT_NEAR(at<double>(c.block(1), 0), before - 3600.0 + 2.0 / ZVSIM_FRAMES_PER_SECOND, 1e-6);
}

TEST(SimConnectProtocol, SigusrOneRestartsWithQuitTwoSecondsRefusedThenAnEarlierFreshWorld)
{
    Client c;
    SimConnect_SubscribeToSystemEvent(c.handle, 6, "SimStop");
    define_time(c);
    SimConnect_AddToDataDefinition(c.handle, 1, "PLANE HEADING DEGREES TRUE", "Degrees");
    request(c, 1, SIMCONNECT_PERIOD_VISUAL_FRAME);
    c.dispatch();
    c.send("HEADING_BUG_SET", 180);
    c.send("AP_MASTER");
    c.send("AP_HDG_HOLD");
    c.frame(30 * ZVSIM_FRAMES_PER_SECOND);  // turning toward 180
    const double time_before = at<double>(c.block(1), 0);
    const double heading_before = at<double>(c.block(1), 8);

    std::raise(SIGUSR1);
    c.frame();
    EXPECT_EQ(c.ids(), (std::vector<DWORD>{EVENT, QUIT}));  // the simulation stops, then quits
    EXPECT_EQ(c.frame(), E_FAIL);
    SimConnect_Close(c.handle);
    c.handle = nullptr;

    HANDLE h = nullptr;
    simtest::elapsed += 1.9;
    EXPECT_EQ(SimConnect_Open(&h, "test", nullptr, 0, nullptr, 0), E_FAIL);
    EXPECT_EQ(h, nullptr);
    simtest::elapsed += 0.2;
    Client again;
    define_time(again);
    SimConnect_AddToDataDefinition(again.handle, 1, "PLANE HEADING DEGREES TRUE", "Degrees");
    request(again, 1, SIMCONNECT_PERIOD_VISUAL_FRAME);
    again.dispatch();
    ASSERT_FALSE(again.block(1).empty());
    // A fresh world: the start heading again, and a clock an hour behind the old one.
    EXPECT_NE(at<double>(again.block(1), 8), heading_before);
    EXPECT_NEAR(at<double>(again.block(1), 0), time_before + 2.1 - 3600.0, 0.1);
}
#endif

TEST(SimConnectProtocol, TheDispatchProcedureMayRequestAndClose)
{
    // The program's own pattern: request data when the open message arrives.
    struct State {
        HANDLE h;
        std::vector<DWORD> ids;
        bool close_on_data;
    } state{nullptr, {}, false};
    auto proc = [](SIMCONNECT_RECV* m, DWORD, void* context) {
        auto* s = static_cast<State*>(context);
        s->ids.push_back(m->dwID);
        if (m->dwID == OPEN) SimConnect_RequestDataOnSimObject(s->h, 1, 1, 0, SIMCONNECT_PERIOD_VISUAL_FRAME);
        if (m->dwID == DATA && s->close_on_data) SimConnect_Close(s->h);
    };
    simtest::Client c;
    state.h = c.handle;
    define_time(c);
    SimConnect_CallDispatch(c.handle, proc, &state);
    EXPECT_EQ(state.ids, (std::vector<DWORD>{OPEN, DATA}));

    state.close_on_data = true;
    simtest::elapsed += 1.0;
    EXPECT_EQ(SimConnect_CallDispatch(c.handle, proc, &state), S_OK);
    EXPECT_EQ(SimConnect_CallDispatch(c.handle, proc, &state), E_FAIL);  // closed
    c.handle = nullptr;
    simtest::Client again;
    again.dispatch();
    EXPECT_EQ(again.ids(), std::vector<DWORD>{OPEN});
}

TEST(SimConnectProtocol, WritesNothingOnStandardOutput)
{
    testing::internal::CaptureStdout();
    {
        Client c;
        SimConnect_AddToDataDefinition(c.handle, 1, "NO SUCH VARIABLE", "Feet");
        define_time(c);
        request(c, 1, SIMCONNECT_PERIOD_VISUAL_FRAME);
        c.send("AUTOPILOT_ON");
        for (int i = 0; i < 30; ++i) c.frame();
#ifdef SIGUSR1
        std::raise(SIGUSR1);
#endif
        c.frame();
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
