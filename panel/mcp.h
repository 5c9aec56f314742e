// Cockpit panel logic: the mode control panel (dials, speed mode, switches, mode buttons and
// lamps), layered on the flight data.
#pragma once

// ---- MCP dials and speed mode
void zvpyxpl_mcp_set_crs1_dial(unsigned int deg);
unsigned int zvpyxpl_mcp_get_crs1_dial();
void zvpyxpl_mcp_set_crs2_dial(unsigned int deg);
unsigned int zvpyxpl_mcp_get_crs2_dial();
void zvpyxpl_mcp_set_hdg_dial(unsigned int deg);
unsigned int zvpyxpl_mcp_get_hdg_dial();
void zvpyxpl_mcp_set_alt_dial(unsigned int ft);
unsigned int zvpyxpl_mcp_get_alt_dial();
void zvpyxpl_mcp_set_vvm_dial(int fpm);
int zvpyxpl_mcp_get_vvm_dial();
void zvpyxpl_mcp_set_speed_dial(float v);
float zvpyxpl_mcp_get_speed_dial();
void zvpyxpl_mcp_set_speed_is_mach(unsigned int mach);
unsigned int zvpyxpl_mcp_get_speed_is_mach();

// ---- MCP switches
void zvpyxpl_mcp_set_fd1(unsigned int on);
void zvpyxpl_mcp_set_fd2(unsigned int on);
void zvpyxpl_mcp_set_apdisc(unsigned int v);
void zvpyxpl_mcp_set_atarm(unsigned int on);
unsigned int zvpyxpl_mcp_get_atarm_mode();

// ---- Speed of sound (true airspeed in knots, outside air temperature in Celsius)
double zvpyxpl_mcp_mach_from_tas(double tas, double oat);
double zvpyxpl_mcp_tas_from_mach(double mach, double oat);

// ---- Autopilot mode status
unsigned int zvpyxpl_ap_vnav_status();
void zvpyxpl_ap_set_vnav_status(unsigned int on);
unsigned int zvpyxpl_ap_hdg_status();
void zvpyxpl_ap_set_hdg_status(unsigned int on);
unsigned int zvpyxpl_ap_vs_status();
void zvpyxpl_ap_set_vs_status(unsigned int on);
unsigned int zvpyxpl_ap_alt_status();
void zvpyxpl_ap_set_alt_status(unsigned int on);
unsigned int zvpyxpl_ap_lnav_status();
void zvpyxpl_ap_set_lnav_status(unsigned int on);
unsigned int zvpyxpl_ap_loc_status();
void zvpyxpl_ap_set_loc_status(unsigned int on);
unsigned int zvpyxpl_ap_gs_status();
void zvpyxpl_ap_set_gs_status(unsigned int on);
unsigned int zvpyxpl_ap_lc_status();
void zvpyxpl_ap_set_lc_status(unsigned int on);
unsigned int zvpyxpl_ap_n1_status();
void zvpyxpl_ap_set_n1_status(unsigned int on);

// ---- MCP annunciator lamps: 1 lit, 0 dark (the two FD lamps pass the switch value through)
int zvpyxpl_mcp_get_cmda_led();
int zvpyxpl_mcp_get_cmdb_led();
int zvpyxpl_mcp_get_cwsa_led();
int zvpyxpl_mcp_get_cwsb_led();
int zvpyxpl_mcp_get_n1_led();
int zvpyxpl_mcp_get_lchg_led();
int zvpyxpl_mcp_get_spd_led();
int zvpyxpl_mcp_get_vnav_led();
int zvpyxpl_mcp_get_hdg_led();
int zvpyxpl_mcp_get_lnav_led();
int zvpyxpl_mcp_get_loc_led();
int zvpyxpl_mcp_get_app_led();
int zvpyxpl_mcp_get_alt_led();
int zvpyxpl_mcp_get_vs_led();
int zvpyxpl_mcp_get_ma1_led();
int zvpyxpl_mcp_get_ma2_led();
int zvpyxpl_mcp_get_overspeed();

// ---- MCP buttons
void zvpyxpl_mcp_press_cmda();
void zvpyxpl_mcp_press_cmdb();
void zvpyxpl_mcp_press_cwsa();
void zvpyxpl_mcp_press_cwsb();
void zvpyxpl_mcp_press_co();
void zvpyxpl_mcp_press_spdintv();
void zvpyxpl_mcp_press_altintv();
void zvpyxpl_mcp_press_n1();
void zvpyxpl_mcp_press_spd();
void zvpyxpl_mcp_press_lchg();
void zvpyxpl_mcp_press_vnav();
void zvpyxpl_mcp_press_hdg();
void zvpyxpl_mcp_press_lnav();
void zvpyxpl_mcp_press_loc();
void zvpyxpl_mcp_press_app();
void zvpyxpl_mcp_press_alt();
void zvpyxpl_mcp_press_vs();
void zvpyxpl_mcp_toggle_ias_mach_speed();
void zvpyxpl_mcp_set_bank_angle(unsigned int angle);

