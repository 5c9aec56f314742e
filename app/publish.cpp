// Publishing to streaming panels (see publish.h). Nothing is kept between calls; every value is
// read afresh.
#include "app/publish.h"

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "flightdata/convert.h"
#include "flightdata/flightdata.h"
#include "net/zvmpnet.h"
#include "panel/efis.h"
#include "panel/mcp.h"
#include "protocol/messages.h"
#include "protocol/network.h"

namespace {

// Adds one message whose value is a double reading, in the width the identifier states.
void add_reading(zvmp_pkt_s* pkt, unsigned int id, double value)
{
    if (zvmsg_kind(id) == ZvmsgKind::Float64) {
        zvmp_net_add_msg_to_pkt(pkt, id, &value);
    } else {
        float f = zv_narrow_f32(value);
        zvmp_net_add_msg_to_pkt(pkt, id, &f);
    }
}

void add_float(zvmp_pkt_s* pkt, unsigned int id, float value) { zvmp_net_add_msg_to_pkt(pkt, id, &value); }

void add_word(zvmp_pkt_s* pkt, unsigned int id, std::uint32_t value) { zvmp_net_add_msg_to_pkt(pkt, id, &value); }

struct CommonReading {
    unsigned int id;
    double (*read)();
};

// Position, attitude, speeds and air data: both sub-second packets, in this order.
const CommonReading kCommonReadings[] = {
    {zvmsg::LATITUDE, zvpyxpl_fd_get_latitude},
    {zvmsg::LONGITUDE, zvpyxpl_fd_get_longitude},
    {zvmsg::INDICATED_ALTITUDE_M, zvpyxpl_fd_get_altitude_m},
    {zvmsg::PITCH, zvpyxpl_fd_get_pitch_deg},
    {zvmsg::TRUE_HEADING, zvpyxpl_fd_get_hdg_true_deg},
    {zvmsg::BANK, zvpyxpl_fd_get_roll_deg},
    {zvmsg::MAGNETIC_VARIATION, zvpyxpl_fd_get_magvar_deg},
    {zvmsg::GROUND_SPEED, zvpyxpl_fd_get_gs_kt},  // metres per second
    {zvmsg::INDICATED_AIRSPEED, zvpyxpl_fd_get_ias_kt},
    {zvmsg::TRUE_AIRSPEED_MS, zvpyxpl_fd_get_tas_ms},
    {zvmsg::MACH, zvpyxpl_fd_get_mach},
    {zvmsg::VERTICAL_SPEED, zvpyxpl_fd_get_vvi_fpm},
    {zvmsg::ALTITUDE_MSL_M, zvpyxpl_fd_get_msl_m},
    {zvmsg::HEIGHT_AGL_M, zvpyxpl_fd_get_agl_m},
    {zvmsg::ANGLE_OF_ATTACK, zvpyxpl_fd_get_alpha_deg},
    {zvmsg::DRIFT_ANGLE, zvpyxpl_fd_get_beta_deg},
    {zvmsg::WIND_DIRECTION, zvpyxpl_fd_get_winddir_deg_true},
    {zvmsg::WIND_SPEED, zvpyxpl_fd_get_windspeed_kt},
    {zvmsg::OUTSIDE_AIR_TEMPERATURE, zvpyxpl_fd_get_otemp_deg},
    {zvmsg::ALTIMETER_SETTING, [] { return static_cast<double>(zvpyxpl_efis1_get_baro()); }},
};

struct Radio {
    unsigned int (*available)();
    unsigned int (*active)();
    unsigned int (*standby)();
};

// Radio block order: two words per radio, active then standby.
const Radio kRadios[] = {
    {zvpyxpl_fd_get_nav1_available, zvpyxpl_fd_get_nav1, zvpyxpl_fd_get_nav1s},
    {zvpyxpl_fd_get_nav2_available, zvpyxpl_fd_get_nav2, zvpyxpl_fd_get_nav2s},
    {zvpyxpl_fd_get_com1_available, zvpyxpl_fd_get_com1, zvpyxpl_fd_get_com1s},
    {zvpyxpl_fd_get_com2_available, zvpyxpl_fd_get_com2, zvpyxpl_fd_get_com2s},
    {zvpyxpl_fd_get_adf1_available, zvpyxpl_fd_get_adf1, zvpyxpl_fd_get_adf1s},
    {zvpyxpl_fd_get_adf2_available, zvpyxpl_fd_get_adf2, zvpyxpl_fd_get_adf2s},
};
static_assert(std::size(kRadios) * 2 == zvmsg::RADIO_BLOCK_WORDS);

struct StatusWord {
    unsigned int id;
    unsigned int (*read)();
};

// After the dials (and the flight-director bars): source, mode statuses, flight-director mode.
const StatusWord kAutopilotWords[] = {
    {zvmsg::AP_SOURCE, zvpyxpl_fd_get_ap_source},
    {zvmsg::SPD_STATUS, zvpyxpl_fd_get_ap_spd_status},
    {zvmsg::ALT_STATUS, zvpyxpl_fd_get_ap_alt_status},
    {zvmsg::HDG_STATUS, zvpyxpl_fd_get_ap_hdg_status},
    {zvmsg::VS_STATUS, zvpyxpl_fd_get_ap_vs_status},
    {zvmsg::LOC_STATUS, zvpyxpl_fd_get_ap_loc_status},
    {zvmsg::GS_STATUS, zvpyxpl_fd_get_ap_gs_status},
    {zvmsg::LNAV_STATUS, zvpyxpl_fd_get_ap_lnav_status},
    {zvmsg::VNAV_STATUS, zvpyxpl_fd_get_ap_vnav_status},
    {zvmsg::LC_STATUS, zvpyxpl_fd_get_ap_lc_status},
    {zvmsg::N1_STATUS, zvpyxpl_fd_get_ap_n1_status},
    {zvmsg::FD_MODE, zvpyxpl_fd_get_ap_fd_mode},
};

void add_radios(zvmp_pkt_s* pkt)
{
    std::uint32_t words[zvmsg::RADIO_BLOCK_WORDS] = {};
    std::size_t w = 0;
    for (const Radio& radio : kRadios) {
        if (radio.available() != 0) {
            words[w] = radio.active();
            words[w + 1] = radio.standby();
        }
        w += 2;
    }
    zvmp_net_add_msg_to_pkt(pkt, zvmsg::RADIO_BLOCK, words);
}

void add_autopilot(zvmp_pkt_s* pkt)
{
    // The integer dials travel as float32.
    add_float(pkt, zvmsg::MCP_ALTITUDE, static_cast<float>(zvpyxpl_mcp_get_alt_dial()));
    add_float(pkt, zvmsg::MCP_VERTICAL_SPEED, static_cast<float>(zvpyxpl_mcp_get_vvm_dial()));
    add_word(pkt, zvmsg::SPEED_IS_MACH, zvpyxpl_fd_get_ap_speed_is_mach());
    add_float(pkt, zvmsg::MCP_SPEED, zvpyxpl_mcp_get_speed_dial());
    add_float(pkt, zvmsg::MCP_HEADING, static_cast<float>(zvpyxpl_mcp_get_hdg_dial()));
    add_float(pkt, zvmsg::MCP_COURSE1, static_cast<float>(zvpyxpl_mcp_get_crs1_dial()));
    add_float(pkt, zvmsg::MCP_COURSE2, static_cast<float>(zvpyxpl_mcp_get_crs2_dial()));
    if (zvpyxpl_fd_get_ap_fd_active() != 0) {
        add_reading(pkt, zvmsg::FD_BANK, zvpyxpl_fd_get_ap_fd_roll_deg());
        add_reading(pkt, zvmsg::FD_PITCH, zvpyxpl_fd_get_ap_fd_pitch_deg());
    }
    for (const StatusWord& s : kAutopilotWords) add_word(pkt, s.id, s.read());
}

}  // namespace

void zvscpl_send_subsecond_data()
{
    if (zvmp_number_of_stream_clients() == 0) return;
    zvmp_pkt_ptr full(zvmp_net_make_packet());
    zvmp_pkt_ptr position(zvmp_net_make_packet());
    if (!full || !position) return;

    for (const CommonReading& r : kCommonReadings) {
        double value = r.read();
        add_reading(full.get(), r.id, value);
        add_reading(position.get(), r.id, value);
    }

    zvmp_pkt_s* pkt = full.get();
    add_word(pkt, zvmsg::GEAR_HANDLE, static_cast<std::uint32_t>(zvpyxpl_fd_get_lgear_down()));
    add_reading(pkt, zvmsg::FLAPS_HANDLE, zvpyxpl_fd_get_flapshandle_perc());
    add_radios(pkt);
    if (zvpyxpl_fd_get_xpdr_available() != 0) add_word(pkt, zvmsg::XPDR_CODE, zvpyxpl_fd_get_xpdr_code());
    add_word(pkt, zvmsg::XPDR_MODE, zvpyxpl_fd_get_xpdr_mode());
    if (zvpyxpl_fd_get_ap_available() != 0) add_autopilot(pkt);
    add_word(pkt, zvmsg::EFIS_OPTIONS, zvpyxpl_efis1_get_show());
    add_word(pkt, zvmsg::EFIS_MODE, zvpyxpl_efis1_get_mode());
    add_float(pkt, zvmsg::ND_RANGE, zvpyxpl_efis1_get_range());
    add_word(pkt, zvmsg::ND_NAV1_SELECTOR, zvpyxpl_fd_get_nd_nav1sel());
    add_word(pkt, zvmsg::ND_NAV2_SELECTOR, zvpyxpl_fd_get_nd_nav2sel());

    zvmp_net_send_to_stream_peers(full.get(), ZVMP_NODE_FULL_PANEL);
    zvmp_net_send_to_stream_peers(position.get(), ZVMP_NODE_POSITION_PANEL);
}

void zvscpl_send_second_data()
{
    if (zvmp_number_of_stream_clients() == 0) return;
    zvmp_pkt_ptr pkt(zvmp_net_make_packet());
    if (!pkt) return;

    add_float(pkt.get(), zvmsg::SPEED_VS0, zvpyxpl_fd_get_vs0());
    add_float(pkt.get(), zvmsg::SPEED_VS1, zvpyxpl_fd_get_vs1());
    add_float(pkt.get(), zvmsg::SPEED_VNE, zvpyxpl_fd_get_vne());
    add_float(pkt.get(), zvmsg::SPEED_LIMIT_04, 0.0f);
    add_float(pkt.get(), zvmsg::SPEED_VFE, zvpyxpl_fd_get_vfe());
    add_float(pkt.get(), zvmsg::SPEED_MMO, zvpyxpl_fd_get_mmo());

    zvmp_net_send_to_stream_peers(pkt.get(), ZVMP_NODE_FULL_PANEL);
    zvmp_net_send_to_stream_peers(pkt.get(), ZVMP_NODE_POSITION_PANEL);
}
