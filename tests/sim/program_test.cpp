// The program's main loop on the built-in simulator: it connects, waits for each frame as the
// simulator says it falls due, takes a block every frame, and a SIGTERM ends it through the
// program's stop flag. Time moves only in the waits, on one clock for the loop and the simulator.
#include <cmath>
#include <csignal>
#include <string>

#include <gtest/gtest.h>

#include "app/pyxplugin.h"
#include "flightdata/flightdata.h"
#include "platform/clock.h"
#include "platform/signals.h"
#include "platform/wait.h"
#include "tests/sim/sim_client.h"

namespace {

int waits = 0;
int long_waits = 0;  // waits of more than a frame
int blocks = 0;
double last_time = 0.0;

// Windows has no signal to raise for a stop: its console events come on a thread of their own,
// and the runs of the program under Wine show them.
void stop_request()
{
#ifdef _WIN32
    zvscpl_state.stop = 1;
#else
    std::raise(SIGTERM);
#endif
}

// Each wait lets its whole time pass on the simulator's clock; after two seconds a SIGTERM
// arrives, which ends the wait.
unsigned wait_on_the_sim_clock(const PlatWaitSources&, long long timeout_ms)
{
    ++waits;
    if (timeout_ms > 1000 / ZVSIM_FRAMES_PER_SECOND + 1) ++long_waits;
    simtest::elapsed += static_cast<double>(timeout_ms) / 1000.0;
    if (simtest::elapsed >= 2.0 && zvscpl_state.stop.load() == 0) stop_request();
    if (zvpyxpl_fd_data_get_time() != last_time) {
        last_time = zvpyxpl_fd_data_get_time();
        ++blocks;
    }
    return 0;
}

TEST(SimProgram, TheMainLoopRunsOnTheSimulatorUntilASignalEndsIt)
{
    zvsim_clock = simtest::test_clock;
    // The loop's monotonic clock is the simulator's too, so only the waits move time on.
    plat_monotonic_ms = [] { return std::llround(simtest::elapsed * 1000.0); };
    plat_wait.wait = wait_on_the_sim_clock;
    ASSERT_TRUE(plat_signals.install_stop(&zvscpl_state.stop));
    testing::internal::CaptureStdout();
    zvscpl_run_loop();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nConnected to Flight Simulator!\n");
    EXPECT_EQ(hQuit, 0);  // the simulator did not quit
    EXPECT_EQ(zvscpl_state.stop.load(), 1);
    // One wait per frame, each until the next frame falls due: no waiting a millisecond at a time.
    EXPECT_NEAR(waits, 2 * ZVSIM_FRAMES_PER_SECOND, 2);
    EXPECT_EQ(long_waits, 0);
    EXPECT_NEAR(blocks, 2 * ZVSIM_FRAMES_PER_SECOND, 1);
    EXPECT_NEAR(last_time, 62135596800.0 + simtest::START + 2.0, 0.05);
    EXPECT_STREQ(fdata.title, "Built-in Simulator Airliner");
    EXPECT_EQ(SimConnect_CallDispatch(hSimConnect, zvscpl_dispatch_proc, nullptr), E_FAIL);  // closed
    HANDLE again = nullptr;
    EXPECT_EQ(SimConnect_Open(&again, "again", nullptr, 0, nullptr, 0), S_OK);  // and free for the next
    SimConnect_Close(again);
}

}  // namespace
