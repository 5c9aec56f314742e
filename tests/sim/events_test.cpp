// Simulator events change the state by the next frame: targets, radios, transponder, altimeter,
// autopilot modes; and the program reads back what it sent.
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "app/pyxplugin.h"
#include "flightdata/flightdata.h"
#include "tests/sim/sim_client.h"

namespace {

using simtest::Client;
using simtest::Probe;

struct Send {
    const char* event;
    DWORD data;
};

struct EventCase {
    std::vector<Send> sends;
    const char* variable;
    const char* units;
    double expected;
};

DWORD word(int v) { return static_cast<DWORD>(v); }

TEST(SimEvents, EachEventTakesEffectByTheNextFrame)
{
    const EventCase cases[] = {
        {{{"HEADING_BUG_SET", 270}}, "AUTOPILOT HEADING LOCK DIR", "Degrees", 270},
        {{{"HEADING_BUG_SET", 370}}, "AUTOPILOT HEADING LOCK DIR", "Degrees", 10},
        {{{"HEADING_BUG_SET", word(-90)}}, "AUTOPILOT HEADING LOCK DIR", "Degrees", 270},
        {{{"HEADING_BUG_SET", 359}, {"HEADING_BUG_INC", 0}}, "AUTOPILOT HEADING LOCK DIR", "Degrees", 0},
        {{{"HEADING_BUG_SET", 0}, {"HEADING_BUG_DEC", 0}}, "AUTOPILOT HEADING LOCK DIR", "Degrees", 359},
        {{{"VOR1_SET", 45}}, "NAV OBS:1", "Degrees", 45},
        {{{"VOR2_SET", 300}}, "NAV OBS:2", "Degrees", 300},
        {{{"AP_ALT_VAR_SET_ENGLISH", 10000}}, "AUTOPILOT ALTITUDE LOCK VAR", "Feet", 10000},
        {{{"AP_ALT_VAR_SET_ENGLISH", 10000}, {"AP_ALT_VAR_INC", 0}}, "AUTOPILOT ALTITUDE LOCK VAR", "Feet", 10100},
        {{{"AP_ALT_VAR_SET_ENGLISH", 99999}}, "AUTOPILOT ALTITUDE LOCK VAR", "Feet", 50000},
        {{{"AP_ALT_VAR_SET_ENGLISH", word(-500)}}, "AUTOPILOT ALTITUDE LOCK VAR", "Feet", 0},
        {{{"AP_VS_VAR_SET_ENGLISH", word(-1500)}}, "AUTOPILOT VERTICAL HOLD VAR", "Feet per minute", -1500},
        {{{"AP_VS_VAR_SET_ENGLISH", 800}, {"AP_VS_VAR_DEC", 0}}, "AUTOPILOT VERTICAL HOLD VAR", "Feet per minute", 700},
        {{{"AP_SPD_VAR_SET", 250}}, "AUTOPILOT AIRSPEED HOLD VAR", "Knots", 250},
        {{{"AP_SPD_VAR_SET", 250}, {"AP_SPD_VAR_INC", 0}}, "AUTOPILOT AIRSPEED HOLD VAR", "Knots", 251},
        {{{"AP_SPD_VAR_SET", 5}}, "AUTOPILOT AIRSPEED HOLD VAR", "Knots", 100},
        {{{"AP_MACH_VAR_SET", 80}}, "AUTOPILOT MACH HOLD VAR", "Number", 0.80},
        {{{"KOHLSMAN_SET", 16209}}, "KOHLSMAN SETTING MB", "Millibars", 1013.0625},
        {{{"KOHLSMAN_SET", 16209}, {"KOHLSMAN_INC", 0}}, "KOHLSMAN SETTING MB", "Millibars", 1014.0625},
        {{{"KOHLSMAN_SET", 0}}, "KOHLSMAN SETTING MB", "Millibars", 900},
        {{{"COM_RADIO_SET", 0x1810}}, "COM ACTIVE FREQUENCY:1", "Number", 118100000},
        {{{"COM_STBY_RADIO_SET", 0x2275}}, "COM STANDBY FREQUENCY:1", "MHz", 122.75},
        {{{"COM2_RADIO_SET", 0x3250}}, "COM ACTIVE FREQUENCY:2", "Number", 132500000},
        {{{"COM2_STBY_RADIO_SET", 0x1990}}, "COM STANDBY FREQUENCY:2", "Number", 119900000},
        {{{"COM_RADIO_SET", 0x1A10}}, "COM ACTIVE FREQUENCY:1", "Number", 118100000},  // not decimal: ignored
        {{{"COM_RADIO_SET", 0x11810}}, "COM ACTIVE FREQUENCY:1", "Number", 118100000},  // five digits: ignored
        {{{"NAV1_RADIO_SET", 0x1170}}, "NAV ACTIVE FREQUENCY:1", "Number", 111700000},
        {{{"NAV1_STBY_SET", 0x0800}}, "NAV STANDBY FREQUENCY:1", "Number", 108000000},
        {{{"NAV2_RADIO_SET", 0x1390}}, "NAV ACTIVE FREQUENCY:2", "Number", 113900000},
        {{{"NAV2_STBY_SET", 0x1655}}, "NAV STANDBY FREQUENCY:2", "Number", 116550000},
        {{{"ADF_COMPLETE_SET", 0x04150000}}, "ADF ACTIVE FREQUENCY:1", "KHz", 415},
        {{{"ADF2_COMPLETE_SET", 0x17995000}}, "ADF ACTIVE FREQUENCY:2", "Number", 1799500},
        {{{"ADF2_COMPLETE_SET", 0x7646}}, "ADF ACTIVE FREQUENCY:2", "Number", 400000},  // four digits: ignored
        {{{"XPNDR_SET", 0x7000}}, "TRANSPONDER CODE:1", "Number", 7000},
        {{{"XPNDR_SET", 0x7800}}, "TRANSPONDER CODE:1", "Number", 2000},  // 8 is no squawk digit
        {{{"AUTOPILOT_ON", 0}}, "AUTOPILOT MASTER", "Bool", 1},
        {{{"AUTOPILOT_ON", 0}, {"AUTOPILOT_OFF", 0}}, "AUTOPILOT MASTER", "Bool", 0},
        {{{"AP_MASTER", 0}}, "AUTOPILOT MASTER", "Bool", 1},
        {{{"TOGGLE_FLIGHT_DIRECTOR", 0}}, "AUTOPILOT FLIGHT DIRECTOR ACTIVE", "Bool", 1},
        {{{"TOGGLE_FLIGHT_DIRECTOR", 0}, {"TOGGLE_FLIGHT_DIRECTOR", 0}}, "AUTOPILOT FLIGHT DIRECTOR ACTIVE", "Bool", 0},
        {{{"AUTO_THROTTLE_ARM", 0}}, "AUTOPILOT THROTTLE ARM", "Bool", 1},
        {{{"TOGGLE_GPS_DRIVES_NAV1", 1}}, "GPS DRIVES NAV1", "Bool", 1},
        {{{"AP_N1_HOLD", 0}}, "AUTOPILOT N1 HOLD", "Bool", 1},
        {{{"AP_PANEL_HEADING_ON", 1}}, "AUTOPILOT HEADING LOCK", "Bool", 1},
        {{{"AP_PANEL_HEADING_ON", 1}, {"AP_PANEL_HEADING_OFF", 1}}, "AUTOPILOT HEADING LOCK", "Bool", 0},
        {{{"AP_HDG_HOLD", 0}}, "AUTOPILOT HEADING LOCK", "Bool", 1},
        {{{"AP_HDG_HOLD", 0}, {"AP_HDG_HOLD", 0}}, "AUTOPILOT HEADING LOCK", "Bool", 0},
        {{{"AP_PANEL_HEADING_ON", 1}, {"AP_NAV1_HOLD_ON", 1}}, "AUTOPILOT HEADING LOCK", "Bool", 0},
        {{{"AP_NAV1_HOLD_ON", 1}}, "AUTOPILOT NAV1 LOCK", "Bool", 1},
        {{{"AP_NAV1_HOLD", 0}, {"AP_NAV1_HOLD_OFF", 1}}, "AUTOPILOT NAV1 LOCK", "Bool", 0},
        {{{"AP_NAV1_HOLD_ON", 1}, {"AP_LOC_HOLD_ON", 1}}, "AUTOPILOT NAV1 LOCK", "Bool", 0},
        {{{"AP_LOC_HOLD_ON", 1}}, "AUTOPILOT APPROACH HOLD", "Bool", 1},
        {{{"AP_LOC_HOLD", 0}}, "AUTOPILOT GLIDESLOPE HOLD", "Bool", 0},
        {{{"AP_LOC_HOLD", 0}, {"AP_LOC_HOLD", 0}}, "AUTOPILOT APPROACH HOLD", "Bool", 0},
        {{{"AP_LOC_HOLD_ON", 1}, {"AP_LOC_HOLD_OFF", 1}}, "AUTOPILOT APPROACH HOLD", "Bool", 0},
        {{{"AP_APR_HOLD_ON", 1}}, "AUTOPILOT GLIDESLOPE HOLD", "Bool", 1},
        {{{"AP_LOC_HOLD_ON", 1}, {"AP_APR_HOLD", 0}}, "AUTOPILOT GLIDESLOPE HOLD", "Bool", 1},
        {{{"AP_APR_HOLD", 0}, {"AP_APR_HOLD", 0}}, "AUTOPILOT APPROACH HOLD", "Bool", 0},
        {{{"AP_APR_HOLD_ON", 1}, {"AP_APR_HOLD_OFF", 1}}, "AUTOPILOT GLIDESLOPE HOLD", "Bool", 0},
        {{{"AP_PANEL_ALTITUDE_ON", 1}}, "AUTOPILOT ALTITUDE LOCK", "Bool", 1},
        {{{"AP_PANEL_ALTITUDE_ON", 1}, {"AP_PANEL_ALTITUDE_OFF", 1}}, "AUTOPILOT ALTITUDE LOCK", "Bool", 0},
        {{{"AP_PANEL_ALTITUDE_HOLD", 0}}, "AUTOPILOT ALTITUDE LOCK", "Bool", 1},
        {{{"AP_PANEL_ALTITUDE_HOLD", 0}, {"AP_PANEL_ALTITUDE_HOLD", 0}}, "AUTOPILOT ALTITUDE LOCK", "Bool", 0},
        {{{"AP_PANEL_ALTITUDE_ON", 1}, {"AP_PANEL_VS_ON", 1}}, "AUTOPILOT ALTITUDE LOCK", "Bool", 0},
        {{{"AP_PANEL_VS_HOLD", 0}}, "AUTOPILOT VERTICAL HOLD", "Bool", 1},
        {{{"AP_PANEL_VS_ON", 1}, {"AP_PANEL_ALTITUDE_HOLD", 0}}, "AUTOPILOT VERTICAL HOLD", "Bool", 0},
        {{{"AP_AIRSPEED_SET", 1}}, "AUTOPILOT AIRSPEED HOLD", "Bool", 1},
        {{{"AP_AIRSPEED_SET", 1}, {"AP_MACH_SET", 1}}, "AUTOPILOT AIRSPEED HOLD", "Bool", 0},
        {{{"AP_AIRSPEED_SET", 1}, {"AP_MACH_SET", 0}}, "AUTOPILOT AIRSPEED HOLD", "Bool", 1},
        {{{"AP_MACH_SET", 1}}, "AUTOPILOT MACH HOLD", "Bool", 1},
        {{{"AP_MACH_SET", 1}, {"AP_AIRSPEED_SET", 0}}, "AUTOPILOT MACH HOLD", "Bool", 1},
        {{{"AP_MACH_SET", 1}, {"AP_AIRSPEED_SET", 1}}, "AUTOPILOT MACH HOLD", "Bool", 0},
        {{{"AP_PANEL_SPEED_HOLD", 0}}, "AUTOPILOT AIRSPEED HOLD", "Bool", 1},
        {{{"AP_MACH_SET", 1}, {"AP_PANEL_SPEED_HOLD", 0}}, "AUTOPILOT MACH HOLD", "Bool", 0},
        {{{"RUDDER_SET", 16383}}, "INCIDENCE BETA", "Degrees", 5},
        {{{"RUDDER_SET", word(-40000)}}, "INCIDENCE BETA", "Degrees", -5},
    };
    for (const EventCase& tc : cases) {
        SCOPED_TRACE(testing::Message() << tc.sends.back().event << " " << tc.variable);
        Client c;
        Probe probe(c, {{tc.variable, tc.units}});
        for (const Send& s : tc.sends) c.send(s.event, s.data);
        probe.fly(1.0 / 30);
        EXPECT_NEAR(probe[tc.variable], tc.expected, 1e-6);
        EXPECT_EQ(c.count(SIMCONNECT_RECV_ID_EXCEPTION), 0);
        SimConnect_Close(c.handle);
        c.handle = nullptr;
    }
}

// The program's own commands come back through its own record as the values it sent.
TEST(SimEvents, TheProgramReadsBackWhatItSent)
{
    Client c;
    hSimConnect = c.handle;
    zvpyxpl_fd_add_definitions();
    zvpyxpl_fd_request_data();
    zvpyxpl_fd_transmit(EVT_COM_RADIO_SET, 0x1810);
    zvpyxpl_fd_transmit(EVT_NAV2_STBY_SET, 0x1390);
    zvpyxpl_fd_transmit(EVT_XPNDR_SET, 0x7000);
    zvpyxpl_fd_transmit(EVT_HEADING_BUG_SET, 270);
    zvpyxpl_fd_transmit(EVT_VOR1_SET, 123);
    zvpyxpl_fd_transmit(EVT_AP_ALT_VAR_SET_ENGLISH, 10000);
    zvpyxpl_fd_transmit(EVT_AP_VS_VAR_SET_ENGLISH, word(-1500));
    zvpyxpl_fd_transmit(EVT_AP_SPD_VAR_SET, 250);
    zvpyxpl_fd_transmit(EVT_AP_MACH_VAR_SET, 77);
    zvpyxpl_fd_transmit(EVT_KOHLSMAN_SET, 16209);
    zvpyxpl_fd_transmit(EVT_AUTO_THROTTLE_ARM, 0);
    zvpyxpl_fd_transmit(EVT_AP_MACH_SET, 1);
    zvpyxpl_fd_set_adf1(35000);  // tens of hertz, as published
    zvpyxpl_fd_set_adf2(1799);   // whole kHz, as the radio block's words arrive
    SimConnect_CallDispatch(c.handle, zvscpl_dispatch_proc, nullptr);

    EXPECT_EQ(fdata.com_active_frequency_1 / 10000, 11810);
    EXPECT_EQ(fdata.nav_standby_frequency_2 / 10000, 11390);
    EXPECT_EQ(fdata.transponder_code_1, 7000);
    EXPECT_EQ(std::lround(fdata.autopilot_heading_lock_dir * 57.2957795), 270);
    EXPECT_EQ(std::lround(fdata.nav_obs_1 * 57.2957795), 123);
    EXPECT_EQ(std::lround(fdata.autopilot_altitude_lock_var * 3.2808399), 10000);
    EXPECT_EQ(std::lround(fdata.autopilot_vertical_hold_var * 3.2808399 * 60.0), -1500);
    EXPECT_EQ(std::lround(fdata.autopilot_airspeed_hold_var * 1.94384449), 250);
    EXPECT_FLOAT_EQ(static_cast<float>(fdata.autopilot_mach_hold_var), 0.77f);
    EXPECT_NEAR(static_cast<float>(fdata.kohlsman_setting_mb) / 33.86f, 29.92f, 0.01f);
    EXPECT_EQ(fdata.autopilot_throttle_arm, 1);
    EXPECT_EQ(fdata.autopilot_mach_hold, 1);
    EXPECT_EQ(zvpyxpl_fd_get_adf1(), 35000u);
    EXPECT_EQ(zvpyxpl_fd_get_adf2(), 179900u);
}

}  // namespace
