// Readings of the flight data: each converts the current record on demand (units as the name
// says, except where noted: zvpyxpl_fd_get_gs_kt gives metres per second,
// zvpyxpl_fd_get_flapshandle_perc a fraction).
#pragma once

#include "flightdata/record.h"

double zvpyxpl_fd_get_latitude();
double zvpyxpl_fd_get_longitude();
double zvpyxpl_fd_get_altitude_m();
double zvpyxpl_fd_get_altitude_ft();
double zvpyxpl_fd_get_msl_m();
double zvpyxpl_fd_get_msl_ft();
double zvpyxpl_fd_get_agl_m();
double zvpyxpl_fd_get_agl_ft();
double zvpyxpl_fd_get_pitch_deg();
double zvpyxpl_fd_get_roll_deg();
double zvpyxpl_fd_get_hdg_true_deg();
double zvpyxpl_fd_get_trk_true_deg();
double zvpyxpl_fd_get_magvar_deg();
double zvpyxpl_fd_get_alpha_deg();
double zvpyxpl_fd_get_beta_deg();
double zvpyxpl_fd_get_gs_kt();
double zvpyxpl_fd_get_ias_kt();
double zvpyxpl_fd_get_tas_kt();
double zvpyxpl_fd_get_tas_ms();
double zvpyxpl_fd_get_mach();
double zvpyxpl_fd_get_vvi_fpm();
double zvpyxpl_fd_get_otemp_deg();
double zvpyxpl_fd_get_windspeed_kt();
double zvpyxpl_fd_get_winddir_deg_true();
float zvpyxpl_fd_get_baro_inhg();
double zvpyxpl_fd_get_flapshandle_perc();
int zvpyxpl_fd_get_lgear_down();
float zvpyxpl_fd_get_vs0();
float zvpyxpl_fd_get_vs1();
float zvpyxpl_fd_get_vfe();
float zvpyxpl_fd_get_vne();
float zvpyxpl_fd_get_mmo();

unsigned int zvpyxpl_fd_get_com1_available();
unsigned int zvpyxpl_fd_get_com2_available();
unsigned int zvpyxpl_fd_get_nav1_available();
unsigned int zvpyxpl_fd_get_nav2_available();
unsigned int zvpyxpl_fd_get_adf1_available();
unsigned int zvpyxpl_fd_get_adf2_available();
unsigned int zvpyxpl_fd_get_xpdr_available();
unsigned int zvpyxpl_fd_get_com1();
unsigned int zvpyxpl_fd_get_com1s();
unsigned int zvpyxpl_fd_get_com2();
unsigned int zvpyxpl_fd_get_com2s();
unsigned int zvpyxpl_fd_get_nav1();
unsigned int zvpyxpl_fd_get_nav1s();
unsigned int zvpyxpl_fd_get_nav2();
unsigned int zvpyxpl_fd_get_nav2s();
unsigned int zvpyxpl_fd_get_adf1();
unsigned int zvpyxpl_fd_get_adf2();
unsigned int zvpyxpl_fd_get_xpdr_code();

long long zvpyxpl_fd_get_ap_available();
unsigned int zvpyxpl_fd_get_ap_hdg();
unsigned int zvpyxpl_fd_get_ap_crs1();
unsigned int zvpyxpl_fd_get_ap_crs2();
unsigned int zvpyxpl_fd_get_ap_alt();
int zvpyxpl_fd_get_ap_vs();
unsigned int zvpyxpl_fd_get_ap_speed_is_mach();
float zvpyxpl_fd_get_ap_spd();
int zvpyxpl_fd_get_ap_fd_active();
double zvpyxpl_fd_get_ap_fd_pitch_deg();
double zvpyxpl_fd_get_ap_fd_roll_deg();
int zvpyxpl_fd_get_ap_at_arm();
long long zvpyxpl_fd_get_ap_spd_hold();
long long zvpyxpl_fd_get_ap_mach_hold();
int zvpyxpl_fd_get_ap_disengaged();
unsigned int zvpyxpl_fd_get_ap_fd_mode();

unsigned int zvpyxpl_fd_get_ap_alt_status();
unsigned int zvpyxpl_fd_get_ap_hdg_status();
unsigned int zvpyxpl_fd_get_ap_vs_status();
unsigned int zvpyxpl_fd_get_ap_loc_status();
unsigned int zvpyxpl_fd_get_ap_gs_status();
unsigned int zvpyxpl_fd_get_ap_lnav_status();
unsigned int zvpyxpl_fd_get_ap_spd_status();
unsigned int zvpyxpl_fd_get_ap_vnav_status();
unsigned int zvpyxpl_fd_get_ap_lc_status();
unsigned int zvpyxpl_fd_get_ap_n1_status();
