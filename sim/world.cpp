// The flight model of the built-in simulator: standard atmosphere, airspeed conversions,
// autopilot modes and manual control, and the aircraft's motion over the earth.
#include "sim/world.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace zvsim {

namespace {

constexpr double G = 9.80665;
constexpr double EARTH_RADIUS_M = 6371000.0;
constexpr double SEA_LEVEL_PA = 101325.0;
constexpr double SEA_LEVEL_K = 288.15;
constexpr double SEA_LEVEL_SOUND_MS = 340.294;
constexpr double TROPOPAUSE_M = 11000.0;
constexpr double TROPOPAUSE_PA = 22632.06;
constexpr double TROPOPAUSE_K = 216.65;
constexpr double LAPSE_K_PER_M = 0.0065;
constexpr double GAS_CONSTANT = 287.053;

// Autopilot and handling limits.
constexpr double STANDARD_RATE = 3.0 * DEG;  // per second
constexpr double MAX_AP_BANK = 25.0 * DEG;
constexpr double MANUAL_BANK = 30.0 * DEG;  // at full aileron
constexpr double ROLL_RATE = 5.0 * DEG;     // per second
constexpr double HEADING_GAIN = 0.2;        // turn rate per radian of heading error
constexpr double RUDDER_TURN_RATE = 1.0 * DEG;
constexpr double MAX_SIDESLIP = 5.0 * DEG;
constexpr double ALTITUDE_GAIN = 0.1;  // vertical speed per metre of altitude error
constexpr double DEFAULT_CLIMB_MS = 1500.0 * FPM;
constexpr double MIN_SELECTED_VS_MS = 100.0 * FPM;
constexpr double MANUAL_VS_MS = 4000.0 * FPM;      // at full elevator
constexpr double VERTICAL_ACCEL_MS2 = 200.0 * FPM;  // vertical speed change per second
constexpr double SPEED_ACCEL_MS2 = 1.5 * KNOTS;
constexpr double MIN_IAS_MS = 1.3 * VS1_KT * KNOTS;
constexpr double MIN_HEIGHT_M = 1000.0 * FEET;
constexpr double CEILING_M = 41000.0 * FEET;
constexpr double CRUISE_ALPHA = 2.2 * DEG;
constexpr double CRUISE_IAS_MS = 270.0 * KNOTS;
constexpr double MAX_ALPHA = 15.0 * DEG;

// Weather: the wind blows from the west-north-west, stronger with height.
constexpr double WIND_FROM = 280.0 * DEG;
constexpr double WIND_BASE_KT = 10.0;
constexpr double WIND_KT_PER_1000_FT = 2.0;

double approach(double value, double target, double max_change)
{
    return value + std::clamp(target - value, -max_change, max_change);
}

double temperature_k(double altitude_m)
{
    return altitude_m < TROPOPAUSE_M ? SEA_LEVEL_K - LAPSE_K_PER_M * altitude_m : TROPOPAUSE_K;
}

// A smooth field of magnetic variation, a few degrees east over Europe, west over America.
double magvar_at(double latitude, double longitude)
{
    return (1.5 + 8.0 * std::sin(longitude) * std::cos(latitude)) * DEG;
}

// The true heading the engaged lateral mode steers to; the navigation modes fly the course
// of selector 1 as a heading, since the world holds no radio stations.
std::optional<double> lateral_target(const World& w)
{
    if (w.ap.heading) return w.ap_heading + w.magvar;
    if (w.ap.nav1 || w.ap.approach) return w.obs[0] + w.magvar;
    return std::nullopt;
}

double tas_for_turns(const World& w) { return std::max(w.tas_ms, 50.0); }

// Bank for the lateral mode: toward the target at the standard rate, or at 25° of bank where
// that needs less; wings level without a lateral mode.
double mode_bank(const World& w)
{
    std::optional<double> target = lateral_target(w);
    if (!target) return 0.0;
    double v = tas_for_turns(w);
    double max_rate = std::min(STANDARD_RATE, G * std::tan(MAX_AP_BANK) / v);
    double rate = std::clamp(wrap_pi(*target - w.heading) * HEADING_GAIN, -max_rate, max_rate);
    return std::atan(v * rate / G);
}

// Vertical speed for the vertical mode: altitude hold flies to the selected altitude at the
// selected vertical speed (1500 ft/min when none is selected) and levels off smoothly; without
// a vertical mode the present vertical speed is kept.
double mode_vs(const World& w)
{
    if (w.ap.altitude) {
        double limit = std::abs(w.ap_vs_ms) >= MIN_SELECTED_VS_MS ? std::abs(w.ap_vs_ms) : DEFAULT_CLIMB_MS;
        return std::clamp((w.ap_altitude_m - w.altitude_m) * ALTITUDE_GAIN, -limit, limit);
    }
    if (w.ap.vertical_speed) return w.ap_vs_ms;
    return w.vs_ms;
}

void fly_lateral(World& w, double dt)
{
    double bank_command = w.ap.master ? mode_bank(w) : -w.aileron * MANUAL_BANK;
    w.bank = approach(w.bank, bank_command, ROLL_RATE * dt);
    double turn = G * std::tan(w.bank) / tas_for_turns(w);
    if (!w.ap.master) turn -= w.rudder * RUDDER_TURN_RATE;
    double change = turn * dt;
    if (std::optional<double> target = lateral_target(w); w.ap.master && target) {
        double error = wrap_pi(*target - w.heading);
        if (change * error > 0.0 && std::abs(change) > std::abs(error)) change = error;  // never past the target
    }
    w.heading = wrap_2pi(w.heading + change);
}

void fly_vertical(World& w, double dt)
{
    double vs_command = w.ap.master ? mode_vs(w) : -w.elevator * MANUAL_VS_MS;
    w.vs_ms = approach(w.vs_ms, vs_command, VERTICAL_ACCEL_MS2 * dt);
    double change = w.vs_ms * dt;

    if (w.ap.master && (w.ap.altitude || w.ap.vertical_speed)) {
        double error = w.ap_altitude_m - w.altitude_m;
        bool toward = error * w.vs_ms > 0.0;
        // Vertical-speed hold captures the selected altitude once altitude hold would ask for
        // no more than the present rate, or when this step would cross it.
        if (w.ap.vertical_speed && toward &&
            (std::abs(error) * ALTITUDE_GAIN <= std::abs(w.vs_ms) || std::abs(change) >= std::abs(error))) {
            w.ap.vertical_speed = false;
            w.ap.altitude = true;
        }
        if (w.ap.altitude && toward && std::abs(change) > std::abs(error)) change = error;
    }
    w.altitude_m += change;

    double floor = w.ground_m + MIN_HEIGHT_M;
    if (w.altitude_m <= floor) {
        w.altitude_m = floor;
        w.vs_ms = std::max(w.vs_ms, 0.0);
    } else if (w.altitude_m >= CEILING_M) {
        w.altitude_m = CEILING_M;
        w.vs_ms = std::min(w.vs_ms, 0.0);
    }
}

void fly_speed(World& w, double dt)
{
    if (w.ap.master && (w.ap.airspeed || w.ap.mach)) {
        double target = w.ap.mach ? cas_from_mach(w.ap_mach, w.pressure_pa) : w.ap_airspeed_ms;
        w.ias_ms = approach(w.ias_ms, target, SPEED_ACCEL_MS2 * dt);
    }
    w.ias_ms = std::clamp(w.ias_ms, MIN_IAS_MS, std::max(MIN_IAS_MS, w.barber_pole_ms));
}

// Moves the aircraft over a spherical earth by its ground velocity; crossing a pole comes out
// on the far meridian heading the other way.
void move(World& w, double dt)
{
    double north = w.ground_speed_ms * std::cos(w.track);
    double east = w.ground_speed_ms * std::sin(w.track);
    double radius = EARTH_RADIUS_M + w.altitude_m;
    w.latitude += north * dt / radius;
    w.longitude += east * dt / (radius * std::max(std::cos(w.latitude), 1e-6));
    if (std::abs(w.latitude) > PI / 2) {
        w.latitude = std::copysign(PI, w.latitude) - w.latitude;
        w.longitude += PI;
        w.heading = wrap_2pi(w.heading + PI);
    }
    w.longitude = wrap_pi(w.longitude);
}

double alpha_for(const World& w)
{
    double ratio = CRUISE_IAS_MS / std::max(w.ias_ms, MIN_IAS_MS);
    return std::clamp(CRUISE_ALPHA * ratio * ratio / std::cos(w.bank), 0.0, MAX_ALPHA);
}

double flight_path(double vs_ms, double tas_ms)
{
    return std::asin(std::clamp(vs_ms / std::max(tas_ms, 1.0), -1.0, 1.0));
}

}  // namespace

double wrap_2pi(double a)
{
    a = std::fmod(a, 2 * PI);
    if (a < 0) a += 2 * PI;
    return a >= 2 * PI ? 0.0 : a;  // a tiny negative input rounds up to 2π
}

double wrap_pi(double a) { return wrap_2pi(a + PI) - PI; }

double static_pressure(double altitude_m)
{
    if (altitude_m < TROPOPAUSE_M) return SEA_LEVEL_PA * std::pow(temperature_k(altitude_m) / SEA_LEVEL_K, 5.255877);
    return TROPOPAUSE_PA * std::exp(-G / (GAS_CONSTANT * TROPOPAUSE_K) * (altitude_m - TROPOPAUSE_M));
}

// Subsonic compressible-flow relations between calibrated airspeed and Mach number.
double mach_from_cas(double cas_ms, double pressure_pa)
{
    double c = cas_ms / SEA_LEVEL_SOUND_MS;
    double impact = SEA_LEVEL_PA * (std::pow(1.0 + 0.2 * c * c, 3.5) - 1.0);
    return std::sqrt(5.0 * (std::pow(impact / pressure_pa + 1.0, 2.0 / 7.0) - 1.0));
}

double cas_from_mach(double mach, double pressure_pa)
{
    double impact = pressure_pa * (std::pow(1.0 + 0.2 * mach * mach, 3.5) - 1.0);
    return SEA_LEVEL_SOUND_MS * std::sqrt(5.0 * (std::pow(impact / SEA_LEVEL_PA + 1.0, 2.0 / 7.0) - 1.0));
}

void derive(World& w)
{
    double t = temperature_k(w.altitude_m);
    w.pressure_pa = static_pressure(w.altitude_m);
    w.temperature_c = t - 273.15;
    w.mach = mach_from_cas(w.ias_ms, w.pressure_pa);
    w.tas_ms = w.mach * std::sqrt(1.4 * GAS_CONSTANT * t);
    w.barber_pole_ms = std::min(VMO_KT * KNOTS, cas_from_mach(MMO, w.pressure_pa));

    w.wind_from = WIND_FROM;
    w.wind_ms = (WIND_BASE_KT + WIND_KT_PER_1000_FT * w.altitude_m / FEET / 1000.0) * KNOTS;
    double north = w.tas_ms * std::cos(w.heading) - w.wind_ms * std::cos(w.wind_from);
    double east = w.tas_ms * std::sin(w.heading) - w.wind_ms * std::sin(w.wind_from);
    w.ground_speed_ms = std::hypot(north, east);
    w.track = wrap_2pi(std::atan2(east, north));

    w.magvar = magvar_at(w.latitude, w.longitude);
    // The altimeter reads the pressure altitude referred to its setting.
    w.indicated_altitude_ft = 145442.16 * (1.0 - std::pow(w.pressure_pa / (w.kohlsman_mb * 100.0), 0.190263));

    w.alpha = alpha_for(w);
    w.pitch = w.alpha + flight_path(w.vs_ms, w.tas_ms);
    w.beta = w.ap.master ? 0.0 : w.rudder * MAX_SIDESLIP;
    w.fd_bank = w.ap.flight_director ? mode_bank(w) : 0.0;
    w.fd_pitch = w.ap.flight_director ? w.alpha + flight_path(mode_vs(w), w.tas_ms) : 0.0;
}

// The derived values are current on entry (every change ends with derive), so the aircraft
// moves by the ground velocity at the start of the step.
void step(World& w, double dt)
{
    move(w, dt);
    fly_speed(w, dt);
    fly_lateral(w, dt);
    fly_vertical(w, dt);
    derive(w);
}

World initial_world(double now_unix)
{
    World w;
    w.absolute_time = UNIX_EPOCH_IN_SIM_SECONDS + now_unix;
    w.latitude = 50.9 * DEG;
    w.longitude = 4.5 * DEG;
    w.altitude_m = 35000.0 * FEET;
    w.ground_m = 100.0;
    w.heading = 90.0 * DEG;
    w.ias_ms = cas_from_mach(0.78, static_pressure(w.altitude_m));

    w.com_active = {118100000, 121500000};
    w.com_standby = {121500000, 122800000};
    w.nav_active = {110300000, 114550000};
    w.nav_standby = {113900000, 108000000};
    w.adf_active = {350000, 400000};
    w.adf_standby = {400000, 350000};
    w.squawk = 2000;

    derive(w);
    w.ap_heading = std::round((w.heading - w.magvar) / DEG) * DEG;
    w.ap_altitude_m = w.altitude_m;
    w.ap_airspeed_ms = std::round(w.ias_ms / KNOTS) * KNOTS;
    w.ap_mach = 0.78;
    w.obs = {w.ap_heading, 270.0 * DEG};
    return w;
}

}  // namespace zvsim
