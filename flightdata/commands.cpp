// Commands that change the simulator's state (radios, transponder, altimeter, autopilot targets,
// holds, speed mode, flight director and engagement, control inputs), each one or more client
// event transmissions.
#include <cmath>
#include <cstdint>

#include "flightdata/convert.h"
#include "flightdata/commands.h"
#include "flightdata/held.h"
#include "flightdata/readings.h"

namespace {

constexpr float MACH_BELOW = 5.0f;

// A value from a panel that is not a number is dropped; anything else is truncated toward zero
// and clamped to the 32-bit range.
void transmit_truncated(FlightEventId id, double v)
{
    if (std::isnan(v)) return;
    zvpyxpl_fd_transmit(id, static_cast<DWORD>(zv_trunc_i32(v)));
}

void set_hold(unsigned int on, FlightEventId on_event, FlightEventId off_event)
{
    zvpyxpl_fd_transmit(on != 0 ? on_event : off_event, 1);
}

// A control position: sign reversed and scaled by 182 in single precision, no limit applied.
void set_control(FlightEventId id, float v) { transmit_truncated(id, 0.0f - v * 182.0f); }

}  // namespace

// ---- Radios, transponder and altimeter

unsigned int zvpyxpl_int_to_sim_freq(unsigned int f)
{
    f -= 10000u;  // wraps below 10000; the hundreds-of-megahertz digit is implied
    unsigned int result = 0;
    for (unsigned int shift = 0; shift < 16; shift += 4) {
        result += (f % 10u) << shift;
        f /= 10u;
    }
    return result;
}

unsigned int zvpyxpl_adf_to_sim_freq(unsigned int f)
{
    // The ADF band, 190 to 1799.5 kHz, keeps the callers' two units apart: the adf1/adf2 messages
    // carry tens of hertz (35000 for 350 kHz), the radio block's words arrive as whole kHz (350).
    unsigned int hundreds_of_hz = f < 10000u ? f * 10u : f / 10u;
    unsigned int result = 0;
    for (unsigned int shift = 12; shift < 32; shift += 4) {
        result |= (hundreds_of_hz % 10u) << shift;
        hundreds_of_hz /= 10u;
    }
    return result;
}

unsigned int zvpyxpl_hex2dec(unsigned int v)
{
    // Every decimal digit becomes one nibble; a tenth or ninth digit lands above bit 31 and is
    // cut off with the rest of the 64-bit sum.
    std::uint64_t result = 0;
    for (unsigned int shift = 0; v != 0; shift += 4) {
        result += static_cast<std::uint64_t>(v % 10u) << shift;
        v /= 10u;
    }
    return static_cast<unsigned int>(result);
}

void zvpyxpl_fd_set_com1(unsigned int f) { zvpyxpl_fd_transmit(EVT_COM_RADIO_SET, zvpyxpl_int_to_sim_freq(f)); }
void zvpyxpl_fd_set_com1s(unsigned int f) { zvpyxpl_fd_transmit(EVT_COM_STBY_RADIO_SET, zvpyxpl_int_to_sim_freq(f)); }
void zvpyxpl_fd_set_com2(unsigned int f) { zvpyxpl_fd_transmit(EVT_COM2_RADIO_SET, zvpyxpl_int_to_sim_freq(f)); }
void zvpyxpl_fd_set_com2s(unsigned int f) { zvpyxpl_fd_transmit(EVT_COM2_STBY_RADIO_SET, zvpyxpl_int_to_sim_freq(f)); }
void zvpyxpl_fd_set_nav1(unsigned int f) { zvpyxpl_fd_transmit(EVT_NAV1_RADIO_SET, zvpyxpl_int_to_sim_freq(f)); }
void zvpyxpl_fd_set_nav1s(unsigned int f) { zvpyxpl_fd_transmit(EVT_NAV1_STBY_SET, zvpyxpl_int_to_sim_freq(f)); }
void zvpyxpl_fd_set_nav2(unsigned int f) { zvpyxpl_fd_transmit(EVT_NAV2_RADIO_SET, zvpyxpl_int_to_sim_freq(f)); }
void zvpyxpl_fd_set_nav2s(unsigned int f) { zvpyxpl_fd_transmit(EVT_NAV2_STBY_SET, zvpyxpl_int_to_sim_freq(f)); }
void zvpyxpl_fd_set_adf1(unsigned int f) { zvpyxpl_fd_transmit(EVT_ADF_COMPLETE_SET, zvpyxpl_adf_to_sim_freq(f)); }
void zvpyxpl_fd_set_adf2(unsigned int f) { zvpyxpl_fd_transmit(EVT_ADF2_COMPLETE_SET, zvpyxpl_adf_to_sim_freq(f)); }

void zvpyxpl_fd_set_xpdr_code(unsigned int code) { zvpyxpl_fd_transmit(EVT_XPNDR_SET, zvpyxpl_hex2dec(code)); }

void zvpyxpl_fd_set_baro_inhg(float inhg)
{
    // Millibars times 16, in single precision: 29.92 inHg sends 16209.
    const float p = (inhg * 16.0f) * 33.86f;
    transmit_truncated(EVT_KOHLSMAN_SET, p);
}

// ---- Autopilot targets

void zvpyxpl_fd_set_ap_hdg(unsigned int deg) { zvpyxpl_fd_transmit(EVT_HEADING_BUG_SET, deg); }
void zvpyxpl_fd_set_ap_crs1(unsigned int deg) { zvpyxpl_fd_transmit(EVT_VOR1_SET, deg); }
void zvpyxpl_fd_set_ap_crs2(unsigned int deg) { zvpyxpl_fd_transmit(EVT_VOR2_SET, deg); }
void zvpyxpl_fd_set_ap_alt(unsigned int ft) { zvpyxpl_fd_transmit(EVT_AP_ALT_VAR_SET_ENGLISH, ft); }
void zvpyxpl_fd_set_ap_vs(int fpm) { zvpyxpl_fd_transmit(EVT_AP_VS_VAR_SET_ENGLISH, static_cast<DWORD>(fpm)); }
void zvpyxpl_fd_inc_ap_vs() { zvpyxpl_fd_transmit(EVT_AP_VS_VAR_INC, 0); }
void zvpyxpl_fd_dec_ap_vs() { zvpyxpl_fd_transmit(EVT_AP_VS_VAR_DEC, 0); }

void zvpyxpl_fd_set_ap_spd(float v)
{
    // A speed below 5 is a Mach number, sent in hundredths. The float is widened before the
    // product, so Mach 0.78 (0.77999997 as a float) sends 77.
    if (v < MACH_BELOW)
        transmit_truncated(EVT_AP_MACH_VAR_SET, static_cast<double>(v) * 100.0);
    else
        transmit_truncated(EVT_AP_SPD_VAR_SET, v);
}

// ---- Speed mode and holds

void zvpyxpl_fd_set_ap_speed_is_mach(unsigned int mach)
{
    // The event for the wanted mode goes last.
    if (mach != 0) {
        zvpyxpl_fd_transmit(EVT_AP_AIRSPEED_SET, 0);
        zvpyxpl_fd_transmit(EVT_AP_MACH_SET, 1);
    } else {
        zvpyxpl_fd_transmit(EVT_AP_MACH_SET, 0);
        zvpyxpl_fd_transmit(EVT_AP_AIRSPEED_SET, 1);
    }
}

void zvpyxpl_fd_toggle_ap_speed_is_mach() { zvpyxpl_fd_set_ap_speed_is_mach(zvpyxpl_fd_get_ap_speed_is_mach() != 0 ? 0 : 1); }

void zvpyxpl_fd_set_ap_alt_hld(unsigned int on) { set_hold(on, EVT_AP_PANEL_ALTITUDE_ON, EVT_AP_PANEL_ALTITUDE_OFF); }
void zvpyxpl_fd_toggle_ap_alt_hld() { zvpyxpl_fd_transmit(EVT_AP_PANEL_ALTITUDE_HOLD, 0); }
void zvpyxpl_fd_set_ap_hdg_hld(unsigned int on) { set_hold(on, EVT_AP_PANEL_HEADING_ON, EVT_AP_PANEL_HEADING_OFF); }
void zvpyxpl_fd_toggle_ap_hdg_hld() { zvpyxpl_fd_transmit(EVT_AP_HDG_HOLD, 0); }
void zvpyxpl_fd_set_ap_loc_hld(unsigned int on) { set_hold(on, EVT_AP_LOC_HOLD_ON, EVT_AP_LOC_HOLD_OFF); }
void zvpyxpl_fd_toggle_ap_loc_hld() { zvpyxpl_fd_transmit(EVT_AP_LOC_HOLD, 0); }
void zvpyxpl_fd_set_ap_app_hld(unsigned int on) { set_hold(on, EVT_AP_APR_HOLD_ON, EVT_AP_APR_HOLD_OFF); }
void zvpyxpl_fd_toggle_ap_app_hld() { zvpyxpl_fd_transmit(EVT_AP_APR_HOLD, 0); }
void zvpyxpl_fd_set_ap_lnav_hld(unsigned int on) { set_hold(on, EVT_AP_NAV1_HOLD_ON, EVT_AP_NAV1_HOLD_OFF); }
void zvpyxpl_fd_toggle_ap_lnav_hld() { zvpyxpl_fd_transmit(EVT_AP_NAV1_HOLD, 0); }
void zvpyxpl_fd_set_ap_n1_hld(unsigned int) {}
void zvpyxpl_fd_toggle_ap_n1_hld() { zvpyxpl_fd_transmit(EVT_AP_N1_HOLD, 0); }
void zvpyxpl_fd_toggle_ap_spd_hld() { zvpyxpl_fd_transmit(EVT_AP_PANEL_SPEED_HOLD, 0); }
void zvpyxpl_fd_set_ap_vnav_hld(unsigned int) {}
void zvpyxpl_fd_toggle_ap_vnav_hld() {}
void zvpyxpl_fd_set_ap_lc_hld(unsigned int) {}
void zvpyxpl_fd_toggle_ap_lc_hld() {}
void zvpyxpl_fd_set_ap_vs_hld(unsigned int) {}
void zvpyxpl_fd_toggle_ap_vs_hld() {}

// Mode 0: no speed hold, throttle disarmed; 1: throttle armed, no hold; 2: armed with the
// airspeed or Mach hold that the speed mode selects. "AUTO_THROTTLE_ARM" is a toggle, sent only
// when the last frame's arm state differs from the wanted one.
void zvpyxpl_fd_set_ap_spd_hld(unsigned int mode)
{
    const bool armed = zvpyxpl_fd_get_ap_at_arm() != 0;
    switch (mode) {
    case 0:
        zvpyxpl_fd_transmit(EVT_AP_AIRSPEED_SET, 0);
        zvpyxpl_fd_transmit(EVT_AP_MACH_SET, 0);
        if (armed) zvpyxpl_fd_transmit(EVT_AUTO_THROTTLE_ARM, 0);
        break;
    case 1:
        if (!armed) zvpyxpl_fd_transmit(EVT_AUTO_THROTTLE_ARM, 0);
        zvpyxpl_fd_transmit(EVT_AP_AIRSPEED_SET, 0);
        zvpyxpl_fd_transmit(EVT_AP_MACH_SET, 0);
        break;
    case 2:
        if (!armed) zvpyxpl_fd_transmit(EVT_AUTO_THROTTLE_ARM, 0);
        if (zvpyxpl_fd_get_ap_speed_is_mach() != 0) {
            zvpyxpl_fd_transmit(EVT_AP_AIRSPEED_SET, 0);
            zvpyxpl_fd_transmit(EVT_AP_MACH_SET, 1);
        } else {
            zvpyxpl_fd_transmit(EVT_AP_MACH_SET, 0);
            zvpyxpl_fd_transmit(EVT_AP_AIRSPEED_SET, 1);
        }
        break;
    default: break;
    }
}

// ---- Navigation source: 2 means the GPS drives NAV 1; the simulator's switch is a toggle.

void zvpyxpl_fd_set_ap_source(unsigned int src)
{
    if ((zvpyxpl_fd_held.zvpyxpl_fd_ap_src == 2) != (src == 2)) zvpyxpl_fd_transmit(EVT_TOGGLE_GPS_DRIVES_NAV1, 1);
    zvpyxpl_fd_held.zvpyxpl_fd_ap_src = src;
}

// ---- Flight director and autopilot engagement

// Mode 0: both off; 1: flight director only; 2: flight director and autopilot.
// "TOGGLE_FLIGHT_DIRECTOR" is sent only when the last frame's state differs from the wanted one.
void zvpyxpl_fd_set_ap_fd_mode(unsigned int mode)
{
    const bool fd_on = zvpyxpl_fd_get_ap_fd_active() != 0;
    switch (mode) {
    case 0:
        zvpyxpl_fd_transmit(EVT_AUTOPILOT_OFF, 0);
        if (fd_on) zvpyxpl_fd_transmit(EVT_TOGGLE_FLIGHT_DIRECTOR, 0);
        break;
    case 1:
        zvpyxpl_fd_transmit(EVT_AUTOPILOT_OFF, 0);
        if (!fd_on) zvpyxpl_fd_transmit(EVT_TOGGLE_FLIGHT_DIRECTOR, 0);
        break;
    case 2:
        if (!fd_on) zvpyxpl_fd_transmit(EVT_TOGGLE_FLIGHT_DIRECTOR, 0);
        zvpyxpl_fd_transmit(EVT_AUTOPILOT_ON, 0);
        break;
    default: break;
    }
}

// ---- Control inputs

void zvpyxpl_fd_set_pitch(float v) { set_control(EVT_ELEVATOR_SET, v); }
void zvpyxpl_fd_set_roll(float v) { set_control(EVT_AILERON_SET, v); }
void zvpyxpl_fd_set_yaw(float v) { set_control(EVT_RUDDER_SET, v); }
