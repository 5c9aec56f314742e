// Commands through the SimConnect double: which events go out, with which data, in which order;
// and the values the program holds itself.
#include <limits>

#include <gtest/gtest.h>

#include "flightdata/flightdata.h"
#include "tests/flightdata/command_case.h"
#include "tests/support/simconnect_double.h"

namespace {

constexpr float kInfF = std::numeric_limits<float>::infinity();
constexpr float kNaNF = std::numeric_limits<float>::quiet_NaN();
constexpr DWORD kMax32 = 0x7FFFFFFF;
constexpr DWORD kMin32 = 0x80000000;

TEST(Commands, FrequencyAndSquawkEncodings)
{
    struct Row {
        unsigned in, freq;
    };
    for (const Row& r : {Row{11810, 0x1810}, Row{13697, 0x3697}, Row{10800, 0x0800}, Row{10000, 0}, Row{20000, 0},
                         Row{19999, 0x9999}, Row{9999, 0x7295}, Row{0, 0x7296}, Row{4294967295u, 0x7295}}) {
        EXPECT_EQ(zvpyxpl_int_to_sim_freq(r.in), r.freq) << r.in;
    }
    for (const Row& r : {Row{0, 0}, Row{7, 7}, Row{7000, 0x7000}, Row{1200, 0x1200}, Row{2000, 0x2000},
                         Row{12345, 0x12345}, Row{99999999, 0x99999999},
                         // Nine and ten digits: the nibbles above bit 31 are cut off.
                         Row{123456789, 0x23456789}, Row{4294967295u, 0x94967295}}) {
        EXPECT_EQ(zvpyxpl_hex2dec(r.in), r.freq) << r.in;
    }
    // ADF: whole kHz below 10000, tens of hertz from there; five digits of 100 Hz, the rest cut off.
    for (const Row& r : {Row{0, 0}, Row{190, 0x01900000}, Row{9999, 0x99990000}, Row{10000, 0x01000000},
                         Row{35005, 0x03500000}, Row{4294967295u, 0x96729000}}) {
        EXPECT_EQ(zvpyxpl_adf_to_sim_freq(r.in), r.freq) << r.in;
    }
}

TEST(Commands, RadiosTransponderAndAltimeter)
{
    const CommandCase cases[] = {
        {"COM 1", FRAME(), DO(zvpyxpl_fd_set_com1(11810)), {{43, 0x1810}}},
        {"COM 1 standby", FRAME(), DO(zvpyxpl_fd_set_com1s(12150)), {{44, 0x2150}}},
        {"COM 2", FRAME(), DO(zvpyxpl_fd_set_com2(13697)), {{45, 0x3697}}},
        {"COM 2 standby", FRAME(), DO(zvpyxpl_fd_set_com2s(9999)), {{46, 0x7295}}},
        {"NAV 1", FRAME(), DO(zvpyxpl_fd_set_nav1(11030)), {{47, 0x1030}}},
        {"NAV 1 standby", FRAME(), DO(zvpyxpl_fd_set_nav1s(10800)), {{48, 0x0800}}},
        {"NAV 2", FRAME(), DO(zvpyxpl_fd_set_nav2(11795)), {{49, 0x1795}}},
        {"NAV 2 standby", FRAME(), DO(zvpyxpl_fd_set_nav2s(20000)), {{50, 0}}},
        {"ADF 1 in tens of hertz", FRAME(), DO(zvpyxpl_fd_set_adf1(35000)), {{51, 0x03500000}}},
        {"ADF 2 in tens of hertz", FRAME(), DO(zvpyxpl_fd_set_adf2(179950)), {{53, 0x17995000}}},
        {"ADF 1 in kHz below 10000", FRAME(), DO(zvpyxpl_fd_set_adf1(350)), {{51, 0x03500000}}},
        {"ADF 2 in kHz below 10000", FRAME(), DO(zvpyxpl_fd_set_adf2(1799)), {{53, 0x17990000}}},
        {"ADF standby sends nothing", FRAME(), DO(zvpyxpl_fd_set_adf1s(2450); zvpyxpl_fd_set_adf2s(3000)), {}},
        {"squawk", FRAME(), DO(zvpyxpl_fd_set_xpdr_code(7000)), {{55, 0x7000}}},
        {"squawk 1200", FRAME(), DO(zvpyxpl_fd_set_xpdr_code(1200)), {{55, 0x1200}}},
        {"transponder mode sends nothing", FRAME(), DO(zvpyxpl_fd_set_xpdr_mode(3)), {}},
        {"altimeter 29.92", FRAME(), DO(zvpyxpl_fd_set_baro_inhg(29.92f)), {{1, 16209}}},
        {"altimeter 30.00", FRAME(), DO(zvpyxpl_fd_set_baro_inhg(30.0f)), {{1, 16252}}},
        {"altimeter 28.50", FRAME(), DO(zvpyxpl_fd_set_baro_inhg(28.5f)), {{1, 15440}}},
        {"altimeter 29.921", FRAME(), DO(zvpyxpl_fd_set_baro_inhg(29.921f)), {{1, 16210}}},
        {"altimeter negative", FRAME(), DO(zvpyxpl_fd_set_baro_inhg(-1.0f)), {{1, static_cast<DWORD>(-541)}}},
        {"altimeter not a number is dropped", FRAME(), DO(zvpyxpl_fd_set_baro_inhg(kNaNF)), {}},
        {"altimeter infinite clamps", FRAME(), DO(zvpyxpl_fd_set_baro_inhg(kInfF)), {{1, kMax32}}},
        {"altimeter minus infinite clamps", FRAME(), DO(zvpyxpl_fd_set_baro_inhg(-kInfF)), {{1, kMin32}}},
        {"altimeter huge clamps", FRAME(), DO(zvpyxpl_fd_set_baro_inhg(1e30f)), {{1, kMax32}}},
    };
    for (const CommandCase& c : cases) check(c);
}

TEST(Commands, HeldValuesStartAtTheirInitialValuesAndKeepWhatIsSet)
{
    EXPECT_EQ(zvpyxpl_fd_get_adf1s(), 140000u);
    EXPECT_EQ(zvpyxpl_fd_get_adf2s(), 140000u);
    EXPECT_EQ(zvpyxpl_fd_get_xpdr_mode(), 0u);
    EXPECT_EQ(zvpyxpl_fd_get_ap_source(), 0u);
    EXPECT_EQ(zvpyxpl_fd_get_ap_fd1_mode(), 0u);
    EXPECT_EQ(zvpyxpl_fd_get_ap_fd2_mode(), 0u);
    EXPECT_EQ(zvpyxpl_fd_get_nd_mode(), 0u);
    EXPECT_EQ(zvpyxpl_fd_get_nd_show(), 572u);
    EXPECT_EQ(zvpyxpl_fd_get_nd_range(), 40.0f);
    EXPECT_EQ(zvpyxpl_fd_get_nd_nav1sel(), 1u);
    EXPECT_EQ(zvpyxpl_fd_get_nd_nav2sel(), 1u);

    zvpyxpl_fd_set_adf1s(3505);
    zvpyxpl_fd_set_adf2s(0xFFFFFFFF);
    zvpyxpl_fd_set_xpdr_mode(4);
    zvpyxpl_fd_set_ap_fd1_mode(5);
    zvpyxpl_fd_set_ap_fd2_mode(1);
    zvpyxpl_fd_set_nd_mode(7);
    zvpyxpl_fd_set_nd_show(0x1C0);
    zvpyxpl_fd_set_nd_range(2.5f);
    zvpyxpl_fd_set_nd_nav1sel(2);
    zvpyxpl_fd_set_nd_nav2sel(0);
    EXPECT_EQ(zvpyxpl_fd_get_adf1s(), 3505u);
    EXPECT_EQ(zvpyxpl_fd_get_adf2s(), 0xFFFFFFFFu);
    EXPECT_EQ(zvpyxpl_fd_get_xpdr_mode(), 4u);
    EXPECT_EQ(zvpyxpl_fd_get_ap_fd1_mode(), 5u);
    EXPECT_EQ(zvpyxpl_fd_get_ap_fd2_mode(), 1u);
    EXPECT_EQ(zvpyxpl_fd_get_nd_mode(), 7u);
    EXPECT_EQ(zvpyxpl_fd_get_nd_show(), 0x1C0u);
    EXPECT_EQ(zvpyxpl_fd_get_nd_range(), 2.5f);
    EXPECT_EQ(zvpyxpl_fd_get_nd_nav1sel(), 2u);
    EXPECT_EQ(zvpyxpl_fd_get_nd_nav2sel(), 0u);
    EXPECT_TRUE(scd::transmits.empty());
}

TEST(Commands, TargetsAndControlInputs)
{
    const CommandCase cases[] = {
        {"heading", FRAME(), DO(zvpyxpl_fd_set_ap_hdg(270)), {{7, 270}}},
        {"heading not wrapped", FRAME(), DO(zvpyxpl_fd_set_ap_hdg(400)), {{7, 400}}},
        {"course 1", FRAME(), DO(zvpyxpl_fd_set_ap_crs1(45)), {{9, 45}}},
        {"course 2", FRAME(), DO(zvpyxpl_fd_set_ap_crs2(359)), {{10, 359}}},
        {"altitude", FRAME(), DO(zvpyxpl_fd_set_ap_alt(35000)), {{4, 35000}}},
        {"vertical speed negative", FRAME(), DO(zvpyxpl_fd_set_ap_vs(-1500)), {{8, 0xFFFFFA24u}}},
        {"vertical speed up", FRAME(), DO(zvpyxpl_fd_inc_ap_vs()), {{41, 0}}},
        {"vertical speed down", FRAME(), DO(zvpyxpl_fd_dec_ap_vs()), {{42, 0}}},
        {"Mach 0.78 sends 77", FRAME(), DO(zvpyxpl_fd_set_ap_spd(0.78f)), {{6, 77}}},
        {"Mach 0.80 sends 80", FRAME(), DO(zvpyxpl_fd_set_ap_spd(0.80f)), {{6, 80}}},
        {"4.99 sends 498", FRAME(), DO(zvpyxpl_fd_set_ap_spd(4.99f)), {{6, 498}}},
        {"5.0 is knots", FRAME(), DO(zvpyxpl_fd_set_ap_spd(5.0f)), {{5, 5}}},
        {"250.7 knots sends 250", FRAME(), DO(zvpyxpl_fd_set_ap_spd(250.7f)), {{5, 250}}},
        {"negative speed is a Mach number", FRAME(), DO(zvpyxpl_fd_set_ap_spd(-0.5f)), {{6, static_cast<DWORD>(-50)}}},
        {"speed not a number is dropped", FRAME(), DO(zvpyxpl_fd_set_ap_spd(kNaNF)), {}},
        {"speed infinite clamps as knots", FRAME(), DO(zvpyxpl_fd_set_ap_spd(kInfF)), {{5, kMax32}}},
        {"speed minus infinite clamps as Mach", FRAME(), DO(zvpyxpl_fd_set_ap_spd(-kInfF)), {{6, kMin32}}},
        {"speed huge clamps", FRAME(), DO(zvpyxpl_fd_set_ap_spd(3e9f)), {{5, kMax32}}},
        {"speed huge negative clamps", FRAME(), DO(zvpyxpl_fd_set_ap_spd(-3e9f)), {{6, kMin32}}},
        {"roll 1.0 sends -182", FRAME(), DO(zvpyxpl_fd_set_roll(1.0f)), {{57, static_cast<DWORD>(-182)}}},
        {"pitch -1.0 sends 182", FRAME(), DO(zvpyxpl_fd_set_pitch(-1.0f)), {{56, 182}}},
        {"yaw 90 sends -16380", FRAME(), DO(zvpyxpl_fd_set_yaw(90.0f)), {{58, static_cast<DWORD>(-16380)}}},
        {"yaw 0.01 truncates to -1", FRAME(), DO(zvpyxpl_fd_set_yaw(0.01f)), {{58, static_cast<DWORD>(-1)}}},
        {"control not a number is dropped", FRAME(), DO(zvpyxpl_fd_set_roll(kNaNF)), {}},
        {"control infinite clamps", FRAME(), DO(zvpyxpl_fd_set_pitch(kInfF)), {{56, kMin32}}},
        {"control minus infinite clamps", FRAME(), DO(zvpyxpl_fd_set_yaw(-kInfF)), {{58, kMax32}}},
        {"control huge clamps", FRAME(), DO(zvpyxpl_fd_set_roll(1e9f)), {{57, kMin32}}},
    };
    for (const CommandCase& c : cases) check(c);
}

TEST(Commands, HoldsAndSpeedMode)
{
    const CommandCase cases[] = {
        {"altitude on", FRAME(), DO(zvpyxpl_fd_set_ap_alt_hld(1)), {{11, 1}}},
        {"altitude off", FRAME(), DO(zvpyxpl_fd_set_ap_alt_hld(0)), {{12, 1}}},
        {"altitude toggle", FRAME(), DO(zvpyxpl_fd_toggle_ap_alt_hld()), {{13, 0}}},
        {"heading on, any non-zero", FRAME(), DO(zvpyxpl_fd_set_ap_hdg_hld(7)), {{14, 1}}},
        {"heading off", FRAME(), DO(zvpyxpl_fd_set_ap_hdg_hld(0)), {{15, 1}}},
        {"heading toggle", FRAME(), DO(zvpyxpl_fd_toggle_ap_hdg_hld()), {{16, 0}}},
        {"localiser on", FRAME(), DO(zvpyxpl_fd_set_ap_loc_hld(1)), {{17, 1}}},
        {"localiser off", FRAME(), DO(zvpyxpl_fd_set_ap_loc_hld(0)), {{18, 1}}},
        {"localiser toggle", FRAME(), DO(zvpyxpl_fd_toggle_ap_loc_hld()), {{19, 0}}},
        {"approach on", FRAME(), DO(zvpyxpl_fd_set_ap_app_hld(1)), {{21, 1}}},
        {"approach off", FRAME(), DO(zvpyxpl_fd_set_ap_app_hld(0)), {{22, 1}}},
        {"approach toggle", FRAME(), DO(zvpyxpl_fd_toggle_ap_app_hld()), {{23, 0}}},
        {"lateral navigation on", FRAME(), DO(zvpyxpl_fd_set_ap_lnav_hld(1)), {{24, 1}}},
        {"lateral navigation off", FRAME(), DO(zvpyxpl_fd_set_ap_lnav_hld(0)), {{25, 1}}},
        {"lateral navigation toggle", FRAME(), DO(zvpyxpl_fd_toggle_ap_lnav_hld()), {{26, 0}}},
        {"N1 toggle", FRAME(), DO(zvpyxpl_fd_toggle_ap_n1_hld()), {{20, 0}}},
        {"speed toggle", FRAME(), DO(zvpyxpl_fd_toggle_ap_spd_hld()), {{29, 0}}},
        {"operations without effect", FRAME(),
         DO(zvpyxpl_fd_set_ap_n1_hld(1); zvpyxpl_fd_set_ap_vnav_hld(1); zvpyxpl_fd_toggle_ap_vnav_hld();
            zvpyxpl_fd_set_ap_lc_hld(1); zvpyxpl_fd_toggle_ap_lc_hld(); zvpyxpl_fd_set_ap_vs_hld(1);
            zvpyxpl_fd_toggle_ap_vs_hld()),
         {}},

        {"speed mode Mach: airspeed off first", FRAME(), DO(zvpyxpl_fd_set_ap_speed_is_mach(1)), {{27, 0}, {28, 1}}},
        {"speed mode Mach while already Mach", FRAME(f.autopilot_mach_hold = 1), DO(zvpyxpl_fd_set_ap_speed_is_mach(5)),
         {{27, 0}, {28, 1}}},
        {"speed mode knots: Mach off first", FRAME(), DO(zvpyxpl_fd_set_ap_speed_is_mach(0)), {{28, 0}, {27, 1}}},
        {"speed mode toggle from knots", FRAME(), DO(zvpyxpl_fd_toggle_ap_speed_is_mach()), {{27, 0}, {28, 1}}},
        {"speed mode toggle from Mach", FRAME(f.autopilot_mach_hold = 1), DO(zvpyxpl_fd_toggle_ap_speed_is_mach()),
         {{28, 0}, {27, 1}}},

        {"speed hold 0, disarmed", FRAME(), DO(zvpyxpl_fd_set_ap_spd_hld(0)), {{27, 0}, {28, 0}}},
        {"speed hold 0, armed", FRAME(f.autopilot_throttle_arm = 1), DO(zvpyxpl_fd_set_ap_spd_hld(0)), {{27, 0}, {28, 0}, {34, 0}}},
        {"speed hold 1, disarmed", FRAME(), DO(zvpyxpl_fd_set_ap_spd_hld(1)), {{34, 0}, {27, 0}, {28, 0}}},
        {"speed hold 1, armed", FRAME(f.autopilot_throttle_arm = 1), DO(zvpyxpl_fd_set_ap_spd_hld(1)), {{27, 0}, {28, 0}}},
        {"speed hold 2, disarmed, knots", FRAME(), DO(zvpyxpl_fd_set_ap_spd_hld(2)), {{34, 0}, {28, 0}, {27, 1}}},
        {"speed hold 2, armed, knots", FRAME(f.autopilot_throttle_arm = 1), DO(zvpyxpl_fd_set_ap_spd_hld(2)), {{28, 0}, {27, 1}}},
        {"speed hold 2, disarmed, Mach", FRAME(f.autopilot_mach_hold = 1), DO(zvpyxpl_fd_set_ap_spd_hld(2)),
         {{34, 0}, {27, 0}, {28, 1}}},
        {"speed hold 2, armed, Mach", FRAME(f.autopilot_mach_hold = 1; f.autopilot_throttle_arm = 1),
         DO(zvpyxpl_fd_set_ap_spd_hld(2)), {{27, 0}, {28, 1}}},
        {"speed hold 3 does nothing", FRAME(), DO(zvpyxpl_fd_set_ap_spd_hld(3)), {}},
        {"speed hold largest does nothing", FRAME(f.autopilot_throttle_arm = 1), DO(zvpyxpl_fd_set_ap_spd_hld(0xFFFFFFFF)), {}},
        // The toggle is chosen from the last frame: two calls before the next frame both send it.
        {"speed hold twice in one frame", FRAME(), DO(zvpyxpl_fd_set_ap_spd_hld(1); zvpyxpl_fd_set_ap_spd_hld(1)),
         {{34, 0}, {27, 0}, {28, 0}, {34, 0}, {27, 0}, {28, 0}}},
    };
    for (const CommandCase& c : cases) check(c);
}

TEST(Commands, FlightDirectorAndAutopilotToggleOnlyWhenTheFrameDiffers)
{
    const CommandCase cases[] = {
        {"mode 0, director off", FRAME(), DO(zvpyxpl_fd_set_ap_fd_mode(0)), {{33, 0}}},
        {"mode 0, director on", FRAME(f.autopilot_flight_director_active = 1), DO(zvpyxpl_fd_set_ap_fd_mode(0)), {{33, 0}, {31, 0}}},
        {"mode 1, director off", FRAME(), DO(zvpyxpl_fd_set_ap_fd_mode(1)), {{33, 0}, {31, 0}}},
        {"mode 1, director already on", FRAME(f.autopilot_flight_director_active = 1), DO(zvpyxpl_fd_set_ap_fd_mode(1)), {{33, 0}}},
        {"mode 2, director off", FRAME(), DO(zvpyxpl_fd_set_ap_fd_mode(2)), {{31, 0}, {32, 0}}},
        {"mode 2, director on", FRAME(f.autopilot_flight_director_active = 1), DO(zvpyxpl_fd_set_ap_fd_mode(2)), {{32, 0}}},
        {"mode 3 does nothing", FRAME(f.autopilot_flight_director_active = 1), DO(zvpyxpl_fd_set_ap_fd_mode(3)), {}},
        {"switch positions send nothing", FRAME(), DO(zvpyxpl_fd_set_ap_fd1_mode(1); zvpyxpl_fd_set_ap_fd2_mode(0)), {}},
        {"display settings send nothing", FRAME(),
         DO(zvpyxpl_fd_set_nd_mode(2); zvpyxpl_fd_set_nd_show(0); zvpyxpl_fd_set_nd_range(80.0f);
            zvpyxpl_fd_set_nd_nav1sel(0); zvpyxpl_fd_set_nd_nav2sel(2)),
         {}},
    };
    for (const CommandCase& c : cases) check(c);
}

TEST(Commands, NavigationSourceTogglesTheGpsSwitchOnlyAcrossTwo)
{
    struct Row {
        unsigned from, to;
        bool toggles;
    };
    const Row rows[] = {
        {0, 2, true},  {1, 2, true},  {2, 0, true},  {2, 1, true},  {0, 1, false},
        {1, 0, false}, {2, 2, false}, {0, 0, false}, {2, 7, true},  {7, 2, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.from << " -> " << r.to);
        zvpyxpl_fd_set_ap_source(r.from);
        scd::transmits.clear();
        zvpyxpl_fd_set_ap_source(r.to);
        EXPECT_EQ(sent(), (r.toggles ? Sent{{30, 1}} : Sent{}));
        EXPECT_EQ(zvpyxpl_fd_get_ap_source(), r.to);
    }

    // The toggle steps 0, 1, 2, 0 and sends nothing; any other value goes back to 0.
    zvpyxpl_fd_set_ap_source(0);
    scd::transmits.clear();
    for (unsigned expected : {1u, 2u, 0u, 1u}) {
        zvpyxpl_fd_toggle_ap_source();
        EXPECT_EQ(zvpyxpl_fd_get_ap_source(), expected);
    }
    zvpyxpl_fd_set_ap_source(9);
    scd::transmits.clear();
    zvpyxpl_fd_toggle_ap_source();
    EXPECT_EQ(zvpyxpl_fd_get_ap_source(), 0u);
    EXPECT_TRUE(scd::transmits.empty());
}

}  // namespace
