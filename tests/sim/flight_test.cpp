// The simulated airliner flown frame by frame through SimConnect: flying on without the
// autopilot, heading, altitude, vertical-speed and speed holds with their captures, manual
// controls, the flight director, and air data and position that agree with each other.
#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "tests/sim/sim_client.h"

namespace {

using simtest::Client;
using simtest::Probe;

constexpr double PI = 3.141592653589793;
constexpr double DEG = PI / 180.0;

Probe flight(Client& c)
{
    return Probe(c, {{"PLANE HEADING DEGREES TRUE", "Degrees"},
                     {"PLANE HEADING DEGREES MAGNETIC", "Degrees"},
                     {"PLANE BANK DEGREES", "Degrees"},
                     {"PLANE PITCH DEGREES", "Degrees"},
                     {"PLANE ALTITUDE", "Feet"},
                     {"VERTICAL SPEED", "Feet per minute"},
                     {"AIRSPEED INDICATED", "Knots"},
                     {"AIRSPEED TRUE", "Knots"},
                     {"AIRSPEED MACH", "Mach"},
                     {"GPS GROUND SPEED", "Knots"},
                     {"GPS GROUND TRUE TRACK", "Degrees"},
                     {"PLANE LATITUDE", "Degrees"},
                     {"PLANE LONGITUDE", "Degrees"},
                     {"AMBIENT TEMPERATURE", "Celsius"},
                     {"AMBIENT WIND VELOCITY", "Knots"},
                     {"AMBIENT WIND DIRECTION", "Degrees"},
                     {"AUTOPILOT ALTITUDE LOCK", "Bool"},
                     {"AUTOPILOT VERTICAL HOLD", "Bool"},
                     {"AUTOPILOT FLIGHT DIRECTOR BANK", "Degrees"},
                     {"AUTOPILOT FLIGHT DIRECTOR PITCH", "Degrees"}});
}

double angle_difference(double a, double b) { return std::remainder(a - b, 360.0); }

TEST(SimFlight, WithoutTheAutopilotTheAircraftFliesOnStraightAndLevel)
{
    Client c;
    Probe p = flight(c);
    const double heading = p["PLANE HEADING DEGREES TRUE"], altitude = p["PLANE ALTITUDE"];
    const double ias = p["AIRSPEED INDICATED"], lat = p["PLANE LATITUDE"], lon = p["PLANE LONGITUDE"];
    const double gs = p["GPS GROUND SPEED"], track = p["GPS GROUND TRUE TRACK"];
    p.fly(120);
    EXPECT_DOUBLE_EQ(p["PLANE HEADING DEGREES TRUE"], heading);
    EXPECT_DOUBLE_EQ(p["PLANE ALTITUDE"], altitude);
    EXPECT_DOUBLE_EQ(p["AIRSPEED INDICATED"], ias);
    // Two minutes along the track at the ground speed, in nautical miles of arc.
    double north = (p["PLANE LATITUDE"] - lat) * 60.0;
    double east = (p["PLANE LONGITUDE"] - lon) * 60.0 * std::cos(lat * DEG);
    EXPECT_NEAR(std::hypot(north, east), gs * 120.0 / 3600.0, 0.01 * gs * 120.0 / 3600.0);
    EXPECT_NEAR(std::atan2(east, north) / DEG, track, 0.5);
}

struct TurnCase {
    int bug;
    double direction;  // +1 right, -1 left
};

TEST(SimFlight, HeadingHoldTurnsTheShortWayToTheBugAtAStandardRateOrLess)
{
    for (TurnCase tc : {TurnCase{180, +1}, TurnCase{0, -1}, TurnCase{270, -1}}) {
        SCOPED_TRACE(tc.bug);
        Client c;
        Probe p = flight(c);
        c.send("AUTOPILOT_ON");
        c.send("HEADING_BUG_SET", static_cast<DWORD>(tc.bug));
        c.send("AP_PANEL_HEADING_ON", 1);
        double previous = p["PLANE HEADING DEGREES MAGNETIC"], max_rate = 0, max_bank = 0;
        for (int frame = 0; frame < 240 * 30; ++frame) {
            p.fly(1.0 / 30);
            double now = p["PLANE HEADING DEGREES MAGNETIC"];
            double change = angle_difference(now, previous) * 30.0;
            EXPECT_GE(change * tc.direction, -0.05) << "frame " << frame;  // never back
            max_rate = std::max(max_rate, std::abs(change));
            max_bank = std::max(max_bank, std::abs(p["PLANE BANK DEGREES"]));
            previous = now;
        }
        EXPECT_NEAR(angle_difference(p["PLANE HEADING DEGREES MAGNETIC"], tc.bug), 0.0, 0.1);
        EXPECT_NEAR(p["PLANE BANK DEGREES"], 0.0, 0.1);
        EXPECT_LE(max_rate, 3.0 + 1e-6);
        EXPECT_GT(max_rate, 1.0);
        EXPECT_LE(max_bank, 25.0 + 1e-6);
        EXPECT_GT(max_bank, 20.0);
    }
}

TEST(SimFlight, HeadingHoldBanksRightWingDownForARightTurnAsTheSimulatorSignsIt)
{
    Client c;
    Probe p = flight(c);
    c.send("AUTOPILOT_ON");
    c.send("HEADING_BUG_SET", 180);
    c.send("AP_PANEL_HEADING_ON", 1);
    p.fly(5);
    EXPECT_LT(p["PLANE BANK DEGREES"], -10.0);  // the simulator counts left wing down as positive
}

struct ClimbCase {
    int target_ft;
    int selected_fpm;
    double expected_fpm;
};

TEST(SimFlight, AltitudeHoldClimbsOrDescendsAtTheSelectedRateAndLevelsOffAtTheTarget)
{
    for (ClimbCase tc : {ClimbCase{37000, 0, 1500}, ClimbCase{37000, 1000, 1000}, ClimbCase{33000, -2500, -2500},
                         ClimbCase{34000, 2000, -2000}}) {
        SCOPED_TRACE(tc.target_ft);
        Client c;
        Probe p = flight(c);
        c.send("AUTOPILOT_ON");
        c.send("AP_ALT_VAR_SET_ENGLISH", static_cast<DWORD>(tc.target_ft));
        c.send("AP_VS_VAR_SET_ENGLISH", static_cast<DWORD>(tc.selected_fpm));
        c.send("AP_PANEL_ALTITUDE_ON", 1);
        p.fly(20);
        EXPECT_NEAR(p["VERTICAL SPEED"], tc.expected_fpm, 1.0);
        double extreme = p["PLANE ALTITUDE"];
        for (int i = 0; i < 300; ++i) {
            p.fly(1);
            double now = p["PLANE ALTITUDE"];
            extreme = tc.expected_fpm > 0 ? std::max(extreme, now) : std::min(extreme, now);
        }
        EXPECT_NEAR(p["PLANE ALTITUDE"], tc.target_ft, 1.0);
        EXPECT_NEAR(p["VERTICAL SPEED"], 0.0, 10.0);
        EXPECT_NEAR(extreme, tc.target_ft, 1.0);  // no overshoot
    }
}

TEST(SimFlight, VerticalSpeedHoldCapturesTheSelectedAltitudeOnlyWhenFlyingTowardIt)
{
    Client c;
    Probe p = flight(c);
    c.send("AUTOPILOT_ON");
    c.send("AP_ALT_VAR_SET_ENGLISH", 33000);
    c.send("AP_VS_VAR_SET_ENGLISH", static_cast<DWORD>(-2000));
    c.send("AP_PANEL_VS_ON", 1);
    p.fly(30);
    EXPECT_NEAR(p["VERTICAL SPEED"], -2000.0, 1.0);
    EXPECT_EQ(p["AUTOPILOT VERTICAL HOLD"], 1.0);
    EXPECT_EQ(p["AUTOPILOT ALTITUDE LOCK"], 0.0);
    p.fly(150);
    EXPECT_EQ(p["AUTOPILOT VERTICAL HOLD"], 0.0);
    EXPECT_EQ(p["AUTOPILOT ALTITUDE LOCK"], 1.0);
    EXPECT_NEAR(p["PLANE ALTITUDE"], 33000.0, 1.0);

    c.send("AP_VS_VAR_SET_ENGLISH", 1000);  // now away from the selected altitude
    c.send("AP_ALT_VAR_SET_ENGLISH", 30000);
    c.send("AP_PANEL_VS_ON", 1);
    p.fly(60);
    EXPECT_NEAR(p["VERTICAL SPEED"], 1000.0, 1.0);
    EXPECT_GT(p["PLANE ALTITUDE"], 33500.0);
    EXPECT_EQ(p["AUTOPILOT VERTICAL HOLD"], 1.0);
}

TEST(SimFlight, SpeedHoldsChangeTheAirspeedOnlyWithTheAutopilotEngaged)
{
    Client c;
    Probe p = flight(c);
    const double ias = p["AIRSPEED INDICATED"];
    c.send("AP_SPD_VAR_SET", 240);
    c.send("AP_AIRSPEED_SET", 1);
    p.fly(30);
    EXPECT_DOUBLE_EQ(p["AIRSPEED INDICATED"], ias);

    c.send("AUTOPILOT_ON");
    p.fly(5);
    EXPECT_NEAR(p["AIRSPEED INDICATED"], ias - 7.5, 0.01);  // 1.5 kt/s
    p.fly(30);
    EXPECT_NEAR(p["AIRSPEED INDICATED"], 240.0, 1e-6);

    c.send("AP_MACH_VAR_SET", 80);
    c.send("AP_MACH_SET", 1);
    p.fly(60);
    EXPECT_NEAR(p["AIRSPEED MACH"], 0.80, 1e-6);
    EXPECT_NEAR(p["AIRSPEED TRUE"], 0.80 * 576.4, 0.5);
}

TEST(SimFlight, AirDataWindAndTrackAgreeWithTheState)
{
    Client c;
    Probe p = flight(c);
    c.send("AUTOPILOT_ON");
    c.send("AP_ALT_VAR_SET_ENGLISH", 39000);
    c.send("AP_VS_VAR_SET_ENGLISH", 3000);
    c.send("AP_PANEL_ALTITUDE_ON", 1);
    c.send("HEADING_BUG_SET", 200);
    c.send("AP_PANEL_HEADING_ON", 1);
    for (int i = 0; i < 12; ++i) {
        p.fly(10);
        SCOPED_TRACE(p["PLANE ALTITUDE"]);
        double h = p["PLANE ALTITUDE"] * 0.3048;
        double kelvin = h < 11000 ? 288.15 - 0.0065 * h : 216.65;
        EXPECT_NEAR(p["AMBIENT TEMPERATURE"], kelvin - 273.15, 1e-6);
        EXPECT_NEAR(p["AIRSPEED TRUE"], p["AIRSPEED MACH"] * 38.967854 * std::sqrt(kelvin), 1e-3);
        EXPECT_NEAR(p["AMBIENT WIND VELOCITY"], 10.0 + 2.0 * p["PLANE ALTITUDE"] / 1000.0, 1e-6);

        // Ground velocity = air velocity along the heading + the wind, blowing from its direction.
        double hdg = p["PLANE HEADING DEGREES TRUE"] * DEG, from = p["AMBIENT WIND DIRECTION"] * DEG;
        double tas = p["AIRSPEED TRUE"], wind = p["AMBIENT WIND VELOCITY"];
        double north = tas * std::cos(hdg) - wind * std::cos(from), east = tas * std::sin(hdg) - wind * std::sin(from);
        EXPECT_NEAR(p["GPS GROUND SPEED"], std::hypot(north, east), 1e-6);
        EXPECT_NEAR(angle_difference(p["GPS GROUND TRUE TRACK"], std::atan2(east, north) / DEG), 0.0, 1e-6);
    }
}

struct ControlCase {
    const char* event;
    int position;
    const char* variable;
    double at_least;  // after twenty seconds, with the sign the simulator gives it
};

TEST(SimFlight, ControlPositionsFlyTheAircraftWithoutTheAutopilot)
{
    const ControlCase cases[] = {
        {"ELEVATOR_SET", -8192, "VERTICAL SPEED", 1900},          // pulled halfway: climbs
        {"ELEVATOR_SET", 16383, "VERTICAL SPEED", -3900},         // pushed fully: descends
        {"AILERON_SET", -16383, "PLANE BANK DEGREES", -29.9},     // right wing down
        {"AILERON_SET", 8192, "PLANE BANK DEGREES", 14.9},        // left wing down
        {"RUDDER_SET", -16383, "PLANE HEADING DEGREES TRUE", 109}, // yaws right
    };
    for (const ControlCase& tc : cases) {
        SCOPED_TRACE(testing::Message() << tc.event << " " << tc.position);
        Client c;
        Probe p = flight(c);
        c.send(tc.event, static_cast<DWORD>(tc.position));
        p.fly(20);
        double v = p[tc.variable];
        if (tc.at_least > 0)
            EXPECT_GE(v, tc.at_least);
        else
            EXPECT_LE(v, tc.at_least);
        c.send("AUTOPILOT_ON");  // the autopilot takes over: wings level, present vertical speed
        p.fly(20);
        EXPECT_NEAR(p["PLANE BANK DEGREES"], 0.0, 1e-9);
    }
}

TEST(SimFlight, TheFlightDirectorCommandsTheSelectedModesWhileThePilotFlies)
{
    Client c;
    Probe p = flight(c);
    c.send("TOGGLE_FLIGHT_DIRECTOR");
    c.send("HEADING_BUG_SET", 180);
    c.send("AP_PANEL_HEADING_ON", 1);
    c.send("AP_ALT_VAR_SET_ENGLISH", 37000);
    c.send("AP_PANEL_ALTITUDE_ON", 1);
    const double heading = p["PLANE HEADING DEGREES TRUE"];
    p.fly(10);
    EXPECT_DOUBLE_EQ(p["PLANE HEADING DEGREES TRUE"], heading);  // the autopilot is off
    EXPECT_NEAR(p["AUTOPILOT FLIGHT DIRECTOR BANK"], 25.0, 1e-6);  // right, positive in degrees
    EXPECT_LT(p["AUTOPILOT FLIGHT DIRECTOR PITCH"], p["PLANE PITCH DEGREES"] - 1.0);  // nose up
    c.send("TOGGLE_FLIGHT_DIRECTOR");
    p.fly(1.0 / 30);
    EXPECT_EQ(p["AUTOPILOT FLIGHT DIRECTOR BANK"], 0.0);
}

TEST(SimFlight, ALongPauseIsFlownInOneGoWithTheAutopilotStillInCharge)
{
    Client c;
    Probe p = flight(c);
    c.send("AUTOPILOT_ON");
    c.send("HEADING_BUG_SET", 180);
    c.send("AP_PANEL_HEADING_ON", 1);
    c.send("AP_ALT_VAR_SET_ENGLISH", 31000);
    c.send("AP_PANEL_ALTITUDE_ON", 1);
    const double lat = p["PLANE LATITUDE"];
    simtest::elapsed += 2 * 3600.0;
    p.fly(1.0 / 30);
    EXPECT_NEAR(p["PLANE HEADING DEGREES MAGNETIC"], 180.0, 0.1);
    EXPECT_NEAR(p["PLANE ALTITUDE"], 31000.0, 1.0);
    // Two hours southbound at some 500 knots over the ground.
    EXPECT_NEAR((lat - p["PLANE LATITUDE"]) * 60.0, 2 * p["GPS GROUND SPEED"], 0.05 * 2 * p["GPS GROUND SPEED"]);
}

}  // namespace
