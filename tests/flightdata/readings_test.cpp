// Readings of the flight data against hand-computed values, from crafted records.
#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "flightdata/flightdata.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPi = 3.141592653589793;

double rad(double deg) { return deg * kPi / 180.0; }

struct Case {
    const char* what;
    void (*setup)(FlightData&);
    double (*read)();
    double expected;    // not a number: the reading must be not a number
    double tolerance;   // 0: exactly
};

void check(const Case& c)
{
    SCOPED_TRACE(c.what);
    std::memset(&fdata, 0, sizeof fdata);
    c.setup(fdata);
    const double got = c.read();
    if (std::isnan(c.expected))
        EXPECT_TRUE(std::isnan(got)) << got;
    else if (c.tolerance == 0.0)
        EXPECT_EQ(got, c.expected);
    else
        EXPECT_NEAR(got, c.expected, c.tolerance);
}

#define READ(...) [] { return static_cast<double>(__VA_ARGS__); }
#define SET(...) []([[maybe_unused]] FlightData& f) { __VA_ARGS__; }

TEST(Readings, PositionAttitudeSpeedsAndEnvironment)
{
    const Case cases[] = {
        {"latitude as delivered", SET(f.plane_latitude = 47.5), READ(zvpyxpl_fd_get_latitude()), 47.5, 0},
        {"longitude as delivered", SET(f.plane_longitude = -122.25), READ(zvpyxpl_fd_get_longitude()), -122.25, 0},
        {"indicated altitude in metres", SET(f.indicated_altitude = 1000.0), READ(zvpyxpl_fd_get_altitude_m()), 304.8, 1e-12},
        {"indicated altitude in feet", SET(f.indicated_altitude = 1000.0), READ(zvpyxpl_fd_get_altitude_ft()), 1000.0, 0},
        {"true altitude in metres", SET(f.plane_altitude = 10000.0), READ(zvpyxpl_fd_get_msl_m()), 3048.0, 1e-9},
        {"true altitude in feet", SET(f.plane_altitude = 10000.0), READ(zvpyxpl_fd_get_msl_ft()), 10000.0, 0},
        {"height in metres", SET(f.plane_alt_above_ground = 50.0), READ(zvpyxpl_fd_get_agl_m()), 15.24, 1e-12},
        {"height in feet", SET(f.plane_alt_above_ground = 50.0), READ(zvpyxpl_fd_get_agl_ft()), 50.0, 0},
        {"pitch sign reversed", SET(f.plane_pitch_degrees = 5.0), READ(zvpyxpl_fd_get_pitch_deg()), -5.0, 0},
        {"bank sign reversed", SET(f.plane_bank_degrees = -10.0), READ(zvpyxpl_fd_get_roll_deg()), 10.0, 0},
        {"heading not wrapped", SET(f.plane_heading_degrees_true = 370.0), READ(zvpyxpl_fd_get_hdg_true_deg()), 370.0, 0},
        {"track from radians, not wrapped", SET(f.gps_ground_true_track = 3 * kPi), READ(zvpyxpl_fd_get_trk_true_deg()), 540.0, 1e-12},
        {"magnetic variation sign reversed", SET(f.magvar = 3.0), READ(zvpyxpl_fd_get_magvar_deg()), -3.0, 0},
        {"angle of attack from radians", SET(f.incidence_alpha = 0.1), READ(zvpyxpl_fd_get_alpha_deg()), 5.729577951308232, 1e-13},
        {"ground speed stays in metres per second", SET(f.gps_ground_speed = 100.0), READ(zvpyxpl_fd_get_gs_kt()), 100.0, 0},
        {"indicated airspeed", SET(f.airspeed_indicated = 250.0), READ(zvpyxpl_fd_get_ias_kt()), 250.0, 0},
        {"true airspeed", SET(f.airspeed_true = 450.0), READ(zvpyxpl_fd_get_tas_kt()), 450.0, 0},
        {"true airspeed in metres per second", SET(f.airspeed_true = 194.384449), READ(zvpyxpl_fd_get_tas_ms()), 100.0, 1e-12},
        {"Mach as delivered", SET(f.airspeed_mach = 0.82), READ(zvpyxpl_fd_get_mach()), 0.82, 0},
        {"vertical speed per minute", SET(f.vertical_speed = -12.5), READ(zvpyxpl_fd_get_vvi_fpm()), -750.0, 0},
        {"temperature", SET(f.ambient_temperature = -56.5), READ(zvpyxpl_fd_get_otemp_deg()), -56.5, 0},
        {"wind speed", SET(f.ambient_wind_velocity = 35.0), READ(zvpyxpl_fd_get_windspeed_kt()), 35.0, 0},
        {"wind direction", SET(f.ambient_wind_direction = 270.0), READ(zvpyxpl_fd_get_winddir_deg_true()), 270.0, 0},
        // Narrowed, then divided by the single-precision constant.
        {"altimeter in inches", SET(f.kohlsman_setting_mb = 1013.25), READ(zvpyxpl_fd_get_baro_inhg()), double(1013.25f / 33.86f), 0},
        {"altimeter narrowed first", SET(f.kohlsman_setting_mb = 1013.2500000001), READ(zvpyxpl_fd_get_baro_inhg()), double(1013.25f / 33.86f), 0},
        {"flaps 50 percent is a half", SET(f.flaps_handle_percent = 50.0), READ(zvpyxpl_fd_get_flapshandle_perc()), 0.5, 0},
        {"gear handle", SET(f.gear_handle_position = 1), READ(zvpyxpl_fd_get_lgear_down()), 1, 0},
        {"stall speed, landing", SET(f.design_speed_vs0 = 110.3), READ(zvpyxpl_fd_get_vs0()), double(110.3f), 0},
        {"stall speed, clean", SET(f.design_speed_vs1 = 125.7), READ(zvpyxpl_fd_get_vs1()), double(125.7f), 0},
        {"design cruise speed", SET(f.design_speed_vc = 290.1), READ(zvpyxpl_fd_get_vfe()), double(290.1f), 0},
        {"barber pole", SET(f.airspeed_barber_pole = 340.9), READ(zvpyxpl_fd_get_vne()), double(340.9f), 0},
        {"maximum Mach", SET(f.mach_max_operate = 0.82), READ(zvpyxpl_fd_get_mmo()), double(0.82f), 0},
    };
    for (const Case& c : cases) check(c);
}

TEST(Readings, DriftWrapsIntoHalfOpenRangeAndNeedsGroundSpeed)
{
    const Case cases[] = {
        {"exactly 2.0 m/s gives none", SET(f.gps_ground_speed = 2.0; f.plane_heading_degrees_true = 10.0;
                                           f.gps_ground_true_track = rad(350.0)),
         READ(zvpyxpl_fd_get_beta_deg()), 0.0, 0},
        {"just above 2.0 m/s", SET(f.gps_ground_speed = 2.0001; f.plane_heading_degrees_true = 10.0;
                                   f.gps_ground_true_track = rad(350.0)),
         READ(zvpyxpl_fd_get_beta_deg()), 20.0, 1e-9},
        {"heading 350, track 10", SET(f.gps_ground_speed = 50.0; f.plane_heading_degrees_true = 350.0;
                                      f.gps_ground_true_track = rad(10.0)),
         READ(zvpyxpl_fd_get_beta_deg()), -20.0, 1e-9},
        {"180 reads -180, never +180", SET(f.gps_ground_speed = 50.0; f.plane_heading_degrees_true = 180.0),
         READ(zvpyxpl_fd_get_beta_deg()), -180.0, 0},
        {"-180 stays", SET(f.gps_ground_speed = 50.0; f.gps_ground_true_track = kPi), READ(zvpyxpl_fd_get_beta_deg()), -180.0, 0},
        {"several turns", SET(f.gps_ground_speed = 50.0; f.plane_heading_degrees_true = 1085.0),
         READ(zvpyxpl_fd_get_beta_deg()), 5.0, 0},
        {"ground speed not a number", SET(f.gps_ground_speed = kNaN; f.plane_heading_degrees_true = 30.0),
         READ(zvpyxpl_fd_get_beta_deg()), 0.0, 0},
        {"moving backwards", SET(f.gps_ground_speed = -50.0; f.plane_heading_degrees_true = 30.0),
         READ(zvpyxpl_fd_get_beta_deg()), 0.0, 0},
        {"infinite heading", SET(f.gps_ground_speed = 50.0; f.plane_heading_degrees_true = kInf),
         READ(zvpyxpl_fd_get_beta_deg()), 0.0, 0},
        {"infinite track", SET(f.gps_ground_speed = 50.0; f.gps_ground_true_track = -kInf),
         READ(zvpyxpl_fd_get_beta_deg()), 0.0, 0},
        {"heading not a number", SET(f.gps_ground_speed = 50.0; f.plane_heading_degrees_true = kNaN),
         READ(zvpyxpl_fd_get_beta_deg()), kNaN, 0},
        // 2^62 + 1024 is 128 modulo 360: a value the step-by-step wrap would never finish.
        {"huge heading", SET(f.gps_ground_speed = 50.0; f.plane_heading_degrees_true = 4611686018427388928.0),
         READ(zvpyxpl_fd_get_beta_deg()), 128.0, 0},
    };
    for (const Case& c : cases) check(c);

    // Huge values come back in range (and at once: the wrap never steps turn by turn).
    for (double h : {1e15, 1e18, 1e300, -1e300, 3.0e17}) {
        fdata.gps_ground_speed = 50.0;
        fdata.plane_heading_degrees_true = h;
        const double d = zvpyxpl_fd_get_beta_deg();
        EXPECT_GE(d, -180.0) << h;
        EXPECT_LT(d, 180.0) << h;
    }
}

TEST(Readings, RadiosAndTransponder)
{
    const Case cases[] = {
        {"COM 1 available", SET(f.com_available_1 = 1), READ(zvpyxpl_fd_get_com1_available()), 1, 0},
        {"COM 1 available, status non-zero", SET(f.com_available_1 = 1; f.com_status_1 = 2),
         READ(zvpyxpl_fd_get_com1_available()), 0, 0},
        {"COM 1 not available", SET(f.com_status_1 = 0), READ(zvpyxpl_fd_get_com1_available()), 0, 0},
        {"COM 2 available, any true value", SET(f.com_available_2 = -1), READ(zvpyxpl_fd_get_com2_available()), 1, 0},
        {"COM 2 status of COM 1 ignored", SET(f.com_available_2 = 1; f.com_status_1 = 3),
         READ(zvpyxpl_fd_get_com2_available()), 1, 0},
        {"COM 2 status non-zero", SET(f.com_available_2 = 1; f.com_status_2 = -1), READ(zvpyxpl_fd_get_com2_available()), 0, 0},
        {"NAV 1 availability as delivered", SET(f.nav_available_1 = 1), READ(zvpyxpl_fd_get_nav1_available()), 1, 0},
        {"NAV 2 availability as delivered", SET(f.nav_available_2 = 3), READ(zvpyxpl_fd_get_nav2_available()), 3, 0},
        {"ADF 1 availability", SET(f.adf_available_1 = 1), READ(zvpyxpl_fd_get_adf1_available()), 1, 0},
        {"ADF 2 availability", SET(f.adf_available_2 = 1), READ(zvpyxpl_fd_get_adf2_available()), 1, 0},
        {"transponder availability", SET(f.transponder_available_1 = 1), READ(zvpyxpl_fd_get_xpdr_available()), 1, 0},
        {"COM 1 118.100", SET(f.com_active_frequency_1 = 118100000), READ(zvpyxpl_fd_get_com1()), 11810, 0},
        {"COM 1 118.105 drops the rest", SET(f.com_active_frequency_1 = 118105000), READ(zvpyxpl_fd_get_com1()), 11810, 0},
        {"COM 1 standby", SET(f.com_standby_frequency_1 = 121500000), READ(zvpyxpl_fd_get_com1s()), 12150, 0},
        {"COM 2", SET(f.com_active_frequency_2 = 132025000), READ(zvpyxpl_fd_get_com2()), 13202, 0},
        {"COM 2 standby", SET(f.com_standby_frequency_2 = 119999999), READ(zvpyxpl_fd_get_com2s()), 11999, 0},
        {"NAV 1", SET(f.nav_active_frequency_1 = 110300000), READ(zvpyxpl_fd_get_nav1()), 11030, 0},
        {"NAV 1 standby", SET(f.nav_standby_frequency_1 = 108000000), READ(zvpyxpl_fd_get_nav1s()), 10800, 0},
        {"NAV 2", SET(f.nav_active_frequency_2 = 117950000), READ(zvpyxpl_fd_get_nav2()), 11795, 0},
        {"NAV 2 standby", SET(f.nav_standby_frequency_2 = 113900000), READ(zvpyxpl_fd_get_nav2s()), 11390, 0},
        {"negative frequency divides unsigned", SET(f.nav_active_frequency_1 = -1), READ(zvpyxpl_fd_get_nav1()), 429496, 0},
        {"ADF 1 in tenths", SET(f.adf_active_frequency_1 = 3505), READ(zvpyxpl_fd_get_adf1()), 350, 0},
        {"ADF 2 in tenths", SET(f.adf_active_frequency_2 = 10), READ(zvpyxpl_fd_get_adf2()), 1, 0},
        {"ADF negative divides unsigned", SET(f.adf_active_frequency_2 = -10), READ(zvpyxpl_fd_get_adf2()), 429496728, 0},
        {"squawk as delivered", SET(f.transponder_code_1 = 7000), READ(zvpyxpl_fd_get_xpdr_code()), 7000, 0},
    };
    for (const Case& c : cases) check(c);
}

TEST(Readings, AutopilotTargets)
{
    const Case cases[] = {
        {"heading 270", SET(f.autopilot_heading_lock_dir = rad(270.0)), READ(zvpyxpl_fd_get_ap_hdg()), 270, 0},
        {"heading 2 pi reads 0", SET(f.autopilot_heading_lock_dir = 2 * kPi), READ(zvpyxpl_fd_get_ap_hdg()), 0, 0},
        {"heading -0.6 rounds to -1: 359", SET(f.autopilot_heading_lock_dir = rad(-0.6)), READ(zvpyxpl_fd_get_ap_hdg()), 359, 0},
        {"heading -0.4 rounds to 0", SET(f.autopilot_heading_lock_dir = rad(-0.4)), READ(zvpyxpl_fd_get_ap_hdg()), 0, 0},
        {"heading 359.5 rounds up to 0", SET(f.autopilot_heading_lock_dir = 359.5 / 57.2957795), READ(zvpyxpl_fd_get_ap_hdg()), 0, 0},
        {"heading two turns and a bit", SET(f.autopilot_heading_lock_dir = rad(1090.0)), READ(zvpyxpl_fd_get_ap_hdg()), 10, 0},
        {"heading minus two turns", SET(f.autopilot_heading_lock_dir = rad(-710.0)), READ(zvpyxpl_fd_get_ap_hdg()), 10, 0},
        // Beyond the 32-bit range the whole degrees stop at the nearest end: 2147483647 and
        // -2147483648 are 127 and 232 modulo 360.
        {"heading 1e12 radians", SET(f.autopilot_heading_lock_dir = 1e12), READ(zvpyxpl_fd_get_ap_hdg()), 127, 0},
        {"heading -1e12 radians", SET(f.autopilot_heading_lock_dir = -1e12), READ(zvpyxpl_fd_get_ap_hdg()), 232, 0},
        {"heading infinite", SET(f.autopilot_heading_lock_dir = kInf), READ(zvpyxpl_fd_get_ap_hdg()), 127, 0},
        {"heading minus infinite", SET(f.autopilot_heading_lock_dir = -kInf), READ(zvpyxpl_fd_get_ap_hdg()), 232, 0},
        {"heading not a number", SET(f.autopilot_heading_lock_dir = kNaN), READ(zvpyxpl_fd_get_ap_hdg()), 0, 0},
        {"course 1", SET(f.nav_obs_1 = rad(45.0)), READ(zvpyxpl_fd_get_ap_crs1()), 45, 0},
        {"course 1 not a number", SET(f.nav_obs_1 = kNaN), READ(zvpyxpl_fd_get_ap_crs1()), 0, 0},
        {"course 2", SET(f.nav_obs_2 = rad(-90.0)), READ(zvpyxpl_fd_get_ap_crs2()), 270, 0},
        {"course 2 1e12 radians", SET(f.nav_obs_2 = 1e12), READ(zvpyxpl_fd_get_ap_crs2()), 127, 0},

        {"altitude 9999.4 ft", SET(f.autopilot_altitude_lock_var = 9999.4 / 3.2808399), READ(zvpyxpl_fd_get_ap_alt()), 9900, 0},
        {"altitude 9999.6 ft", SET(f.autopilot_altitude_lock_var = 9999.6 / 3.2808399), READ(zvpyxpl_fd_get_ap_alt()), 10000, 0},
        {"altitude 10049.6 ft", SET(f.autopilot_altitude_lock_var = 10049.6 / 3.2808399), READ(zvpyxpl_fd_get_ap_alt()), 10000, 0},
        {"altitude 34999.5 ft", SET(f.autopilot_altitude_lock_var = 34999.5 / 3.2808399), READ(zvpyxpl_fd_get_ap_alt()), 35000, 0},
        {"altitude -100 ft wraps", SET(f.autopilot_altitude_lock_var = -100.0 / 3.2808399), READ(zvpyxpl_fd_get_ap_alt()), 4294967100.0, 0},
        {"altitude beyond 32 bits keeps the low bits", SET(f.autopilot_altitude_lock_var = 1e12),
         READ(zvpyxpl_fd_get_ap_alt()), 3779853100.0, 0},
        {"altitude not a number", SET(f.autopilot_altitude_lock_var = kNaN), READ(zvpyxpl_fd_get_ap_alt()), 0, 0},
        {"altitude infinite", SET(f.autopilot_altitude_lock_var = kInf), READ(zvpyxpl_fd_get_ap_alt()), 4294967200.0, 0},
        {"altitude minus infinite", SET(f.autopilot_altitude_lock_var = -kInf), READ(zvpyxpl_fd_get_ap_alt()), 0, 0},

        {"vertical speed -0.2 ft/min", SET(f.autopilot_vertical_hold_var = -0.2 / 60.0 / 3.2808399), READ(zvpyxpl_fd_get_ap_vs()), 0, 0},
        {"vertical speed 1249", SET(f.autopilot_vertical_hold_var = 1249.0 / 60.0 / 3.2808399), READ(zvpyxpl_fd_get_ap_vs()), 1200, 0},
        {"vertical speed -1249", SET(f.autopilot_vertical_hold_var = -1249.0 / 60.0 / 3.2808399), READ(zvpyxpl_fd_get_ap_vs()), -1200, 0},
        {"vertical speed 1299.6 rounds to 1300", SET(f.autopilot_vertical_hold_var = 1299.6 / 60.0 / 3.2808399),
         READ(zvpyxpl_fd_get_ap_vs()), 1300, 0},
        {"vertical speed not a number", SET(f.autopilot_vertical_hold_var = kNaN), READ(zvpyxpl_fd_get_ap_vs()), 0, 0},
        {"vertical speed infinite", SET(f.autopilot_vertical_hold_var = kInf), READ(zvpyxpl_fd_get_ap_vs()), 2147483600, 0},
        {"vertical speed minus infinite", SET(f.autopilot_vertical_hold_var = -kInf), READ(zvpyxpl_fd_get_ap_vs()), -2147483600, 0},
        {"vertical speed 1e300", SET(f.autopilot_vertical_hold_var = 1e300), READ(zvpyxpl_fd_get_ap_vs()), 2147483600, 0},

        {"Mach target unrounded", SET(f.autopilot_mach_hold = 1; f.autopilot_mach_hold_var = 0.785; f.autopilot_airspeed_hold_var = 100.0),
         READ(zvpyxpl_fd_get_ap_spd()), double(0.785f), 0},
        {"speed target in whole knots", SET(f.autopilot_airspeed_hold_var = 128.6; f.autopilot_mach_hold_var = 0.785),
         READ(zvpyxpl_fd_get_ap_spd()), 250, 0},
        {"speed target rounds down", SET(f.autopilot_airspeed_hold_var = 128.3), READ(zvpyxpl_fd_get_ap_spd()), 249, 0},
        {"speed target not a number", SET(f.autopilot_airspeed_hold_var = kNaN), READ(zvpyxpl_fd_get_ap_spd()), kNaN, 0},
        {"speed mode Mach", SET(f.autopilot_mach_hold = 2), READ(zvpyxpl_fd_get_ap_speed_is_mach()), 1, 0},
        {"speed mode knots", SET(f.autopilot_airspeed_hold = 1), READ(zvpyxpl_fd_get_ap_speed_is_mach()), 0, 0},
    };
    for (const Case& c : cases) check(c);
}

TEST(Readings, FlightDirectorAndAutopilotState)
{
    const Case cases[] = {
        {"autopilot available, 64 bits", SET(f.autopilot_available = 0x100000001LL), READ(zvpyxpl_fd_get_ap_available()), 4294967297.0, 0},
        {"flight director active", SET(f.autopilot_flight_director_active = 1), READ(zvpyxpl_fd_get_ap_fd_active()), 1, 0},
        {"command bar pitch", SET(f.autopilot_flight_director_pitch = 5.0; f.attitude_indicator_pitch_degrees = 0.1),
         READ(zvpyxpl_fd_get_ap_fd_pitch_deg()), 5.0 - 5.72957795, 1e-12},
        {"command bar roll", SET(f.autopilot_flight_director_bank = 2.0; f.attitude_indicator_bank_degrees = 0.1),
         READ(zvpyxpl_fd_get_ap_fd_roll_deg()), 2.0 + 5.72957795, 1e-12},
        {"throttle arm", SET(f.autopilot_throttle_arm = 1), READ(zvpyxpl_fd_get_ap_at_arm()), 1, 0},
        {"airspeed hold", SET(f.autopilot_airspeed_hold = 1), READ(zvpyxpl_fd_get_ap_spd_hold()), 1, 0},
        {"Mach hold", SET(f.autopilot_mach_hold = 1), READ(zvpyxpl_fd_get_ap_mach_hold()), 1, 0},
        {"disengaged", SET(f.autopilot_disengaged = 1), READ(zvpyxpl_fd_get_ap_disengaged()), 1, 0},

        {"mode: nothing on", SET(), READ(zvpyxpl_fd_get_ap_fd_mode()), 0, 0},
        {"mode: flight director", SET(f.autopilot_flight_director_active = 1), READ(zvpyxpl_fd_get_ap_fd_mode()), 1, 0},
        {"mode: autopilot", SET(f.autopilot_master = 1), READ(zvpyxpl_fd_get_ap_fd_mode()), 2, 0},
        {"mode: autopilot and director", SET(f.autopilot_master = 1; f.autopilot_flight_director_active = 1),
         READ(zvpyxpl_fd_get_ap_fd_mode()), 2, 0},
        {"mode: master but disengaged, director on", SET(f.autopilot_master = 1; f.autopilot_disengaged = 1;
                                                          f.autopilot_flight_director_active = 1),
         READ(zvpyxpl_fd_get_ap_fd_mode()), 1, 0},
        {"mode: master but disengaged", SET(f.autopilot_master = 1; f.autopilot_disengaged = 1), READ(zvpyxpl_fd_get_ap_fd_mode()), 0, 0},
    };
    for (const Case& c : cases) check(c);
}

TEST(Readings, ModeStatuses)
{
    const Case cases[] = {
        {"altitude", SET(f.autopilot_altitude_lock = 1), READ(zvpyxpl_fd_get_ap_alt_status()), 2, 0},
        {"heading", SET(f.autopilot_heading_lock = 1), READ(zvpyxpl_fd_get_ap_hdg_status()), 2, 0},
        {"vertical speed", SET(f.autopilot_vertical_hold = -7), READ(zvpyxpl_fd_get_ap_vs_status()), 2, 0},
        {"localiser follows approach hold", SET(f.autopilot_approach_hold = 1), READ(zvpyxpl_fd_get_ap_loc_status()), 2, 0},
        {"glideslope", SET(f.autopilot_glideslope_hold = 1), READ(zvpyxpl_fd_get_ap_gs_status()), 2, 0},
        {"lateral navigation", SET(f.autopilot_nav1_lock = 1), READ(zvpyxpl_fd_get_ap_lnav_status()), 2, 0},
        {"altitude off", SET(f.autopilot_heading_lock = 1), READ(zvpyxpl_fd_get_ap_alt_status()), 0, 0},
        {"localiser ignores back course", SET(f.autopilot_backcourse_hold = 1), READ(zvpyxpl_fd_get_ap_loc_status()), 0, 0},
        {"speed off", SET(), READ(zvpyxpl_fd_get_ap_spd_status()), 0, 0},
        {"speed armed only", SET(f.autopilot_throttle_arm = 1), READ(zvpyxpl_fd_get_ap_spd_status()), 1, 0},
        {"speed airspeed hold", SET(f.autopilot_airspeed_hold = 1), READ(zvpyxpl_fd_get_ap_spd_status()), 2, 0},
        {"speed Mach hold", SET(f.autopilot_mach_hold = 1), READ(zvpyxpl_fd_get_ap_spd_status()), 2, 0},
        {"speed hold and arm: 2 over 1", SET(f.autopilot_airspeed_hold = 1; f.autopilot_throttle_arm = 1),
         READ(zvpyxpl_fd_get_ap_spd_status()), 2, 0},
        {"VNAV always off", SET(std::memset(&f, 0xFF, sizeof f)), READ(zvpyxpl_fd_get_ap_vnav_status()), 0, 0},
        {"level change always off", SET(std::memset(&f, 0xFF, sizeof f)), READ(zvpyxpl_fd_get_ap_lc_status()), 0, 0},
        {"N1 always off", SET(std::memset(&f, 0xFF, sizeof f)), READ(zvpyxpl_fd_get_ap_n1_status()), 0, 0},
    };
    for (const Case& c : cases) check(c);
}

// Every reading, from a record filled with one byte pattern, completes with no sanitizer
// report: bit patterns that are not numbers, and huge and tiny values, in every field.
TEST(Readings, AnyRecordContentIsSafe)
{
    for (int pattern : {0x00, 0xFF, 0x7F, 0x80, 0x41, 0xC3}) {
        std::memset(&fdata, pattern, sizeof fdata);
        double (*const reads[])() = {
                 READ(zvpyxpl_fd_get_beta_deg()), READ(zvpyxpl_fd_get_ap_hdg()), READ(zvpyxpl_fd_get_ap_crs1()),
                 READ(zvpyxpl_fd_get_ap_crs2()), READ(zvpyxpl_fd_get_ap_alt()), READ(zvpyxpl_fd_get_ap_vs()),
                 READ(zvpyxpl_fd_get_ap_spd()), READ(zvpyxpl_fd_get_baro_inhg()), READ(zvpyxpl_fd_get_vs0()),
                 READ(zvpyxpl_fd_get_mmo()), READ(zvpyxpl_fd_get_lgear_down()), READ(zvpyxpl_fd_get_com1()),
                 READ(zvpyxpl_fd_get_adf2()), READ(zvpyxpl_fd_get_ap_fd_mode()), READ(zvpyxpl_fd_get_ap_spd_status()),
                 READ(zvpyxpl_fd_get_ap_fd_pitch_deg()), READ(zvpyxpl_fd_get_tas_ms())};
        for (auto read : reads) (void)read();
        const unsigned hdg = zvpyxpl_fd_get_ap_hdg();
        EXPECT_LT(hdg, 360u) << pattern;
        EXPECT_EQ(zvpyxpl_fd_get_ap_vs() % 50, 0) << pattern;
        EXPECT_EQ(zvpyxpl_fd_get_ap_alt() % 100, 0u) << pattern;
    }
}

TEST(Readings, SinglePrecisionReadingsOfHugeFieldsAreInfinities)
{
    std::memset(&fdata, 0, sizeof fdata);
    fdata.design_speed_vs0 = 1e300;
    fdata.mach_max_operate = -1e300;
    fdata.kohlsman_setting_mb = 1e300;
    fdata.autopilot_airspeed_hold_var = 1e300;
    EXPECT_EQ(zvpyxpl_fd_get_vs0(), std::numeric_limits<float>::infinity());
    EXPECT_EQ(zvpyxpl_fd_get_mmo(), -std::numeric_limits<float>::infinity());
    EXPECT_EQ(zvpyxpl_fd_get_baro_inhg(), std::numeric_limits<float>::infinity());
    EXPECT_EQ(zvpyxpl_fd_get_ap_spd(), std::numeric_limits<float>::infinity());
    fdata.autopilot_mach_hold = 1;
    fdata.autopilot_mach_hold_var = -1e300;
    EXPECT_EQ(zvpyxpl_fd_get_ap_spd(), -std::numeric_limits<float>::infinity());
}

TEST(Readings, ZeroRecordGivesZeroReadings)
{
    std::memset(&fdata, 0, sizeof fdata);
    EXPECT_EQ(zvpyxpl_fd_get_ap_hdg(), 0u);
    EXPECT_EQ(zvpyxpl_fd_get_ap_alt(), 0u);
    EXPECT_EQ(zvpyxpl_fd_get_ap_vs(), 0);
    EXPECT_EQ(zvpyxpl_fd_get_ap_spd(), 0.0f);
    EXPECT_EQ(zvpyxpl_fd_get_beta_deg(), 0.0);
    EXPECT_EQ(zvpyxpl_fd_get_com1_available(), 0u);
    EXPECT_EQ(zvpyxpl_fd_get_nav2(), 0u);
    EXPECT_EQ(zvpyxpl_fd_get_ap_fd_mode(), 0u);
    EXPECT_EQ(zvpyxpl_fd_get_ap_spd_status(), 0u);
}

}  // namespace
