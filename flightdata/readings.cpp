// Readings of the flight data: each converts the current `fdata` fields on demand into the unit
// the panels use. Nothing here keeps state or talks to the simulator.
#include <cmath>
#include <cstdint>

#include "flightdata/convert.h"
#include "flightdata/readings.h"
#include "flightdata/wrap.h"

namespace {

constexpr double FEET_TO_M = 0.3048;
constexpr double PI = 3.141592653589793;
constexpr double RAD_TO_DEG_AP = 57.2957795;  // 180/pi cut to seven places, autopilot readings only
constexpr double KT_PER_MS = 1.94384449;
constexpr double FT_PER_M = 3.2808399;
constexpr float MB_PER_INHG = 33.86f;
constexpr double DRIFT_MIN_GS_MS = 2.0;

// The flight-path readings convert radians as (180 * v) / pi, which can differ in the last bit
// from a single product.
double path_deg(double rad) { return (180.0 * rad) / PI; }

// Whole degrees 0 to 359 from a target in radians.
unsigned int ap_deg(double rad)
{
    const std::int32_t v = zv_round_i32(rad * RAD_TO_DEG_AP);
    const std::int32_t r = v % 360;
    return static_cast<unsigned int>(r < 0 ? r + 360 : r);
}

unsigned int status(std::int32_t field) { return field != 0 ? 2u : 0u; }

unsigned int com_available(std::int32_t available, std::int32_t status_field)
{
    return available != 0 && status_field == 0 ? 1u : 0u;
}

// Frequencies divide as unsigned numbers: a negative field reads as a large one.
unsigned int steps_10khz(std::int32_t hz) { return static_cast<unsigned int>(hz) / 10000u; }

}  // namespace

double zvpyxpl_fd_get_latitude() { return fdata.plane_latitude; }
double zvpyxpl_fd_get_longitude() { return fdata.plane_longitude; }
double zvpyxpl_fd_get_altitude_m() { return FEET_TO_M * fdata.indicated_altitude; }
double zvpyxpl_fd_get_altitude_ft() { return fdata.indicated_altitude; }
double zvpyxpl_fd_get_msl_m() { return FEET_TO_M * fdata.plane_altitude; }
double zvpyxpl_fd_get_msl_ft() { return fdata.plane_altitude; }
double zvpyxpl_fd_get_agl_m() { return FEET_TO_M * fdata.plane_alt_above_ground; }
double zvpyxpl_fd_get_agl_ft() { return fdata.plane_alt_above_ground; }
double zvpyxpl_fd_get_pitch_deg() { return 0.0 - fdata.plane_pitch_degrees; }
double zvpyxpl_fd_get_roll_deg() { return 0.0 - fdata.plane_bank_degrees; }
double zvpyxpl_fd_get_hdg_true_deg() { return fdata.plane_heading_degrees_true; }
double zvpyxpl_fd_get_trk_true_deg() { return path_deg(fdata.gps_ground_true_track); }
double zvpyxpl_fd_get_magvar_deg() { return 0.0 - fdata.magvar; }
double zvpyxpl_fd_get_alpha_deg() { return path_deg(fdata.incidence_alpha); }

double zvpyxpl_fd_get_beta_deg()
{
    if (!(fdata.gps_ground_speed > DRIFT_MIN_GS_MS)) return 0.0;
    return zv_wrap_180(zvpyxpl_fd_get_hdg_true_deg() - zvpyxpl_fd_get_trk_true_deg());
}

double zvpyxpl_fd_get_gs_kt() { return fdata.gps_ground_speed; }  // metres per second
double zvpyxpl_fd_get_ias_kt() { return fdata.airspeed_indicated; }
double zvpyxpl_fd_get_tas_kt() { return fdata.airspeed_true; }
double zvpyxpl_fd_get_tas_ms() { return fdata.airspeed_true / KT_PER_MS; }
double zvpyxpl_fd_get_mach() { return fdata.airspeed_mach; }
double zvpyxpl_fd_get_vvi_fpm() { return 60.0 * fdata.vertical_speed; }
double zvpyxpl_fd_get_otemp_deg() { return fdata.ambient_temperature; }
double zvpyxpl_fd_get_windspeed_kt() { return fdata.ambient_wind_velocity; }
double zvpyxpl_fd_get_winddir_deg_true() { return fdata.ambient_wind_direction; }

// Narrowed to single precision first, then divided in single precision.
float zvpyxpl_fd_get_baro_inhg() { return zv_narrow_f32(fdata.kohlsman_setting_mb) / MB_PER_INHG; }

double zvpyxpl_fd_get_flapshandle_perc() { return fdata.flaps_handle_percent / 100.0; }  // a fraction
int zvpyxpl_fd_get_lgear_down() { return static_cast<int>(fdata.gear_handle_position); }
float zvpyxpl_fd_get_vs0() { return zv_narrow_f32(fdata.design_speed_vs0); }
float zvpyxpl_fd_get_vs1() { return zv_narrow_f32(fdata.design_speed_vs1); }
float zvpyxpl_fd_get_vfe() { return zv_narrow_f32(fdata.design_speed_vc); }  // design cruise speed
float zvpyxpl_fd_get_vne() { return zv_narrow_f32(fdata.airspeed_barber_pole); }
float zvpyxpl_fd_get_mmo() { return zv_narrow_f32(fdata.mach_max_operate); }

unsigned int zvpyxpl_fd_get_com1_available() { return com_available(fdata.com_available_1, fdata.com_status_1); }
unsigned int zvpyxpl_fd_get_com2_available() { return com_available(fdata.com_available_2, fdata.com_status_2); }
unsigned int zvpyxpl_fd_get_nav1_available() { return static_cast<unsigned int>(fdata.nav_available_1); }
unsigned int zvpyxpl_fd_get_nav2_available() { return static_cast<unsigned int>(fdata.nav_available_2); }
unsigned int zvpyxpl_fd_get_adf1_available() { return static_cast<unsigned int>(fdata.adf_available_1); }
unsigned int zvpyxpl_fd_get_adf2_available() { return static_cast<unsigned int>(fdata.adf_available_2); }
unsigned int zvpyxpl_fd_get_xpdr_available() { return static_cast<unsigned int>(fdata.transponder_available_1); }
unsigned int zvpyxpl_fd_get_com1() { return steps_10khz(fdata.com_active_frequency_1); }
unsigned int zvpyxpl_fd_get_com1s() { return steps_10khz(fdata.com_standby_frequency_1); }
unsigned int zvpyxpl_fd_get_com2() { return steps_10khz(fdata.com_active_frequency_2); }
unsigned int zvpyxpl_fd_get_com2s() { return steps_10khz(fdata.com_standby_frequency_2); }
unsigned int zvpyxpl_fd_get_nav1() { return steps_10khz(fdata.nav_active_frequency_1); }
unsigned int zvpyxpl_fd_get_nav1s() { return steps_10khz(fdata.nav_standby_frequency_1); }
unsigned int zvpyxpl_fd_get_nav2() { return steps_10khz(fdata.nav_active_frequency_2); }
unsigned int zvpyxpl_fd_get_nav2s() { return steps_10khz(fdata.nav_standby_frequency_2); }
unsigned int zvpyxpl_fd_get_adf1() { return static_cast<unsigned int>(fdata.adf_active_frequency_1) / 10u; }
unsigned int zvpyxpl_fd_get_adf2() { return static_cast<unsigned int>(fdata.adf_active_frequency_2) / 10u; }
unsigned int zvpyxpl_fd_get_xpdr_code() { return static_cast<unsigned int>(fdata.transponder_code_1); }

long long zvpyxpl_fd_get_ap_available() { return fdata.autopilot_available; }
unsigned int zvpyxpl_fd_get_ap_hdg() { return ap_deg(fdata.autopilot_heading_lock_dir); }
unsigned int zvpyxpl_fd_get_ap_crs1() { return ap_deg(fdata.nav_obs_1); }
unsigned int zvpyxpl_fd_get_ap_crs2() { return ap_deg(fdata.nav_obs_2); }

unsigned int zvpyxpl_fd_get_ap_alt()
{
    // The low 32 bits of the rounded feet: a target below zero reads as a large number.
    const auto ft = static_cast<std::uint32_t>(zv_round_i64(fdata.autopilot_altitude_lock_var * FT_PER_M));
    return ft / 100u * 100u;
}

int zvpyxpl_fd_get_ap_vs()
{
    const std::int32_t fpm = zv_round_i32((fdata.autopilot_vertical_hold_var * FT_PER_M) * 60.0);
    return fpm / 50 * 50;
}

unsigned int zvpyxpl_fd_get_ap_speed_is_mach() { return fdata.autopilot_mach_hold != 0 ? 1u : 0u; }

float zvpyxpl_fd_get_ap_spd()
{
    if (zvpyxpl_fd_get_ap_speed_is_mach() != 0) return zv_narrow_f32(fdata.autopilot_mach_hold_var);
    return zv_narrow_f32(std::round(fdata.autopilot_airspeed_hold_var * KT_PER_MS));
}

int zvpyxpl_fd_get_ap_fd_active() { return fdata.autopilot_flight_director_active; }

double zvpyxpl_fd_get_ap_fd_pitch_deg()
{
    return fdata.autopilot_flight_director_pitch - RAD_TO_DEG_AP * fdata.attitude_indicator_pitch_degrees;
}

double zvpyxpl_fd_get_ap_fd_roll_deg()
{
    return RAD_TO_DEG_AP * fdata.attitude_indicator_bank_degrees + fdata.autopilot_flight_director_bank;
}

int zvpyxpl_fd_get_ap_at_arm() { return fdata.autopilot_throttle_arm; }
long long zvpyxpl_fd_get_ap_spd_hold() { return fdata.autopilot_airspeed_hold; }
long long zvpyxpl_fd_get_ap_mach_hold() { return fdata.autopilot_mach_hold; }
int zvpyxpl_fd_get_ap_disengaged() { return fdata.autopilot_disengaged; }

unsigned int zvpyxpl_fd_get_ap_fd_mode()
{
    if (fdata.autopilot_master != 0 && fdata.autopilot_disengaged == 0) return 2;
    if (zvpyxpl_fd_get_ap_fd_active() != 0) return 1;
    return 0;
}

unsigned int zvpyxpl_fd_get_ap_alt_status() { return status(fdata.autopilot_altitude_lock); }
unsigned int zvpyxpl_fd_get_ap_hdg_status() { return status(fdata.autopilot_heading_lock); }
unsigned int zvpyxpl_fd_get_ap_vs_status() { return status(fdata.autopilot_vertical_hold); }
unsigned int zvpyxpl_fd_get_ap_loc_status() { return status(fdata.autopilot_approach_hold); }
unsigned int zvpyxpl_fd_get_ap_gs_status() { return status(fdata.autopilot_glideslope_hold); }
unsigned int zvpyxpl_fd_get_ap_lnav_status() { return status(fdata.autopilot_nav1_lock); }

unsigned int zvpyxpl_fd_get_ap_spd_status()
{
    if (fdata.autopilot_airspeed_hold != 0 || fdata.autopilot_mach_hold != 0) return 2;
    return fdata.autopilot_throttle_arm != 0 ? 1u : 0u;
}

unsigned int zvpyxpl_fd_get_ap_vnav_status() { return 0; }
unsigned int zvpyxpl_fd_get_ap_lc_status() { return 0; }
unsigned int zvpyxpl_fd_get_ap_n1_status() { return 0; }
