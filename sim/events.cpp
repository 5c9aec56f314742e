// The table of simulator events and what each does to the world. Values out of an event's
// range are held at its limits; a radio or transponder value that is not valid binary-coded
// decimal leaves the radio unchanged.
#include "sim/events.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "sim/names.h"

namespace zvsim {

namespace {

constexpr double MAX_ALTITUDE_FT = 50000.0;
constexpr double MAX_VS_FPM = 8000.0;
constexpr double MIN_SPEED_KT = 100.0;
constexpr double MAX_SPEED_KT = 400.0;
constexpr double MIN_MACH = 0.2;
constexpr double MAX_MACH = 0.95;
constexpr double MIN_KOHLSMAN_MB = 900.0;
constexpr double MAX_KOHLSMAN_MB = 1100.0;
constexpr double CONTROL_FULL_SCALE = 16383.0;

// Event data are 32-bit words; signed values arrive in two's complement.
double as_signed(DWORD data) { return static_cast<std::int32_t>(data); }

// The value of `digits` binary-coded decimal nibbles, each at most `max_digit`.
std::optional<std::int32_t> from_bcd(DWORD data, int digits, DWORD max_digit)
{
    std::int32_t value = 0;
    for (std::int32_t i = 0, scale = 1; i < digits; ++i, scale *= 10, data >>= 4) {
        DWORD digit = data & 0xF;
        if (digit > max_digit) return std::nullopt;
        value += static_cast<std::int32_t>(digit) * scale;
    }
    if (data != 0) return std::nullopt;
    return value;
}

// COM and NAV frequencies: four digits of 10 kHz steps above 100 MHz (0x1810 is 118.10 MHz).
void set_vhf(std::int32_t& radio_hz, DWORD data)
{
    if (auto steps = from_bcd(data, 4, 9)) radio_hz = (10000 + *steps) * 10000;
}

// ADF frequencies ("Frequency ADF BCD32"): the frequency in 100 Hz units as five decimal digits,
// one per nibble, shifted left by 12 bits (0x03500000 is 350.0 kHz); the low 12 bits are zero.
void set_adf(std::int32_t& radio_hz, DWORD data)
{
    if ((data & 0xFFF) != 0) return;
    if (auto hundreds = from_bcd(data >> 12, 5, 9)) radio_hz = *hundreds * 100;
}

void set_control(double& position, DWORD data)
{
    position = std::clamp(as_signed(data), -CONTROL_FULL_SCALE, CONTROL_FULL_SCALE) / CONTROL_FULL_SCALE;
}

void set_heading_bug(World& w, double degrees) { w.ap_heading = wrap_2pi(degrees * DEG); }
void set_course(double& course, DWORD data) { course = wrap_2pi(as_signed(data) * DEG); }
void set_altitude_ft(World& w, double ft) { w.ap_altitude_m = std::clamp(ft, 0.0, MAX_ALTITUDE_FT) * FEET; }
void set_vs_fpm(World& w, double fpm) { w.ap_vs_ms = std::clamp(fpm, -MAX_VS_FPM, MAX_VS_FPM) * FPM; }
void set_speed_kt(World& w, double kt) { w.ap_airspeed_ms = std::clamp(kt, MIN_SPEED_KT, MAX_SPEED_KT) * KNOTS; }
void set_kohlsman(World& w, double mb) { w.kohlsman_mb = std::clamp(mb, MIN_KOHLSMAN_MB, MAX_KOHLSMAN_MB); }

// The lateral modes exclude each other; the localiser hold is the approach hold without the
// glideslope.
void set_lateral(Autopilot& ap, bool heading, bool nav1, bool approach, bool glideslope)
{
    ap.heading = heading;
    ap.nav1 = nav1;
    ap.approach = approach;
    ap.glideslope = glideslope;
}
void heading_on(World& w, DWORD) { set_lateral(w.ap, true, false, false, false); }
void nav1_on(World& w, DWORD) { set_lateral(w.ap, false, true, false, false); }
void localiser_on(World& w, DWORD) { set_lateral(w.ap, false, false, true, false); }
void approach_on(World& w, DWORD) { set_lateral(w.ap, false, false, true, true); }
void approach_off(World& w, DWORD) { w.ap.approach = w.ap.glideslope = false; }

// Altitude hold and vertical-speed hold exclude each other as well.
void altitude_on(World& w, DWORD)
{
    w.ap.altitude = true;
    w.ap.vertical_speed = false;
}
void vertical_speed_on(World& w, DWORD)
{
    w.ap.vertical_speed = true;
    w.ap.altitude = false;
}

void set_speed_mode(Autopilot& ap, bool airspeed, bool mach)
{
    ap.airspeed = airspeed;
    ap.mach = mach;
}

using W = World;
using D = DWORD;
constexpr std::array EVENTS = {
    Event{"KOHLSMAN_SET", [](W& w, D d) { set_kohlsman(w, d / 16.0); }},
    Event{"KOHLSMAN_INC", [](W& w, D) { set_kohlsman(w, w.kohlsman_mb + 1.0); }},
    Event{"KOHLSMAN_DEC", [](W& w, D) { set_kohlsman(w, w.kohlsman_mb - 1.0); }},
    Event{"AP_ALT_VAR_SET_ENGLISH", [](W& w, D d) { set_altitude_ft(w, as_signed(d)); }},
    Event{"AP_ALT_VAR_INC", [](W& w, D) { set_altitude_ft(w, w.ap_altitude_m / FEET + 100.0); }},
    Event{"AP_ALT_VAR_DEC", [](W& w, D) { set_altitude_ft(w, w.ap_altitude_m / FEET - 100.0); }},
    Event{"AP_SPD_VAR_SET", [](W& w, D d) { set_speed_kt(w, as_signed(d)); }},
    Event{"AP_SPD_VAR_INC", [](W& w, D) { set_speed_kt(w, w.ap_airspeed_ms / KNOTS + 1.0); }},
    Event{"AP_SPD_VAR_DEC", [](W& w, D) { set_speed_kt(w, w.ap_airspeed_ms / KNOTS - 1.0); }},
    Event{"AP_MACH_VAR_SET", [](W& w, D d) { w.ap_mach = std::clamp(as_signed(d) / 100.0, MIN_MACH, MAX_MACH); }},
    Event{"HEADING_BUG_SET", [](W& w, D d) { set_heading_bug(w, as_signed(d)); }},
    Event{"HEADING_BUG_INC", [](W& w, D) { set_heading_bug(w, w.ap_heading / DEG + 1.0); }},
    Event{"HEADING_BUG_DEC", [](W& w, D) { set_heading_bug(w, w.ap_heading / DEG - 1.0); }},
    Event{"AP_VS_VAR_SET_ENGLISH", [](W& w, D d) { set_vs_fpm(w, as_signed(d)); }},
    Event{"AP_VS_VAR_INC", [](W& w, D) { set_vs_fpm(w, w.ap_vs_ms / FPM + 100.0); }},
    Event{"AP_VS_VAR_DEC", [](W& w, D) { set_vs_fpm(w, w.ap_vs_ms / FPM - 100.0); }},
    Event{"VOR1_SET", [](W& w, D d) { set_course(w.obs[0], d); }},
    Event{"VOR2_SET", [](W& w, D d) { set_course(w.obs[1], d); }},

    Event{"AP_PANEL_ALTITUDE_ON", altitude_on},
    Event{"AP_PANEL_ALTITUDE_OFF", [](W& w, D) { w.ap.altitude = false; }},
    Event{"AP_PANEL_ALTITUDE_HOLD", [](W& w, D d) { w.ap.altitude ? void(w.ap.altitude = false) : altitude_on(w, d); }},
    Event{"AP_PANEL_VS_ON", vertical_speed_on},
    Event{"AP_PANEL_VS_OFF", [](W& w, D) { w.ap.vertical_speed = false; }},
    Event{"AP_PANEL_VS_HOLD",
          [](W& w, D d) { w.ap.vertical_speed ? void(w.ap.vertical_speed = false) : vertical_speed_on(w, d); }},
    Event{"AP_PANEL_HEADING_ON", heading_on},
    Event{"AP_PANEL_HEADING_OFF", [](W& w, D) { w.ap.heading = false; }},
    Event{"AP_HDG_HOLD", [](W& w, D d) { w.ap.heading ? void(w.ap.heading = false) : heading_on(w, d); }},
    Event{"AP_NAV1_HOLD_ON", nav1_on},
    Event{"AP_NAV1_HOLD_OFF", [](W& w, D) { w.ap.nav1 = false; }},
    Event{"AP_NAV1_HOLD", [](W& w, D d) { w.ap.nav1 ? void(w.ap.nav1 = false) : nav1_on(w, d); }},
    Event{"AP_LOC_HOLD_ON", localiser_on},
    Event{"AP_LOC_HOLD_OFF", approach_off},
    Event{"AP_LOC_HOLD",
          [](W& w, D d) { w.ap.approach && !w.ap.glideslope ? approach_off(w, d) : localiser_on(w, d); }},
    Event{"AP_APR_HOLD_ON", approach_on},
    Event{"AP_APR_HOLD_OFF", approach_off},
    Event{"AP_APR_HOLD", [](W& w, D d) { w.ap.approach && w.ap.glideslope ? approach_off(w, d) : approach_on(w, d); }},
    Event{"AP_N1_HOLD", [](W& w, D) { w.ap.n1 = !w.ap.n1; }},

    // Speed modes: airspeed and Mach hold exclude each other; the data word turns one on or off.
    Event{"AP_AIRSPEED_SET", [](W& w, D d) { set_speed_mode(w.ap, d != 0, w.ap.mach && d == 0); }},
    Event{"AP_MACH_SET", [](W& w, D d) { set_speed_mode(w.ap, w.ap.airspeed && d == 0, d != 0); }},
    Event{"AP_PANEL_SPEED_HOLD", [](W& w, D) { set_speed_mode(w.ap, !(w.ap.airspeed || w.ap.mach), false); }},
    Event{"AUTO_THROTTLE_ARM", [](W& w, D) { w.ap.throttle_arm = !w.ap.throttle_arm; }},

    Event{"TOGGLE_GPS_DRIVES_NAV1", [](W& w, D) { w.ap.gps_drives_nav1 = !w.ap.gps_drives_nav1; }},
    Event{"TOGGLE_FLIGHT_DIRECTOR", [](W& w, D) { w.ap.flight_director = !w.ap.flight_director; }},
    Event{"AUTOPILOT_ON", [](W& w, D) { w.ap.master = true; }},
    Event{"AUTOPILOT_OFF", [](W& w, D) { w.ap.master = false; }},
    Event{"AP_MASTER", [](W& w, D) { w.ap.master = !w.ap.master; }},

    Event{"COM_RADIO_SET", [](W& w, D d) { set_vhf(w.com_active[0], d); }},
    Event{"COM_STBY_RADIO_SET", [](W& w, D d) { set_vhf(w.com_standby[0], d); }},
    Event{"COM2_RADIO_SET", [](W& w, D d) { set_vhf(w.com_active[1], d); }},
    Event{"COM2_STBY_RADIO_SET", [](W& w, D d) { set_vhf(w.com_standby[1], d); }},
    Event{"NAV1_RADIO_SET", [](W& w, D d) { set_vhf(w.nav_active[0], d); }},
    Event{"NAV1_STBY_SET", [](W& w, D d) { set_vhf(w.nav_standby[0], d); }},
    Event{"NAV2_RADIO_SET", [](W& w, D d) { set_vhf(w.nav_active[1], d); }},
    Event{"NAV2_STBY_SET", [](W& w, D d) { set_vhf(w.nav_standby[1], d); }},
    Event{"ADF_COMPLETE_SET", [](W& w, D d) { set_adf(w.adf_active[0], d); }},
    Event{"ADF2_COMPLETE_SET", [](W& w, D d) { set_adf(w.adf_active[1], d); }},
    Event{"XPNDR_SET", [](W& w, D d) { w.squawk = from_bcd(d, 4, 7).value_or(w.squawk); }},

    Event{"ELEVATOR_SET", [](W& w, D d) { set_control(w.elevator, d); }},
    Event{"AILERON_SET", [](W& w, D d) { set_control(w.aileron, d); }},
    Event{"RUDDER_SET", [](W& w, D d) { set_control(w.rudder, d); }},
};

}  // namespace

const Event* find_event(const char* name)
{
    if (name == nullptr) return nullptr;
    for (const Event& e : EVENTS)
        if (same_name(e.name, name)) return &e;
    return nullptr;
}

}  // namespace zvsim
