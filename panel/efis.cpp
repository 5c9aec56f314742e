// The first EFIS control panel: navigation display mode, range, option buttons and needle
// selectors (held with the flight data, never sent to the simulator), and the barometric knob and
// STD button, which set the simulator's altimeter.
#include "flightdata/flightdata.h"
#include "panel/efis.h"

namespace {

constexpr unsigned int SHOW_WXR = 0x001;
constexpr unsigned int SHOW_TFC = 0x002;
constexpr unsigned int SHOW_ARPT = 0x004;
constexpr unsigned int SHOW_WPT = 0x008;
constexpr unsigned int SHOW_STA = 0x010 | 0x020;  // one option kept in two bits
constexpr unsigned int SHOW_CTR = 0x200;

constexpr float BARO_STEP_INHG = 0.01f;
constexpr float BARO_STD_INHG = 29.92f;

void toggle_show(unsigned int bit) { zvpyxpl_fd_set_nd_show(zvpyxpl_fd_get_nd_show() ^ bit); }

// Selector position to stored value: 0 -> 2, 1 -> 0, anything else -> 1.
unsigned int selector_value(unsigned int pos) { return pos == 0 ? 2u : pos == 1 ? 0u : 1u; }

}  // namespace

void zvpyxpl_efis1_set_show(unsigned int show) { zvpyxpl_fd_set_nd_show(show); }
unsigned int zvpyxpl_efis1_get_show() { return zvpyxpl_fd_get_nd_show(); }
void zvpyxpl_efis1_set_mode(unsigned int mode) { zvpyxpl_fd_set_nd_mode(mode); }
unsigned int zvpyxpl_efis1_get_mode() { return zvpyxpl_fd_get_nd_mode(); }

// The modes cycle 0, 1, 2, 4 in both directions (3 is skipped). A stored value outside the cycle
// steps up to 0 or down to 4; from 0 the unsigned step down wraps to the largest value, so 4.
void zvpyxpl_efis1_inc_mode()
{
    unsigned int m = zvpyxpl_fd_get_nd_mode() + 1;
    if (m == 3) m = 4;
    if (m > 4) m = 0;
    zvpyxpl_fd_set_nd_mode(m);
}

void zvpyxpl_efis1_dec_mode()
{
    unsigned int m = zvpyxpl_fd_get_nd_mode() - 1;
    if (m == 3) m = 2;
    if (m > 4) m = 4;
    zvpyxpl_fd_set_nd_mode(m);
}

void zvpyxpl_efis1_set_range(float range) { zvpyxpl_fd_set_nd_range(range); }
float zvpyxpl_efis1_get_range() { return zvpyxpl_fd_get_nd_range(); }

void zvpyxpl_efis1_press_wxr() { toggle_show(SHOW_WXR); }
void zvpyxpl_efis1_press_tfc() { toggle_show(SHOW_TFC); }
void zvpyxpl_efis1_press_arpt() { toggle_show(SHOW_ARPT); }
void zvpyxpl_efis1_press_wpt() { toggle_show(SHOW_WPT); }
void zvpyxpl_efis1_press_ctr() { toggle_show(SHOW_CTR); }

// Either station bit set counts as on: a press then clears both.
void zvpyxpl_efis1_press_sta()
{
    const unsigned int show = zvpyxpl_fd_get_nd_show();
    zvpyxpl_fd_set_nd_show((show & SHOW_STA) == 0 ? show | SHOW_STA : show & ~SHOW_STA);
}

void zvpyxpl_efis1_press_data() {}
void zvpyxpl_efis1_press_pos() {}
void zvpyxpl_efis1_press_terr() {}
void zvpyxpl_efis1_press_fpv() {}
void zvpyxpl_efis1_press_mtrs() {}

// The minimums selector and the hPa/inHg selector step the display mode.
void zvpyxpl_efis1_mins_select_radio() { zvpyxpl_efis1_dec_mode(); }
void zvpyxpl_efis1_mins_select_baro() { zvpyxpl_efis1_inc_mode(); }
void zvpyxpl_efis1_mins_press_rst() {}
void zvpyxpl_efis1_inc_mins(float) {}
void zvpyxpl_efis1_dec_mins(float) {}
void zvpyxpl_efis1_select_hpa() { zvpyxpl_efis1_inc_mode(); }
void zvpyxpl_efis1_select_inhg() { zvpyxpl_efis1_dec_mode(); }

void zvpyxpl_efis1_set_baro(float inhg) { zvpyxpl_fd_set_baro_inhg(inhg); }
float zvpyxpl_efis1_get_baro() { return zvpyxpl_fd_get_baro_inhg(); }

// Single precision, no bounds and no rounding: the simulator's next frame shows the result.
void zvpyxpl_efis1_inc_baro(float steps) { zvpyxpl_efis1_set_baro(zvpyxpl_efis1_get_baro() + BARO_STEP_INHG * steps); }
void zvpyxpl_efis1_dec_baro(float steps) { zvpyxpl_efis1_set_baro(zvpyxpl_efis1_get_baro() - BARO_STEP_INHG * steps); }
void zvpyxpl_efis1_press_std() { zvpyxpl_efis1_set_baro(BARO_STD_INHG); }

void zvpyxpl_efis1_set_vas1(unsigned int pos) { zvpyxpl_fd_set_nd_nav1sel(selector_value(pos)); }
void zvpyxpl_efis1_set_vas2(unsigned int pos) { zvpyxpl_fd_set_nd_nav2sel(selector_value(pos)); }
