// Commands that change the simulator's state: radios, transponder, altimeter, autopilot targets,
// holds, speed mode, navigation source, flight director and engagement, control inputs.
#pragma once

#include "flightdata/record.h"

// ---- Radio, transponder and altimeter
// COM and NAV: 10 kHz steps (11810 for 118.10 MHz) as four BCD digits without the leading 1.
unsigned int zvpyxpl_int_to_sim_freq(unsigned int f);
// ADF: tens of hertz (35000 for 350 kHz), or whole kHz below 10000, as the simulator's ADF BCD32:
// the frequency in 100 Hz units as five BCD digits shifted left by 12 bits (350 kHz: 0x03500000).
unsigned int zvpyxpl_adf_to_sim_freq(unsigned int f);
unsigned int zvpyxpl_hex2dec(unsigned int v);
void zvpyxpl_fd_set_com1(unsigned int f);
void zvpyxpl_fd_set_com1s(unsigned int f);
void zvpyxpl_fd_set_com2(unsigned int f);
void zvpyxpl_fd_set_com2s(unsigned int f);
void zvpyxpl_fd_set_nav1(unsigned int f);
void zvpyxpl_fd_set_nav1s(unsigned int f);
void zvpyxpl_fd_set_nav2(unsigned int f);
void zvpyxpl_fd_set_nav2s(unsigned int f);
void zvpyxpl_fd_set_adf1(unsigned int f);
void zvpyxpl_fd_set_adf2(unsigned int f);
void zvpyxpl_fd_set_xpdr_code(unsigned int code);
void zvpyxpl_fd_set_baro_inhg(float inhg);

// ---- Autopilot and flight director
void zvpyxpl_fd_set_ap_hdg(unsigned int deg);
void zvpyxpl_fd_set_ap_crs1(unsigned int deg);
void zvpyxpl_fd_set_ap_crs2(unsigned int deg);
void zvpyxpl_fd_set_ap_alt(unsigned int ft);
void zvpyxpl_fd_set_ap_vs(int fpm);
void zvpyxpl_fd_inc_ap_vs();
void zvpyxpl_fd_dec_ap_vs();
void zvpyxpl_fd_set_ap_spd(float v);

void zvpyxpl_fd_set_ap_speed_is_mach(unsigned int mach);
void zvpyxpl_fd_toggle_ap_speed_is_mach();

void zvpyxpl_fd_set_ap_alt_hld(unsigned int on);
void zvpyxpl_fd_toggle_ap_alt_hld();
void zvpyxpl_fd_set_ap_hdg_hld(unsigned int on);
void zvpyxpl_fd_toggle_ap_hdg_hld();
void zvpyxpl_fd_set_ap_loc_hld(unsigned int on);
void zvpyxpl_fd_toggle_ap_loc_hld();
void zvpyxpl_fd_set_ap_app_hld(unsigned int on);
void zvpyxpl_fd_toggle_ap_app_hld();
void zvpyxpl_fd_set_ap_lnav_hld(unsigned int on);
void zvpyxpl_fd_toggle_ap_lnav_hld();
void zvpyxpl_fd_set_ap_n1_hld(unsigned int on);
void zvpyxpl_fd_toggle_ap_n1_hld();
void zvpyxpl_fd_set_ap_spd_hld(unsigned int mode);
void zvpyxpl_fd_toggle_ap_spd_hld();
void zvpyxpl_fd_set_ap_vnav_hld(unsigned int on);
void zvpyxpl_fd_toggle_ap_vnav_hld();
void zvpyxpl_fd_set_ap_lc_hld(unsigned int on);
void zvpyxpl_fd_toggle_ap_lc_hld();
void zvpyxpl_fd_set_ap_vs_hld(unsigned int on);
void zvpyxpl_fd_toggle_ap_vs_hld();

void zvpyxpl_fd_set_ap_source(unsigned int src);

void zvpyxpl_fd_set_ap_fd_mode(unsigned int mode);

void zvpyxpl_fd_set_pitch(float v);
void zvpyxpl_fd_set_roll(float v);
void zvpyxpl_fd_set_yaw(float v);
