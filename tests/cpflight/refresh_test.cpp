// The CPFlight unit's start-up sequence and the change-only refresh of its displays and lamps,
// checked byte for byte on a pseudo-terminal.
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

PtyUnit* unit = nullptr;
std::vector<std::pair<unsigned, std::string>> sleeps;  // duration, and what was sent before it

void record_sleep(unsigned ms) { sleeps.emplace_back(ms, unit->received(zvpyxcpf_fd)); }

struct CpflightRefresh : testing::Test {
    PtyUnit pty;
    void SetUp() override
    {
        unit = &pty;
        use_unit(pty);
        plat_sleep_ms = record_sleep;
    }
    std::string pass()
    {
        zvpyxcpf_runloop();
        return pty.received(zvpyxcpf_fd);
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

    EXPECT_EQ(pass(), "L0198\0C00\n0\0V0435000\0V03005\0V01045\0V06230\0V02250\0V05-0700\0"s
                      "L0137\0X1105\0L0125\0L0132\0L0133\0"s);
    EXPECT_EQ(sleeps, (decltype(sleeps){{2000, "K999\0"s}, {5000, "Q001\0"s}}));

    EXPECT_EQ(pass(), "");
    set_dials(35000, 270, 45, 230, 0);
    fdata.autopilot_heading_lock = 0;
    fdata.autopilot_vertical_hold = 0;
    zvpyxpl_fd_set_ap_fd1_mode(5);  // a new number between two non-zero values resends
    EXPECT_EQ(pass(), "V03270\0V05+0000\0L0137\0X1005\0L1125\0"s);
    EXPECT_EQ(sleeps.size(), 2u);

    // Commands from the unit run after the refresh.
    pty.send(zvpyxcpf_fd, "K025\0"s);
    EXPECT_EQ(pass(), "");
    EXPECT_EQ(scd::transmitted_events(), std::vector<DWORD>{EVT_AP_HDG_HOLD});
}

TEST_F(CpflightRefresh, StartUpInMachSendsTheSpeedAgain)
{
    set_mach(0.78);
    EXPECT_EQ(pass(), "L0198\0C00\n0\0V0400000\0V03000\0V01000\0V06000\0V02 .78\0V05+0000\0"s
                      "V02 .78\0"s
                      "L0122\0"s);  // the Mach hold lights SPD
}

TEST_F(CpflightRefresh, DisplayFormats)
{
    pass();
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
