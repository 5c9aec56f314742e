// The CPFlight unit's start-up sequence, its bytes and its pauses on a stepped clock, and the
// change-only refresh of its displays and lamps, checked byte for byte on a pseudo-terminal.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "cpflight/cpflight.h"
#include "flightdata/flightdata.h"
#include "platform/clock.h"
#include "tests/cpflight/pty_unit.h"
#include "tests/support/simconnect_double.h"

namespace {

using namespace std::string_literals;

constexpr double DEG_PER_RAD = 57.2957795;
constexpr double FT_PER_M = 3.2808399;

// The simulator's autopilot targets as the MCP dials read them.
void set_dials(unsigned alt, unsigned hdg, unsigned crs1, unsigned crs2, int vs)
{
    fdata.autopilot_altitude_lock_var = alt / FT_PER_M;
    fdata.autopilot_heading_lock_dir = hdg / DEG_PER_RAD;
    fdata.nav_obs_1 = crs1 / DEG_PER_RAD;
    fdata.nav_obs_2 = crs2 / DEG_PER_RAD;
    fdata.autopilot_vertical_hold_var = vs / 60.0 / FT_PER_M;
}
void set_knots(double kt)
{
    fdata.autopilot_mach_hold = 0;
    fdata.autopilot_airspeed_hold_var = kt / 1.94384449;
}
void set_mach(double mach)
{
    fdata.autopilot_mach_hold = 1;
    fdata.autopilot_mach_hold_var = mach;
}

long long now_ms = 1000;
std::vector<unsigned> sleeps;

struct CpflightRefresh : testing::Test {
    PtyUnit pty;
    void SetUp() override
    {
        use_unit(pty);
        plat_monotonic_ms = [] { return now_ms; };
        plat_sleep_ms = [](unsigned ms) { sleeps.push_back(ms); };
    }
    std::string pass()
    {
        zvpyxcpf_runloop();
        return pty.received(zvpyxcpf_fd);
    }
    // The loop's turn at `ms` on the clock: the start-up step, if one is due.
    std::string step_at(long long ms)
    {
        now_ms = ms;
        zvpyxcpf_startup_step();
        return pty.received(zvpyxcpf_fd);
    }
    // Runs the start-up through to its end, with the pauses it asks for.
    std::string start_up()
    {
        std::string sent = pass();
        sent += step_at(now_ms + ZVPYXCPF_RESET_PAUSE_MS);
        return sent + step_at(now_ms + ZVPYXCPF_QUERY_PAUSE_MS);
    }
};

}  // namespace

TEST_F(CpflightRefresh, StartUpSequenceThenLitLampsThenOnlyChanges)
{
    set_dials(35000, 5, 45, 230, -700);
    set_knots(250);
    zvpyxpl_fd_set_ap_fd1_mode(3);
    fdata.autopilot_vertical_hold = 1;
    fdata.autopilot_heading_lock = 1;
    fdata.autopilot_master = 1;

    EXPECT_EQ(start_up(), "K999\0Q001\0"s
                          "L0198\0C00\n0\0V0435000\0V03005\0V01045\0V06230\0V02250\0V05-0700\0"s
                          "L0137\0X1105\0L0125\0L0132\0L0133\0"s);
    EXPECT_FALSE(zvpyxcpf_starting());

    EXPECT_EQ(pass(), "");
    set_dials(35000, 270, 45, 230, 0);
    fdata.autopilot_heading_lock = 0;
    fdata.autopilot_vertical_hold = 0;
    zvpyxpl_fd_set_ap_fd1_mode(5);  // a new number between two non-zero values resends
    EXPECT_EQ(pass(), "V03270\0V05+0000\0L0137\0X1005\0L1125\0"s);
    EXPECT_TRUE(sleeps.empty());

    // Commands from the unit run after the refresh.
    pty.send(zvpyxcpf_fd, "K025\0"s);
    EXPECT_EQ(pass(), "");
    EXPECT_EQ(scd::transmitted_events(), std::vector<DWORD>{EVT_AP_HDG_HOLD});
}

// Each step goes out on the first turn of the loop at or after its time, never before; passes
// meanwhile send nothing and read nothing, and nothing sleeps. The dials go out as they are
// when the last step is sent.
TEST_F(CpflightRefresh, StartUpStepsGoOutWhenDueWhileTheLoopRuns)
{
    set_dials(1000, 10, 20, 30, 0);
    struct Row {
        long long at_ms;  // after "K999"
        bool pass;        // a pass on this turn, besides the start-up step
        std::string sent;
        long long next_due_ms;  // after "K999"; -1 when the sequence is over
    };
    const Row rows[] = {
        {0, true, "K999\0"s, 2000},
        {1, true, "", 2000},
        {1999, false, "", 2000},
        {2000, false, "Q001\0"s, 7000},
        {2001, true, "", 7000},
        {6999, true, "", 7000},
        {7005, false, "L0198\0C00\n0\0V0432000\0V03010\0V01020\0V06030\0V02000\0V05+0000\0"s, -1},
        {7006, true, "", -1},
    };
    const long long start = now_ms;
    for (const Row& row : rows) {
        now_ms = start + row.at_ms;
        std::string sent = row.pass ? pass() : "";
        if (row.at_ms == 1) {
            set_dials(32000, 10, 20, 30, 0);  // changed during the sequence
            pty.send(zvpyxcpf_fd, "K025\0"s);  // a key pressed during the sequence
        }
        sent += step_at(now_ms);
        EXPECT_EQ(sent, row.sent) << row.at_ms;
        long long due = zvpyxcpf_next_due_ms();
        EXPECT_EQ(due < 0 ? -1 : due - start, row.next_due_ms) << row.at_ms;
    }
    EXPECT_TRUE(sleeps.empty());
    // The key waited in the port and ran with the first refresh.
    EXPECT_EQ(scd::transmitted_events(), std::vector<DWORD>{EVT_AP_HDG_HOLD});
}

// Closing during the sequence ends it: the re-opened port starts again from "K999".
TEST_F(CpflightRefresh, CloseDuringTheStartUpEndsIt)
{
    EXPECT_EQ(pass(), "K999\0"s);
    EXPECT_EQ(step_at(now_ms + ZVPYXCPF_RESET_PAUSE_MS), "Q001\0"s);
    zvpyxcpf_close_serial_port();
    EXPECT_FALSE(zvpyxcpf_starting());
    EXPECT_EQ(zvpyxcpf_next_due_ms(), -1);
    zvpyxcpf_startup_step();
    std::string again = pass();  // the goodbye may still be waiting in the terminal
    ASSERT_GE(again.size(), 5u);
    EXPECT_EQ(again.substr(again.size() - 5), "K999\0"s);
    EXPECT_EQ(step_at(now_ms + ZVPYXCPF_RESET_PAUSE_MS - 1), "");
    EXPECT_TRUE(zvpyxcpf_starting());
}

TEST_F(CpflightRefresh, StartUpInMachSendsTheSpeedAgain)
{
    set_mach(0.78);
    EXPECT_EQ(start_up(), "K999\0Q001\0L0198\0C00\n0\0V0400000\0V03000\0V01000\0V06000\0V02 .78\0V05+0000\0"s
                      "V02 .78\0"s
                      "L0122\0"s);  // the Mach hold lights SPD
}

TEST_F(CpflightRefresh, DisplayFormats)
{
    start_up();
    struct Row {
        std::function<void()> change;
        std::string sent;
    };
    const Row rows[] = {
        {[] { set_dials(500, 0, 0, 0, 0); }, "V0400500\0"s},
        {[] { set_dials(500, 5, 359, 7, 0); }, "V01359\0V06007\0V03005\0"s},
        {[] { set_dials(500, 5, 359, 7, -1500); }, "V05-1500\0"s},
        {[] { set_dials(500, 5, 359, 7, 1200); }, "V05+1200\0"s},
        {[] { set_dials(500, 5, 359, 7, 0); }, "V05+0000\0"s},
        {[] { set_knots(250); }, "V02 250\0"s},
        {[] { set_knots(5); }, "V02 005\0"s},
        {[] { set_mach(5.0); }, "V02 .500\0L0122\0"s},  // same number, other mode
        {[] { set_mach(250.004); }, "V02 .25000\0"s},
        {[] { set_mach(250.0); }, ""},  // rounded to two decimals, unchanged
        {[] { set_mach(0.78); }, "V02 .78\0"s},
        {[] { set_mach(0.780004); }, ""},
        {[] { set_mach(0.05); }, "V02 . 5\0"s},
    };
    for (const Row& row : rows) {
        row.change();
        EXPECT_EQ(pass(), row.sent);
    }
}
