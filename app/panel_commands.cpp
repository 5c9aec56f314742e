// Panel commands: the network's message hook (see panel_commands.h). Each accepted application
// message becomes one call of a flight-data or panel operation, chosen by its group and then by
// its identifier.
#include "app/panel_commands.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "app/report.h"
#include "flightdata/convert.h"
#include "flightdata/flightdata.h"
#include "panel/efis.h"
#include "panel/mcp.h"
#include "protocol/messages.h"

namespace {

std::uint32_t word_at(const void* data, unsigned int index = 0)
{
    std::uint32_t w;
    std::memcpy(&w, static_cast<const unsigned char*>(data) + 4 * index, sizeof w);
    return w;
}

float float_at(const void* data)
{
    float f;
    std::memcpy(&f, data, sizeof f);
    return f;
}

// A dial value truncated toward zero to a signed 32-bit integer; values beyond that range
// are clamped to it. False for a value that is not a number: such a command is dropped.
bool dial_value(const void* data, std::int32_t& out)
{
    float v = float_at(data);
    if (std::isnan(v)) return false;
    out = zv_trunc_i32(v);
    return true;
}

void unsigned_dial(const void* data, void (*set)(unsigned int))
{
    std::int32_t v;
    if (dial_value(data, v)) set(static_cast<unsigned int>(v));
}

void mcp_speed(const void* data)
{
    float v = float_at(data);
    // Below 5.0 is a Mach number; 5.0 and above, or not a number, is knots.
    zvpyxpl_fd_set_ap_speed_is_mach(v < 5.0f ? 1u : 0u);
    zvpyxpl_mcp_set_speed_dial(v);
}

void radio_block(const void* data)
{
    zvpyxpl_fd_set_nav1(word_at(data, 0));
    zvpyxpl_fd_set_nav1s(word_at(data, 1));
    zvpyxpl_fd_set_nav2(word_at(data, 2));
    zvpyxpl_fd_set_nav2s(word_at(data, 3));
    zvpyxpl_fd_set_com1(word_at(data, 4));
    zvpyxpl_fd_set_com1s(word_at(data, 5));
    zvpyxpl_fd_set_com2(word_at(data, 6));
    zvpyxpl_fd_set_com2s(word_at(data, 7));
    // Only the block's ADF words are divided by 100; the single ADF messages pass unchanged.
    zvpyxpl_fd_set_adf1(word_at(data, 8) / 100);
    zvpyxpl_fd_set_adf1s(word_at(data, 9) / 100);
    zvpyxpl_fd_set_adf2(word_at(data, 10) / 100);
    zvpyxpl_fd_set_adf2s(word_at(data, 11) / 100);
}

void autopilot(unsigned int id, const void* data)
{
    switch (id) {
    case zvmsg::MCP_ALTITUDE: unsigned_dial(data, zvpyxpl_mcp_set_alt_dial); break;
    case zvmsg::MCP_SPEED: mcp_speed(data); break;
    case zvmsg::MCP_HEADING: unsigned_dial(data, zvpyxpl_mcp_set_hdg_dial); break;
    case zvmsg::MCP_VERTICAL_SPEED: {
        std::int32_t v;
        if (dial_value(data, v)) zvpyxpl_mcp_set_vvm_dial(v);
        break;
    }
    case zvmsg::MCP_COURSE1: unsigned_dial(data, zvpyxpl_mcp_set_crs1_dial); break;
    case zvmsg::MCP_COURSE2: unsigned_dial(data, zvpyxpl_mcp_set_crs2_dial); break;
    case zvmsg::SPEED_IS_MACH: zvpyxpl_fd_set_ap_speed_is_mach(word_at(data) != 0 ? 1u : 0u); break;
    case zvmsg::AP_SOURCE: zvpyxpl_fd_set_ap_source(word_at(data)); break;
    case zvmsg::SPD_STATUS: zvpyxpl_fd_set_ap_spd_hld(word_at(data)); break;
    case zvmsg::LNAV_STATUS: zvpyxpl_fd_set_ap_lnav_hld(word_at(data)); break;
    case zvmsg::VNAV_STATUS: zvpyxpl_fd_set_ap_vnav_hld(word_at(data)); break;
    case zvmsg::HDG_STATUS: zvpyxpl_fd_set_ap_hdg_hld(word_at(data)); break;
    case zvmsg::LOC_STATUS: zvpyxpl_fd_set_ap_loc_hld(word_at(data)); break;
    case zvmsg::ALT_STATUS: zvpyxpl_fd_set_ap_alt_hld(word_at(data)); break;
    case zvmsg::VS_STATUS: zvpyxpl_fd_set_ap_vs_hld(word_at(data)); break;
    case zvmsg::GS_STATUS: zvpyxpl_fd_set_ap_app_hld(word_at(data)); break;  // approach mode
    case zvmsg::LC_STATUS: zvpyxpl_fd_set_ap_lc_hld(word_at(data)); break;
    case zvmsg::N1_STATUS: zvpyxpl_fd_set_ap_n1_hld(word_at(data)); break;
    default: break;
    }
}

void efis(unsigned int id, const void* data)
{
    switch (id) {
    case zvmsg::EFIS_MODE: zvpyxpl_efis1_set_mode(word_at(data)); break;
    case zvmsg::EFIS_OPTIONS: zvpyxpl_efis1_set_show(word_at(data)); break;
    case zvmsg::ND_RANGE: zvpyxpl_efis1_set_range(float_at(data)); break;
    case zvmsg::ND_NAV1_SELECTOR: zvpyxpl_fd_set_nd_nav1sel(word_at(data)); break;
    case zvmsg::ND_NAV2_SELECTOR: zvpyxpl_fd_set_nd_nav2sel(word_at(data)); break;
    default: break;
    }
}

void radios(unsigned int id, const void* data)
{
    switch (id) {
    case zvmsg::NAV1_ACTIVE: zvpyxpl_fd_set_nav1(word_at(data)); break;
    case zvmsg::NAV2_ACTIVE: zvpyxpl_fd_set_nav2(word_at(data)); break;
    case zvmsg::COM1_ACTIVE: zvpyxpl_fd_set_com1(word_at(data)); break;
    case zvmsg::COM2_ACTIVE: zvpyxpl_fd_set_com2(word_at(data)); break;
    case zvmsg::ADF1_ACTIVE: zvpyxpl_fd_set_adf1(word_at(data)); break;
    case zvmsg::ADF2_ACTIVE: zvpyxpl_fd_set_adf2(word_at(data)); break;
    case zvmsg::NAV1_STANDBY: zvpyxpl_fd_set_nav1s(word_at(data)); break;
    case zvmsg::NAV2_STANDBY: zvpyxpl_fd_set_nav2s(word_at(data)); break;
    case zvmsg::COM1_STANDBY: zvpyxpl_fd_set_com1s(word_at(data)); break;
    case zvmsg::COM2_STANDBY: zvpyxpl_fd_set_com2s(word_at(data)); break;
    case zvmsg::ADF1_STANDBY: zvpyxpl_fd_set_adf1s(word_at(data)); break;
    case zvmsg::ADF2_STANDBY: zvpyxpl_fd_set_adf2s(word_at(data)); break;
    case zvmsg::XPDR_CODE: zvpyxpl_fd_set_xpdr_code(word_at(data)); break;
    case zvmsg::XPDR_MODE: zvpyxpl_fd_set_xpdr_mode(word_at(data)); break;
    case zvmsg::RADIO_BLOCK: radio_block(data); break;
    default: break;
    }
}

}  // namespace

void zvscpl_zvmp_message_callback(unsigned int id, void* data, sockaddr_in* /*from*/)
{
    if (!zvmsg_is_application(id) || data == nullptr) return;
    ++zvscpl_report.commands;

    switch (zvmsg_group(id)) {
    case zvmsg::GROUP_AIR_DATA:
        if (id == zvmsg::ALTIMETER_SETTING) zvpyxpl_efis1_set_baro(float_at(data));
        break;
    case zvmsg::GROUP_AUTOPILOT: autopilot(id, data); break;
    case zvmsg::GROUP_EFIS: efis(id, data); break;
    case zvmsg::GROUP_FLIGHT_DIRECTOR:
        if (id == zvmsg::FD_MODE) zvpyxpl_fd_set_ap_fd_mode(word_at(data));
        break;
    case zvmsg::GROUP_CONTROLS:
        if (id == zvmsg::ROLL_INPUT) zvpyxpl_fd_set_roll(float_at(data));
        if (id == zvmsg::PITCH_INPUT) zvpyxpl_fd_set_pitch(float_at(data));
        if (id == zvmsg::YAW_INPUT) zvpyxpl_fd_set_yaw(float_at(data));
        break;
    case zvmsg::GROUP_RADIOS: radios(id, data); break;
    default: break;
    }
}
