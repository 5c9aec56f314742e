// The built-in simulator's world: one airliner in cruise with its radios and autopilot, a
// standard atmosphere with a steady wind, and the simulator's date. The flight model is
// kinematic and cheap: each step moves the aircraft toward what its autopilot or its control
// positions command, within fixed rate limits, so any step length stays stable.
#pragma once

#include <array>
#include <cstdint>

namespace zvsim {

inline constexpr double PI = 3.141592653589793;
inline constexpr double FEET = 0.3048;            // metres per foot
inline constexpr double KNOTS = 1852.0 / 3600.0;  // metres per second per knot
inline constexpr double FPM = FEET / 60.0;        // metres per second per foot per minute
inline constexpr double DEG = PI / 180.0;         // radians per degree

// Seconds from 0001-01-01 to 1970-01-01: the simulator counts its date from the year 1.
inline constexpr double UNIX_EPOCH_IN_SIM_SECONDS = 62135596800.0;

struct Autopilot {
    bool master = false;
    bool flight_director = false;
    bool heading = false;
    bool nav1 = false;
    bool approach = false;    // also set, without the glideslope, by the localiser hold
    bool glideslope = false;
    bool altitude = false;
    bool vertical_speed = false;
    bool airspeed = false;
    bool mach = false;
    bool throttle_arm = false;
    bool n1 = false;
    bool gps_drives_nav1 = false;
};

struct World {
    double absolute_time = 0.0;  // seconds since 0001-01-01 00:00 UTC

    // Flown state: true values, SI units, angles in radians.
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude_m = 0.0;  // above mean sea level
    double ground_m = 0.0;    // terrain elevation below the aircraft
    double heading = 0.0;     // true, [0, 2π)
    double bank = 0.0;        // right wing down positive
    double ias_ms = 0.0;      // indicated (calibrated) airspeed
    double vs_ms = 0.0;
    double kohlsman_mb = 1013.25;
    double flaps_percent = 0.0;
    bool gear_down = false;

    // Control positions from -1 to 1 with the sign of the control events: positive elevator
    // pushes the nose down, positive aileron rolls left, positive rudder yaws left.
    double elevator = 0.0;
    double aileron = 0.0;
    double rudder = 0.0;

    // Radios in hertz; the squawk as its four dialled digits (7000 for code 7000).
    std::array<std::int32_t, 2> com_active{}, com_standby{};
    std::array<std::int32_t, 2> nav_active{}, nav_standby{};
    std::array<std::int32_t, 2> adf_active{}, adf_standby{};
    std::int32_t squawk = 0;

    Autopilot ap;
    double ap_heading = 0.0;  // the heading bug, magnetic
    double ap_altitude_m = 0.0;
    double ap_vs_ms = 0.0;
    double ap_airspeed_ms = 0.0;
    double ap_mach = 0.0;
    std::array<double, 2> obs{};  // course selectors, magnetic

    // Derived from the state above by derive(); read by the simulator variables.
    double pressure_pa = 0.0;
    double temperature_c = 0.0;
    double tas_ms = 0.0;
    double mach = 0.0;
    double ground_speed_ms = 0.0;
    double track = 0.0;  // true, [0, 2π)
    double wind_ms = 0.0;
    double wind_from = 0.0;  // true direction the wind blows from
    double magvar = 0.0;     // east positive
    double indicated_altitude_ft = 0.0;
    double pitch = 0.0;  // nose up positive
    double alpha = 0.0;
    double beta = 0.0;
    double barber_pole_ms = 0.0;
    double fd_bank = 0.0;   // flight-director command, right wing down positive
    double fd_pitch = 0.0;  // flight-director command, nose up positive
};

// Design figures of the aircraft.
inline constexpr double VS0_KT = 110.0;
inline constexpr double VS1_KT = 125.0;
inline constexpr double VC_KT = 290.0;
inline constexpr double VMO_KT = 340.0;
inline constexpr double MMO = 0.82;

// Airborne in cruise over Belgium at flight level 350, heading east at Mach 0.78, with the
// flight director and autopilot off; `now_unix` (seconds since 1970) sets the date.
World initial_world(double now_unix);

// Advances the flight by `dt` seconds and updates the derived values.
void step(World& w, double dt);

// Recomputes the derived values from the flown state (after a step or a command).
void derive(World& w);

// Standard-atmosphere static pressure (pascals) and the speed conversions that depend on it.
double static_pressure(double altitude_m);
double mach_from_cas(double cas_ms, double pressure_pa);
double cas_from_mach(double mach, double pressure_pa);

// Angle arithmetic.
double wrap_2pi(double a);  // into [0, 2π)
double wrap_pi(double a);   // into [-π, π)

}  // namespace zvsim
