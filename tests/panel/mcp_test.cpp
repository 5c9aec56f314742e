// The mode control panel: dials, switches, lamps and buttons against crafted frames, with the
// events they send checked through the SimConnect double.
#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "flightdata/flightdata.h"
#include "panel/mcp.h"
#include "tests/flightdata/command_case.h"
#include "tests/support/simconnect_double.h"

namespace {

constexpr double kPi = 3.141592653589793;

// Frames for the three autopilot modes and the three speed statuses.
void mode0(FlightData&) {}
void mode1(FlightData& f) { f.autopilot_flight_director_active = 1; }
void mode2(FlightData& f)
{
    f.autopilot_flight_director_active = 1;
    f.autopilot_master = 1;
}
void spd_status1(FlightData& f) { f.autopilot_throttle_arm = 1; }
void spd_status2(FlightData& f)
{
    f.autopilot_throttle_arm = 1;
    f.autopilot_airspeed_hold = 1;
}

TEST(McpDials, SetForwardsAndGetReadsBack)
{
    const CommandCase cases[] = {
        {"course 1", FRAME(), DO(zvpyxpl_mcp_set_crs1_dial(45)), {{9, 45}}},
        {"course 2", FRAME(), DO(zvpyxpl_mcp_set_crs2_dial(180)), {{10, 180}}},
        {"heading", FRAME(), DO(zvpyxpl_mcp_set_hdg_dial(270)), {{7, 270}}},
        {"altitude", FRAME(), DO(zvpyxpl_mcp_set_alt_dial(12000)), {{4, 12000}}},
        {"vertical speed 1250 commands 1200", FRAME(), DO(zvpyxpl_mcp_set_vvm_dial(1250)), {{8, 1200}}},
        {"vertical speed -1250 commands -1200", FRAME(), DO(zvpyxpl_mcp_set_vvm_dial(-1250)), {{8, static_cast<DWORD>(-1200)}}},
        {"vertical speed 199 commands 100", FRAME(), DO(zvpyxpl_mcp_set_vvm_dial(199)), {{8, 100}}},
        {"vertical speed -199 commands -100", FRAME(), DO(zvpyxpl_mcp_set_vvm_dial(-199)), {{8, static_cast<DWORD>(-100)}}},
        {"vertical speed 50 commands 0", FRAME(), DO(zvpyxpl_mcp_set_vvm_dial(50)), {{8, 0}}},
        {"vertical speed lowest", FRAME(), DO(zvpyxpl_mcp_set_vvm_dial(std::numeric_limits<int>::min())),
         {{8, static_cast<DWORD>(-2147483600)}}},
        {"speed in knots", FRAME(), DO(zvpyxpl_mcp_set_speed_dial(250.0f)), {{5, 250}}},
        {"speed below 5 as Mach, mode untouched", FRAME(), DO(zvpyxpl_mcp_set_speed_dial(0.8f)), {{6, 80}}},
        {"speed mode Mach", FRAME(), DO(zvpyxpl_mcp_set_speed_is_mach(1)), {{27, 0}, {28, 1}}},
        {"speed mode knots", FRAME(), DO(zvpyxpl_mcp_set_speed_is_mach(0)), {{28, 0}, {27, 1}}},
    };
    for (const CommandCase& c : cases) check(c);

    std::memset(&fdata, 0, sizeof fdata);
    fdata.nav_obs_1 = 45.0 * kPi / 180.0;
    fdata.nav_obs_2 = -90.0 * kPi / 180.0;
    fdata.autopilot_heading_lock_dir = 2 * kPi;
    fdata.autopilot_altitude_lock_var = 10049.6 / 3.2808399;
    fdata.autopilot_vertical_hold_var = -1249.0 / 60.0 / 3.2808399;
    fdata.autopilot_airspeed_hold_var = 128.6;
    EXPECT_EQ(zvpyxpl_mcp_get_crs1_dial(), 45u);
    EXPECT_EQ(zvpyxpl_mcp_get_crs2_dial(), 270u);
    EXPECT_EQ(zvpyxpl_mcp_get_hdg_dial(), 0u);
    EXPECT_EQ(zvpyxpl_mcp_get_alt_dial(), 10000u);
    EXPECT_EQ(zvpyxpl_mcp_get_vvm_dial(), -1200);
    EXPECT_EQ(zvpyxpl_mcp_get_speed_dial(), 250.0f);
    EXPECT_EQ(zvpyxpl_mcp_get_speed_is_mach(), 0u);
    fdata.autopilot_mach_hold = 1;
    fdata.autopilot_mach_hold_var = 0.78;
    EXPECT_EQ(zvpyxpl_mcp_get_speed_dial(), 0.78f);
    EXPECT_EQ(zvpyxpl_mcp_get_speed_is_mach(), 1u);
}

TEST(McpSwitches, FlightDirectorSwitchesAgainstEveryAutopilotMode)
{
    struct Row {
        void (*frame)(FlightData&);
        unsigned on;
        Sent expected;
    };
    const Row rows[] = {
        {mode0, 1, {{33, 0}, {31, 0}}},  // director on: autopilot off, toggle the director on
        {mode1, 1, {}},
        {mode2, 1, {}},
        {mode0, 0, {}},
        {mode1, 0, {{33, 0}, {31, 0}}},  // director off
        {mode2, 0, {}},                  // engaged: the director stays on
        {mode1, 5, {}},
    };
    struct Switch {
        void (*set)(unsigned);
        unsigned (*get)();
    };
    for (const Switch& sw : {Switch{zvpyxpl_mcp_set_fd1, zvpyxpl_fd_get_ap_fd1_mode},
                             Switch{zvpyxpl_mcp_set_fd2, zvpyxpl_fd_get_ap_fd2_mode}}) {
        for (const Row& r : rows) {
            std::memset(&fdata, 0, sizeof fdata);
            r.frame(fdata);
            SCOPED_TRACE(testing::Message() << "mode " << zvpyxpl_fd_get_ap_fd_mode() << ", on " << r.on);
            scd::transmits.clear();
            sw.set(r.on);
            EXPECT_EQ(sent(), r.expected);
            EXPECT_EQ(sw.get(), r.on);
        }
    }
}

TEST(McpSwitches, OneSwitchOffTurnsTheSharedDirectorOff)
{
    std::memset(&fdata, 0, sizeof fdata);
    zvpyxpl_mcp_set_fd1(1);
    mode1(fdata);  // the simulator shows the director on
    zvpyxpl_mcp_set_fd2(1);
    scd::transmits.clear();
    zvpyxpl_mcp_set_fd2(0);
    EXPECT_EQ(sent(), (Sent{{33, 0}, {31, 0}}));
    EXPECT_EQ(zvpyxpl_mcp_get_ma1_led(), 1);
    EXPECT_EQ(zvpyxpl_mcp_get_ma2_led(), 0);
}

TEST(McpSwitches, DisconnectAndAutothrottleArm)
{
    const CommandCase cases[] = {
        {"disconnect, engaged", FRAME(mode2(f)), DO(zvpyxpl_mcp_set_apdisc(0)), {{33, 0}}},
        {"disconnect, engaged without director", FRAME(f.autopilot_master = 1), DO(zvpyxpl_mcp_set_apdisc(0)), {{33, 0}, {31, 0}}},
        {"disconnect, director only", FRAME(mode1(f)), DO(zvpyxpl_mcp_set_apdisc(0)), {}},
        {"disconnect, all off", FRAME(), DO(zvpyxpl_mcp_set_apdisc(0)), {}},
        {"disconnect released", FRAME(mode2(f)), DO(zvpyxpl_mcp_set_apdisc(1)), {}},

        {"arm, status 0", FRAME(), DO(zvpyxpl_mcp_set_atarm(1)), {{34, 0}, {27, 0}, {28, 0}}},
        {"arm, status 1", FRAME(spd_status1(f)), DO(zvpyxpl_mcp_set_atarm(1)), {}},
        {"arm, status 2", FRAME(spd_status2(f)), DO(zvpyxpl_mcp_set_atarm(1)), {}},
        {"disarm, status 0", FRAME(), DO(zvpyxpl_mcp_set_atarm(0)), {}},
        {"disarm, status 1", FRAME(spd_status1(f)), DO(zvpyxpl_mcp_set_atarm(0)), {{27, 0}, {28, 0}, {34, 0}}},
        {"disarm, status 2", FRAME(spd_status2(f)), DO(zvpyxpl_mcp_set_atarm(0)), {{27, 0}, {28, 0}, {34, 0}}},
        {"disarm, hold without arm", FRAME(f.autopilot_mach_hold = 1), DO(zvpyxpl_mcp_set_atarm(0)), {{27, 0}, {28, 0}}},
    };
    for (const CommandCase& c : cases) check(c);

    struct Arm {
        void (*frame)(FlightData&);
        unsigned mode;
    };
    for (const Arm& a : {Arm{mode0, 0}, Arm{spd_status1, 1}, Arm{spd_status2, 1}}) {
        std::memset(&fdata, 0, sizeof fdata);
        a.frame(fdata);
        EXPECT_EQ(zvpyxpl_mcp_get_atarm_mode(), a.mode);
    }
}

TEST(McpSpeedOfSound, ConversionsAreInverse)
{
    EXPECT_NEAR(zvpyxpl_mcp_mach_from_tas(450.0, -56.5), 0.7839, 1e-4);
    EXPECT_NEAR(zvpyxpl_mcp_tas_from_mach(1.0, 15.0), 662.02, 1e-2);
    EXPECT_NEAR(zvpyxpl_mcp_mach_from_tas(zvpyxpl_mcp_tas_from_mach(0.82, -40.0), -40.0), 0.82, 1e-12);
    EXPECT_TRUE(std::isnan(zvpyxpl_mcp_mach_from_tas(450.0, -300.0)));
    EXPECT_TRUE(std::isnan(zvpyxpl_mcp_tas_from_mach(0.8, -300.0)));
}

TEST(McpStatus, ReadingsPassThroughAndCommandsReachTheHolds)
{
    std::memset(&fdata, 0xFF, sizeof fdata);  // every hold field non-zero
    EXPECT_EQ(zvpyxpl_ap_hdg_status(), 2u);
    EXPECT_EQ(zvpyxpl_ap_vs_status(), 2u);
    EXPECT_EQ(zvpyxpl_ap_alt_status(), 2u);
    EXPECT_EQ(zvpyxpl_ap_lnav_status(), 2u);
    EXPECT_EQ(zvpyxpl_ap_loc_status(), 2u);
    EXPECT_EQ(zvpyxpl_ap_gs_status(), 2u);
    EXPECT_EQ(zvpyxpl_ap_vnav_status(), 0u);
    EXPECT_EQ(zvpyxpl_ap_lc_status(), 0u);
    EXPECT_EQ(zvpyxpl_ap_n1_status(), 0u);
    std::memset(&fdata, 0, sizeof fdata);
    EXPECT_EQ(zvpyxpl_ap_hdg_status(), 0u);
    EXPECT_EQ(zvpyxpl_ap_gs_status(), 0u);

    const CommandCase cases[] = {
        {"heading on", FRAME(), DO(zvpyxpl_ap_set_hdg_status(1)), {{14, 1}}},
        {"heading off", FRAME(), DO(zvpyxpl_ap_set_hdg_status(0)), {{15, 1}}},
        {"altitude on", FRAME(), DO(zvpyxpl_ap_set_alt_status(2)), {{11, 1}}},
        {"altitude off", FRAME(), DO(zvpyxpl_ap_set_alt_status(0)), {{12, 1}}},
        {"lateral navigation on", FRAME(), DO(zvpyxpl_ap_set_lnav_status(1)), {{24, 1}}},
        {"lateral navigation off", FRAME(), DO(zvpyxpl_ap_set_lnav_status(0)), {{25, 1}}},
        {"localiser on", FRAME(), DO(zvpyxpl_ap_set_loc_status(1)), {{17, 1}}},
        {"localiser off", FRAME(), DO(zvpyxpl_ap_set_loc_status(0)), {{18, 1}}},
        {"glideslope on is the approach hold", FRAME(), DO(zvpyxpl_ap_set_gs_status(1)), {{21, 1}}},
        {"glideslope off", FRAME(), DO(zvpyxpl_ap_set_gs_status(0)), {{22, 1}}},
        {"VNAV, V/S, level change and N1 send nothing", FRAME(),
         DO(zvpyxpl_ap_set_vnav_status(1); zvpyxpl_ap_set_vs_status(1); zvpyxpl_ap_set_lc_status(1);
            zvpyxpl_ap_set_n1_status(1); zvpyxpl_ap_set_vs_status(0)),
         {}},
    };
    for (const CommandCase& c : cases) check(c);
}

TEST(McpLamps, EveryLampAgainstEveryStatusValue)
{
    struct Row {
        const char* what;
        void (*frame)(FlightData&);
        int (*lamp)();
        int expected;
    };
    const Row rows[] = {
        {"CMD A, mode 0", mode0, zvpyxpl_mcp_get_cmda_led, 0},
        {"CMD A, mode 1", mode1, zvpyxpl_mcp_get_cmda_led, 0},
        {"CMD A, mode 2", mode2, zvpyxpl_mcp_get_cmda_led, 1},
        {"CMD B, mode 0", mode0, zvpyxpl_mcp_get_cmdb_led, 0},
        {"CMD B, mode 1", mode1, zvpyxpl_mcp_get_cmdb_led, 0},
        {"CMD B, mode 2", mode2, zvpyxpl_mcp_get_cmdb_led, 1},
        {"SPD, status 0", mode0, zvpyxpl_mcp_get_spd_led, 0},
        {"SPD, status 1 (armed only)", spd_status1, zvpyxpl_mcp_get_spd_led, 0},
        {"SPD, status 2", spd_status2, zvpyxpl_mcp_get_spd_led, 1},
        {"HDG off", FRAME(), zvpyxpl_mcp_get_hdg_led, 0},
        {"HDG on", FRAME(f.autopilot_heading_lock = 1), zvpyxpl_mcp_get_hdg_led, 1},
        {"LNAV off", FRAME(), zvpyxpl_mcp_get_lnav_led, 0},
        {"LNAV on", FRAME(f.autopilot_nav1_lock = 1), zvpyxpl_mcp_get_lnav_led, 1},
        {"LOC off", FRAME(), zvpyxpl_mcp_get_loc_led, 0},
        {"LOC on", FRAME(f.autopilot_approach_hold = 1), zvpyxpl_mcp_get_loc_led, 1},
        {"APP off", FRAME(f.autopilot_approach_hold = 1), zvpyxpl_mcp_get_app_led, 0},
        {"APP on", FRAME(f.autopilot_glideslope_hold = 1), zvpyxpl_mcp_get_app_led, 1},
        {"ALT off", FRAME(), zvpyxpl_mcp_get_alt_led, 0},
        {"ALT on", FRAME(f.autopilot_altitude_lock = 1), zvpyxpl_mcp_get_alt_led, 1},
        {"V/S off", FRAME(), zvpyxpl_mcp_get_vs_led, 0},
        {"V/S on", FRAME(f.autopilot_vertical_hold = 1), zvpyxpl_mcp_get_vs_led, 1},
        // Statuses that never report a mode, and lamps that never light, even on a full frame.
        {"N1", FRAME(std::memset(&f, 0xFF, sizeof f)), zvpyxpl_mcp_get_n1_led, 0},
        {"LVL CHG", FRAME(std::memset(&f, 0xFF, sizeof f)), zvpyxpl_mcp_get_lchg_led, 0},
        {"VNAV", FRAME(std::memset(&f, 0xFF, sizeof f)), zvpyxpl_mcp_get_vnav_led, 0},
        {"CWS A", FRAME(std::memset(&f, 0xFF, sizeof f)), zvpyxpl_mcp_get_cwsa_led, 0},
        {"CWS B", FRAME(std::memset(&f, 0xFF, sizeof f)), zvpyxpl_mcp_get_cwsb_led, 0},
        {"overspeed", FRAME(std::memset(&f, 0xFF, sizeof f)), zvpyxpl_mcp_get_overspeed, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::memset(&fdata, 0, sizeof fdata);
        r.frame(fdata);
        EXPECT_EQ(r.lamp(), r.expected);
    }

    // The flight-director lamps pass the stored switch value through.
    EXPECT_EQ(zvpyxpl_mcp_get_ma1_led(), 0);
    EXPECT_EQ(zvpyxpl_mcp_get_ma2_led(), 0);
    zvpyxpl_fd_set_ap_fd1_mode(1);
    zvpyxpl_fd_set_ap_fd2_mode(5);
    EXPECT_EQ(zvpyxpl_mcp_get_ma1_led(), 1);
    EXPECT_EQ(zvpyxpl_mcp_get_ma2_led(), 5);
}

TEST(McpButtons, WhichButtonSendsWhichEvent)
{
    const CommandCase cases[] = {
        {"CMD A from mode 0", FRAME(mode0(f)), DO(zvpyxpl_mcp_press_cmda()), {{31, 0}, {32, 0}}},
        {"CMD A from mode 1", FRAME(mode1(f)), DO(zvpyxpl_mcp_press_cmda()), {{32, 0}}},
        {"CMD A from mode 2", FRAME(mode2(f)), DO(zvpyxpl_mcp_press_cmda()), {{33, 0}}},
        {"CMD B from mode 0", FRAME(mode0(f)), DO(zvpyxpl_mcp_press_cmdb()), {{31, 0}, {32, 0}}},
        {"CMD B from mode 1", FRAME(mode1(f)), DO(zvpyxpl_mcp_press_cmdb()), {{32, 0}}},
        {"CMD B from mode 2", FRAME(mode2(f)), DO(zvpyxpl_mcp_press_cmdb()), {{33, 0}}},
        {"C/O in knots", FRAME(), DO(zvpyxpl_mcp_press_co()), {{27, 0}, {28, 1}}},
        {"C/O in Mach", FRAME(f.autopilot_mach_hold = 1), DO(zvpyxpl_mcp_press_co()), {{28, 0}, {27, 1}}},
        {"IAS/Mach toggle", FRAME(), DO(zvpyxpl_mcp_toggle_ias_mach_speed()), {{27, 0}, {28, 1}}},
        {"N1", FRAME(), DO(zvpyxpl_mcp_press_n1()), {{20, 0}}},
        {"SPD", FRAME(), DO(zvpyxpl_mcp_press_spd()), {{29, 0}}},
        {"HDG", FRAME(), DO(zvpyxpl_mcp_press_hdg()), {{16, 0}}},
        {"LNAV", FRAME(), DO(zvpyxpl_mcp_press_lnav()), {{26, 0}}},
        {"LOC", FRAME(), DO(zvpyxpl_mcp_press_loc()), {{19, 0}}},
        {"APP", FRAME(), DO(zvpyxpl_mcp_press_app()), {{23, 0}}},
        {"ALT", FRAME(), DO(zvpyxpl_mcp_press_alt()), {{13, 0}}},
        {"buttons without effect", FRAME(mode2(f)),
         DO(zvpyxpl_mcp_press_lchg(); zvpyxpl_mcp_press_vnav(); zvpyxpl_mcp_press_vs(); zvpyxpl_mcp_press_cwsa();
            zvpyxpl_mcp_press_cwsb(); zvpyxpl_mcp_press_spdintv(); zvpyxpl_mcp_press_altintv();
            zvpyxpl_mcp_set_bank_angle(25)),
         {}},
    };
    for (const CommandCase& c : cases) check(c);
}

TEST(McpButtons, CmdAEngagesThenEitherButtonDisengages)
{
    std::memset(&fdata, 0, sizeof fdata);
    zvpyxpl_mcp_press_cmda();
    EXPECT_EQ(sent(), (Sent{{31, 0}, {32, 0}}));
    EXPECT_EQ(zvpyxpl_mcp_get_cmda_led(), 0);  // not before the simulator reports it

    mode2(fdata);  // the next frame shows the autopilot engaged
    EXPECT_EQ(zvpyxpl_mcp_get_cmda_led(), 1);
    EXPECT_EQ(zvpyxpl_mcp_get_cmdb_led(), 1);
    scd::transmits.clear();
    zvpyxpl_mcp_press_cmdb();
    EXPECT_EQ(sent(), (Sent{{33, 0}}));
}

}  // namespace
