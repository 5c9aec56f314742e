// The mode control panel: dials, speed mode, flight-director, disconnect and auto-throttle
// switches, mode status, annunciator lamps and mode buttons. Holds no state: every value is read
// back from the flight data and every change is a flight data command.
#include <cmath>

#include "flightdata/flightdata.h"
#include "panel/mcp.h"

namespace {

// Autopilot modes as the flight data reports and commands them.
constexpr unsigned int AP_OFF = 0;
constexpr unsigned int AP_FD_ONLY = 1;
constexpr unsigned int AP_ENGAGED = 2;
constexpr unsigned int STATUS_ACTIVE = 2;

int lit(bool on) { return on ? 1 : 0; }

// Both flight-director switches act on the simulator's one flight director: on turns it on when
// everything is off, off turns it off unless the autopilot is engaged.
void set_fd_switch(unsigned int on, void (*store)(unsigned int))
{
    const unsigned int mode = zvpyxpl_fd_get_ap_fd_mode();
    if (on != 0 && mode == AP_OFF) zvpyxpl_fd_set_ap_fd_mode(AP_FD_ONLY);
    if (on == 0 && mode == AP_FD_ONLY) zvpyxpl_fd_set_ap_fd_mode(AP_OFF);
    store(on);
}

// CMD A and CMD B engage and disengage the one autopilot; disengaging keeps the flight director.
void press_cmd()
{
    zvpyxpl_fd_set_ap_fd_mode(zvpyxpl_fd_get_ap_fd_mode() == AP_ENGAGED ? AP_FD_ONLY : AP_ENGAGED);
}

// Speed of sound in knots: 39 times the square root of the absolute temperature.
double speed_of_sound_kt(double oat) { return 39.0 * std::sqrt(273.15 + oat); }

}  // namespace

// ---- Dials

void zvpyxpl_mcp_set_crs1_dial(unsigned int deg) { zvpyxpl_fd_set_ap_crs1(deg); }
unsigned int zvpyxpl_mcp_get_crs1_dial() { return zvpyxpl_fd_get_ap_crs1(); }
void zvpyxpl_mcp_set_crs2_dial(unsigned int deg) { zvpyxpl_fd_set_ap_crs2(deg); }
unsigned int zvpyxpl_mcp_get_crs2_dial() { return zvpyxpl_fd_get_ap_crs2(); }
void zvpyxpl_mcp_set_hdg_dial(unsigned int deg) { zvpyxpl_fd_set_ap_hdg(deg); }
unsigned int zvpyxpl_mcp_get_hdg_dial() { return zvpyxpl_fd_get_ap_hdg(); }
void zvpyxpl_mcp_set_alt_dial(unsigned int ft) { zvpyxpl_fd_set_ap_alt(ft); }
unsigned int zvpyxpl_mcp_get_alt_dial() { return zvpyxpl_fd_get_ap_alt(); }

// Set in whole hundreds (toward zero), read back in fifties.
void zvpyxpl_mcp_set_vvm_dial(int fpm) { zvpyxpl_fd_set_ap_vs(fpm / 100 * 100); }
int zvpyxpl_mcp_get_vvm_dial() { return zvpyxpl_fd_get_ap_vs(); }

void zvpyxpl_mcp_set_speed_dial(float v) { zvpyxpl_fd_set_ap_spd(v); }
float zvpyxpl_mcp_get_speed_dial() { return zvpyxpl_fd_get_ap_spd(); }
void zvpyxpl_mcp_set_speed_is_mach(unsigned int mach) { zvpyxpl_fd_set_ap_speed_is_mach(mach); }
unsigned int zvpyxpl_mcp_get_speed_is_mach() { return zvpyxpl_fd_get_ap_speed_is_mach(); }

// ---- Switches

void zvpyxpl_mcp_set_fd1(unsigned int on) { set_fd_switch(on, zvpyxpl_fd_set_ap_fd1_mode); }
void zvpyxpl_mcp_set_fd2(unsigned int on) { set_fd_switch(on, zvpyxpl_fd_set_ap_fd2_mode); }

// The disconnect bar pulled down (0) disengages the autopilot and leaves the flight director on.
void zvpyxpl_mcp_set_apdisc(unsigned int v)
{
    if (v == 0 && zvpyxpl_fd_get_ap_fd_mode() == AP_ENGAGED) zvpyxpl_fd_set_ap_fd_mode(AP_FD_ONLY);
}

// On arms the auto-throttle when nothing is armed or held; off disarms it and drops every hold.
void zvpyxpl_mcp_set_atarm(unsigned int on)
{
    if (zvpyxpl_fd_get_ap_spd_status() == 0 && on != 0) {
        zvpyxpl_fd_set_ap_spd_hld(1);
        return;
    }
    if (on == 0 && zvpyxpl_fd_get_ap_spd_status() != 0) zvpyxpl_fd_set_ap_spd_hld(0);
}

unsigned int zvpyxpl_mcp_get_atarm_mode() { return zvpyxpl_fd_get_ap_spd_status() != 0 ? 1u : 0u; }

// ---- Speed of sound

double zvpyxpl_mcp_mach_from_tas(double tas, double oat) { return tas / speed_of_sound_kt(oat); }
double zvpyxpl_mcp_tas_from_mach(double mach, double oat) { return speed_of_sound_kt(oat) * mach; }

// ---- Mode status

unsigned int zvpyxpl_ap_vnav_status() { return zvpyxpl_fd_get_ap_vnav_status(); }
void zvpyxpl_ap_set_vnav_status(unsigned int on) { zvpyxpl_fd_set_ap_vnav_hld(on); }
unsigned int zvpyxpl_ap_hdg_status() { return zvpyxpl_fd_get_ap_hdg_status(); }
void zvpyxpl_ap_set_hdg_status(unsigned int on) { zvpyxpl_fd_set_ap_hdg_hld(on); }
unsigned int zvpyxpl_ap_vs_status() { return zvpyxpl_fd_get_ap_vs_status(); }
void zvpyxpl_ap_set_vs_status(unsigned int on) { zvpyxpl_fd_set_ap_vs_hld(on); }
unsigned int zvpyxpl_ap_alt_status() { return zvpyxpl_fd_get_ap_alt_status(); }
void zvpyxpl_ap_set_alt_status(unsigned int on) { zvpyxpl_fd_set_ap_alt_hld(on); }
unsigned int zvpyxpl_ap_lnav_status() { return zvpyxpl_fd_get_ap_lnav_status(); }
void zvpyxpl_ap_set_lnav_status(unsigned int on) { zvpyxpl_fd_set_ap_lnav_hld(on); }
unsigned int zvpyxpl_ap_loc_status() { return zvpyxpl_fd_get_ap_loc_status(); }
void zvpyxpl_ap_set_loc_status(unsigned int on) { zvpyxpl_fd_set_ap_loc_hld(on); }
unsigned int zvpyxpl_ap_gs_status() { return zvpyxpl_fd_get_ap_gs_status(); }
void zvpyxpl_ap_set_gs_status(unsigned int on) { zvpyxpl_fd_set_ap_app_hld(on); }  // the approach hold
unsigned int zvpyxpl_ap_lc_status() { return zvpyxpl_fd_get_ap_lc_status(); }
void zvpyxpl_ap_set_lc_status(unsigned int on) { zvpyxpl_fd_set_ap_lc_hld(on); }
unsigned int zvpyxpl_ap_n1_status() { return zvpyxpl_fd_get_ap_n1_status(); }
void zvpyxpl_ap_set_n1_status(unsigned int on) { zvpyxpl_fd_set_ap_n1_hld(on); }

// ---- Annunciator lamps

int zvpyxpl_mcp_get_cmda_led() { return lit(zvpyxpl_fd_get_ap_fd_mode() == AP_ENGAGED); }
int zvpyxpl_mcp_get_cmdb_led() { return lit(zvpyxpl_fd_get_ap_fd_mode() == AP_ENGAGED); }
int zvpyxpl_mcp_get_cwsa_led() { return 0; }
int zvpyxpl_mcp_get_cwsb_led() { return 0; }
int zvpyxpl_mcp_get_n1_led() { return lit(zvpyxpl_ap_n1_status() == STATUS_ACTIVE); }
int zvpyxpl_mcp_get_lchg_led() { return lit(zvpyxpl_ap_lc_status() == STATUS_ACTIVE); }
int zvpyxpl_mcp_get_spd_led() { return lit(zvpyxpl_fd_get_ap_spd_status() == STATUS_ACTIVE); }  // not when only armed
int zvpyxpl_mcp_get_vnav_led() { return lit(zvpyxpl_ap_vnav_status() == STATUS_ACTIVE); }
int zvpyxpl_mcp_get_hdg_led() { return lit(zvpyxpl_ap_hdg_status() == STATUS_ACTIVE); }
int zvpyxpl_mcp_get_lnav_led() { return lit(zvpyxpl_ap_lnav_status() == STATUS_ACTIVE); }
int zvpyxpl_mcp_get_loc_led() { return lit(zvpyxpl_ap_loc_status() != 0); }
int zvpyxpl_mcp_get_app_led() { return lit(zvpyxpl_ap_gs_status() != 0); }
int zvpyxpl_mcp_get_alt_led() { return lit(zvpyxpl_ap_alt_status() == STATUS_ACTIVE); }
int zvpyxpl_mcp_get_vs_led() { return lit(zvpyxpl_ap_vs_status() == STATUS_ACTIVE); }
// The flight-director lamps show the stored switch value itself.
int zvpyxpl_mcp_get_ma1_led() { return static_cast<int>(zvpyxpl_fd_get_ap_fd1_mode()); }
int zvpyxpl_mcp_get_ma2_led() { return static_cast<int>(zvpyxpl_fd_get_ap_fd2_mode()); }
int zvpyxpl_mcp_get_overspeed() { return 0; }

// ---- Buttons

void zvpyxpl_mcp_press_cmda() { press_cmd(); }
void zvpyxpl_mcp_press_cmdb() { press_cmd(); }
void zvpyxpl_mcp_press_cwsa() {}
void zvpyxpl_mcp_press_cwsb() {}
void zvpyxpl_mcp_press_co() { zvpyxpl_mcp_toggle_ias_mach_speed(); }
void zvpyxpl_mcp_press_spdintv() {}
void zvpyxpl_mcp_press_altintv() {}
void zvpyxpl_mcp_press_n1() { zvpyxpl_fd_toggle_ap_n1_hld(); }
void zvpyxpl_mcp_press_spd() { zvpyxpl_fd_toggle_ap_spd_hld(); }
void zvpyxpl_mcp_press_lchg() { zvpyxpl_fd_toggle_ap_lc_hld(); }
void zvpyxpl_mcp_press_vnav() { zvpyxpl_fd_toggle_ap_vnav_hld(); }
void zvpyxpl_mcp_press_hdg() { zvpyxpl_fd_toggle_ap_hdg_hld(); }
void zvpyxpl_mcp_press_lnav() { zvpyxpl_fd_toggle_ap_lnav_hld(); }
void zvpyxpl_mcp_press_loc() { zvpyxpl_fd_toggle_ap_loc_hld(); }
void zvpyxpl_mcp_press_app() { zvpyxpl_fd_toggle_ap_app_hld(); }
void zvpyxpl_mcp_press_alt() { zvpyxpl_fd_toggle_ap_alt_hld(); }
void zvpyxpl_mcp_press_vs() { zvpyxpl_fd_toggle_ap_vs_hld(); }
void zvpyxpl_mcp_toggle_ias_mach_speed() { zvpyxpl_fd_toggle_ap_speed_is_mach(); }
void zvpyxpl_mcp_set_bank_angle(unsigned int) {}
