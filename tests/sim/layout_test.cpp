// Data blocks follow the definition the client registered: the program's 83-variable record at
// its offsets, the same variables in another order, and every value in the units and data
// type asked for.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "app/pyxplugin.h"
#include "flightdata/flightdata.h"
#include "tests/sim/sim_client.h"

namespace {

using simtest::at;
using simtest::Bytes;
using simtest::Client;

constexpr double FT = 0.3048;
constexpr double KT = 1852.0 / 3600.0;
constexpr double RAD = 180.0 / 3.141592653589793;

// Registers the program's definition and request exactly as the program does.
void register_program(Client& c)
{
    hSimConnect = c.handle;
    zvpyxpl_fd_add_definitions();
    zvpyxpl_fd_request_data();
}

TEST(SimLayout, TheProgramsDefinitionFillsItsRecordWithAnAirlinerInCruise)
{
    Client c;
    register_program(c);
    c.dispatch();
    ASSERT_EQ(c.ids(), (std::vector<DWORD>{SIMCONNECT_RECV_ID_OPEN, SIMCONNECT_RECV_ID_SIMOBJECT_DATA}));
    Bytes block = c.block(0);
    ASSERT_EQ(block.size(), sizeof(FlightData));
    FlightData d;
    std::memcpy(&d, block.data(), sizeof d);

    EXPECT_STREQ(d.title, "Built-in Simulator Airliner");
    EXPECT_DOUBLE_EQ(d.absolute_time, 62135596800.0 + simtest::START);
    EXPECT_NEAR(d.plane_latitude, 50.9, 1e-9);
    EXPECT_NEAR(d.plane_longitude, 4.5, 1e-9);
    EXPECT_NEAR(d.plane_altitude, 35000.0, 1e-6);
    EXPECT_NEAR(d.indicated_altitude, 35000.0, 5.0);  // standard setting, standard atmosphere
    EXPECT_NEAR(d.ground_altitude, 100.0 / FT, 1e-6);
    EXPECT_NEAR(d.plane_alt_above_ground, 35000.0 - 100.0 / FT, 1e-6);
    EXPECT_LT(d.plane_pitch_degrees, 0.0);  // nose up reads negative
    EXPECT_GT(d.plane_pitch_degrees, -5.0);
    EXPECT_DOUBLE_EQ(d.plane_bank_degrees, 0.0);
    EXPECT_NEAR(d.plane_heading_degrees_true, 90.0, 1e-9);
    EXPECT_NEAR(d.gps_ground_true_track * RAD, 90.0, 5.0);  // radians, a little drift
    EXPECT_NEAR(d.magvar, 2.0, 1.0);
    EXPECT_NEAR(d.airspeed_mach, 0.78, 1e-9);
    EXPECT_NEAR(d.airspeed_indicated, 264.0, 3.0);
    EXPECT_NEAR(d.airspeed_true, 0.78 * 576.4, 0.5);  // Mach times the speed of sound at -54 °C, in knots
    EXPECT_NEAR(d.ambient_temperature, -54.34, 0.05);
    EXPECT_DOUBLE_EQ(d.vertical_speed, 0.0);
    EXPECT_DOUBLE_EQ(d.kohlsman_setting_mb, 1013.25);
    EXPECT_NEAR(d.ambient_wind_velocity, 80.0, 1e-6);
    EXPECT_NEAR(d.ambient_wind_direction, 280.0, 1e-9);
    EXPECT_GT(d.gps_ground_speed, d.airspeed_true * KT);  // a tailwind component
    EXPECT_GT(d.incidence_alpha, 0.0);
    EXPECT_DOUBLE_EQ(d.flaps_handle_percent, 0.0);
    EXPECT_EQ(d.gear_handle_position, 0);

    for (std::int32_t available : {d.transponder_available_1, d.com_available_1, d.com_available_2, d.nav_available_1,
                                   d.nav_available_2, d.adf_available_1, d.adf_available_2})
        EXPECT_EQ(available, 1);
    EXPECT_EQ(d.com_status_1, 0);
    EXPECT_EQ(d.com_status_2, 0);
    EXPECT_EQ(d.transponder_code_1, 2000);
    EXPECT_EQ(d.com_active_frequency_1, 118100000);
    EXPECT_EQ(d.com_standby_frequency_2, 122800000);
    EXPECT_EQ(d.nav_active_frequency_1, 110300000);
    EXPECT_EQ(d.nav_standby_frequency_2, 108000000);
    EXPECT_EQ(d.adf_active_frequency_1, 350000);
    EXPECT_EQ(d.adf_standby_frequency_2, 350000);

    EXPECT_DOUBLE_EQ(d.design_speed_vs0, 110.0);
    EXPECT_DOUBLE_EQ(d.design_speed_vc, 290.0);
    EXPECT_NEAR(d.airspeed_barber_pole, 282.0, 3.0);  // the Mach limit at this height
    EXPECT_DOUBLE_EQ(d.mach_max_operate, 0.82);

    EXPECT_EQ(d.autopilot_available, 1);
    EXPECT_EQ(d.autopilot_flight_director_active, 0);
    EXPECT_EQ(d.autopilot_master, 0);
    EXPECT_EQ(d.autopilot_heading_lock + d.autopilot_altitude_lock + d.autopilot_vertical_hold +
                  d.autopilot_nav1_lock + d.autopilot_approach_hold + d.autopilot_throttle_arm,
              0);
    EXPECT_EQ(d.autopilot_mach_hold + d.autopilot_airspeed_hold, 0);
    // Targets in the simulator's own units: radians, metres, metres per second.
    EXPECT_NEAR(d.autopilot_heading_lock_dir * RAD, 88.0, 1.0);
    EXPECT_NEAR(d.autopilot_altitude_lock_var, 35000.0 * FT, 1e-6);
    EXPECT_NEAR(d.autopilot_airspeed_hold_var / KT, 264.0, 3.0);
    EXPECT_DOUBLE_EQ(d.autopilot_mach_hold_var, 0.78);
    EXPECT_DOUBLE_EQ(d.autopilot_vertical_hold_var, 0.0);
    EXPECT_NEAR(d.nav_obs_2 * RAD, 270.0, 1e-9);
    EXPECT_DOUBLE_EQ(d.attitude_indicator_pitch_degrees * RAD, d.plane_pitch_degrees);
}

TEST(SimLayout, TheSameVariablesInAnotherOrderGiveTheSameFieldsInThatOrder)
{
    Client c;
    register_program(c);
    for (std::size_t i = FLIGHT_VARIABLE_COUNT; i-- > 0;) {
        const FlightVariable& row = flightVariables[i];
        SimConnect_AddToDataDefinition(c.handle, 1, row.name, row.units, row.type);
    }
    SimConnect_RequestDataOnSimObject(c.handle, 1, 1, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_VISUAL_FRAME);
    c.frame(100);
    Bytes forward = c.block(0), reversed = c.block(1);
    ASSERT_EQ(forward.size(), sizeof(FlightData));
    ASSERT_EQ(reversed.size(), sizeof(FlightData));
    std::size_t at_reversed = sizeof(FlightData);
    for (std::size_t i = 0; i < FLIGHT_VARIABLE_COUNT; ++i) {
        std::size_t end = i + 1 < FLIGHT_VARIABLE_COUNT ? flightVariables[i + 1].offset : sizeof(FlightData);
        std::size_t width = end - flightVariables[i].offset;
        at_reversed -= width;
        EXPECT_EQ(0, std::memcmp(forward.data() + flightVariables[i].offset, reversed.data() + at_reversed, width))
            << flightVariables[i].name;
    }
}

TEST(SimLayout, AllVariablesOfOneBlockComeFromTheSameFrame)
{
    Client c;
    register_program(c);
    SimConnect_AddToDataDefinition(c.handle, 1, "PLANE HEADING DEGREES TRUE", "Degrees");
    SimConnect_RequestDataOnSimObject(c.handle, 1, 1, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_VISUAL_FRAME);
    c.send("AUTOPILOT_ON");
    c.send("HEADING_BUG_SET", 180);
    c.send("AP_PANEL_HEADING_ON");
    for (int i = 0; i < 90; ++i) {
        c.frame();
        EXPECT_DOUBLE_EQ(at<double>(c.block(0), offsetof(FlightData, plane_heading_degrees_true)),
                         at<double>(c.block(1), 0));
    }
}

// Two readings of one variable in different units: second = first × factor + offset.
struct UnitPair {
    const char* name;
    const char* units;
    const char* other_units;
    double factor;
    double offset;
};

TEST(SimLayout, UnitsConvertWithinTheirQuantity)
{
    const UnitPair pairs[] = {
        {"PLANE ALTITUDE", "Feet", "Meters", FT, 0},
        {"PLANE ALTITUDE", "feet", "Kilometers", FT / 1000, 0},
        {"PLANE ALTITUDE", "Feet", "Number", 1, 0},  // the simulator keeps it in feet
        {"AUTOPILOT ALTITUDE LOCK VAR", "Number", "Feet", 1 / FT, 0},  // ... and this one in metres
        {"PLANE HEADING DEGREES TRUE", "Radians", "Degrees", RAD, 0},
        {"PLANE HEADING DEGREES TRUE", "Radians", "Number", 1, 0},
        {"AUTOPILOT HEADING LOCK DIR", "Number", "Degrees", RAD, 0},
        {"NAV OBS:1", "Bool", "Degrees", RAD, 0},
        {"MAGVAR", "Degrees", "Enum", 1, 0},
        {"GPS GROUND SPEED", "Meters per second", "Knots", 1 / KT, 0},
        {"GPS GROUND SPEED", "m/s", "km/h", 3.6, 0},
        {"AIRSPEED TRUE", "Knots", "Feet per second", KT / FT, 0},
        {"AIRSPEED INDICATED", "Knots", "Miles per hour", KT / 0.44704, 0},
        {"AUTOPILOT AIRSPEED HOLD VAR", "Number", "Knots", 1 / KT, 0},
        {"AMBIENT TEMPERATURE", "Celsius", "Kelvin", 1, 273.15},
        {"AMBIENT TEMPERATURE", "Celsius", "Fahrenheit", 1.8, 32},
        {"AMBIENT TEMPERATURE", "Celsius", "Rankine", 1.8, 491.67},
        {"KOHLSMAN SETTING MB", "Millibars", "Inches of mercury", 100 / 3386.389, 0},
        {"KOHLSMAN SETTING MB", "Millibars", "Pascals", 100, 0},
        {"AMBIENT PRESSURE", "inHg", "hPa", 33.86389, 0},
        {"ABSOLUTE TIME", "Seconds", "Hours", 1 / 3600.0, 0},
        {"COM ACTIVE FREQUENCY:1", "Hz", "MHz", 1e-6, 0},
        {"ADF ACTIVE FREQUENCY:1", "Number", "KHz", 1e-3, 0},
        {"AIRSPEED MACH", "Mach", "Number", 1, 0},
    };
    Client c;
    for (const UnitPair& p : pairs) {
        SimConnect_AddToDataDefinition(c.handle, 1, p.name, p.units);
        SimConnect_AddToDataDefinition(c.handle, 1, p.name, p.other_units);
    }
    SimConnect_RequestDataOnSimObject(c.handle, 1, 1, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE);
    c.dispatch();
    Bytes block = c.block(1);
    ASSERT_EQ(block.size(), std::size(pairs) * 16);
    for (std::size_t i = 0; i < std::size(pairs); ++i) {
        const UnitPair& p = pairs[i];
        double first = at<double>(block, 16 * i), second = at<double>(block, 16 * i + 8);
        EXPECT_NE(first, 0.0) << p.name;
        EXPECT_NEAR(second, first * p.factor + p.offset, std::abs(second) * 1e-12 + 1e-9)
            << p.name << " in " << p.other_units;
    }
}

TEST(SimLayout, ValuesTakeTheRequestedDataType)
{
    Client c;
    auto add = [&](const char* name, const char* units, SIMCONNECT_DATATYPE type) {
        SimConnect_AddToDataDefinition(c.handle, 1, name, units, type);
    };
    add("ABSOLUTE TIME", "Seconds", SIMCONNECT_DATATYPE_INT64);             // 0
    add("ABSOLUTE TIME", "Seconds", SIMCONNECT_DATATYPE_INT32);             // 8: beyond 32 bits
    add("ABSOLUTE TIME", "Seconds", SIMCONNECT_DATATYPE_FLOAT32);           // 12
    add("DESIGN SPEED VS0", "Knots", SIMCONNECT_DATATYPE_INT32);            // 16
    add("DESIGN SPEED VS0", "Meters per second", SIMCONNECT_DATATYPE_INT32);  // 20: truncated
    add("VERTICAL SPEED", "Feet per minute", SIMCONNECT_DATATYPE_INT32);    // 24
    add("TRANSPONDER CODE:1", "Number", SIMCONNECT_DATATYPE_INT32);         // 28
    add("TRANSPONDER CODE:1", "BCO16", SIMCONNECT_DATATYPE_INT32);          // 32
    add("COM ACTIVE FREQUENCY:1", "Number", SIMCONNECT_DATATYPE_INT64);     // 36
    add("TITLE", nullptr, SIMCONNECT_DATATYPE_STRING8);                     // 44
    add("TITLE", "", SIMCONNECT_DATATYPE_STRING260);                        // 52
    SimConnect_RequestDataOnSimObject(c.handle, 1, 1, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE);
    c.dispatch();
    Bytes b = c.block(1);
    ASSERT_EQ(b.size(), 52u + 260u);
    const double seconds = 62135596800.0 + simtest::START;
    EXPECT_EQ(at<std::int64_t>(b, 0), static_cast<std::int64_t>(seconds));
    EXPECT_EQ(at<std::int32_t>(b, 8), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(at<float>(b, 12), static_cast<float>(seconds));
    EXPECT_EQ(at<std::int32_t>(b, 16), 110);
    EXPECT_EQ(at<std::int32_t>(b, 20), 56);  // 56.59 m/s
    EXPECT_EQ(at<std::int32_t>(b, 24), 0);
    EXPECT_EQ(at<std::int32_t>(b, 28), 2000);
    EXPECT_EQ(at<std::int32_t>(b, 32), 0x2000);
    EXPECT_EQ(at<std::int64_t>(b, 36), 118100000);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + 44), 8), std::string("Built-i\0", 8));
    EXPECT_STREQ(reinterpret_cast<const char*>(b.data() + 52), "Built-in Simulator Airliner");
    EXPECT_EQ(b.back(), 0);
}

TEST(SimLayout, ARejectedDatumLeavesNoGap)
{
    Client c;
    SimConnect_AddToDataDefinition(c.handle, 1, "DESIGN SPEED VS0", "Knots");
    SimConnect_AddToDataDefinition(c.handle, 1, "DESIGN SPEED VS9", "Knots");
    SimConnect_AddToDataDefinition(c.handle, 1, "DESIGN SPEED VS1", "Feet");
    SimConnect_AddToDataDefinition(c.handle, 1, "DESIGN SPEED VC", "Knots");
    SimConnect_RequestDataOnSimObject(c.handle, 1, 1, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE);
    c.dispatch();
    Bytes b = c.block(1);
    ASSERT_EQ(b.size(), 16u);
    EXPECT_EQ(at<double>(b, 0), 110.0);
    EXPECT_EQ(at<double>(b, 8), 290.0);
    EXPECT_EQ(c.count(SIMCONNECT_RECV_ID_EXCEPTION), 2);
}

}  // namespace
