// The FlightData record, its variable and event tables, and their registration with the
// simulator. Owns `fdata` and `hSimConnect`.
#include "flightdata/record.h"

#include <cstring>

#include "flightdata/sent.h"

#define FV(NAME, UNITS, TYPE, FIELD) \
    FlightVariable{NAME, UNITS, SIMCONNECT_DATATYPE_##TYPE, offsetof(FlightData, FIELD)}

constexpr FlightVariable flightVariables[FLIGHT_VARIABLE_COUNT] = {
    FV("TITLE", nullptr, STRING256, title),
    FV("ABSOLUTE TIME", "Seconds", FLOAT64, absolute_time),
    FV("PLANE LATITUDE", "Degrees", FLOAT64, plane_latitude),
    FV("PLANE LONGITUDE", "Degrees", FLOAT64, plane_longitude),
    FV("PLANE ALTITUDE", "Feet", FLOAT64, plane_altitude),
    FV("INDICATED ALTITUDE", "Feet", FLOAT64, indicated_altitude),
    FV("PLANE ALT ABOVE GROUND", "Feet", FLOAT64, plane_alt_above_ground),
    FV("GROUND ALTITUDE", "Feet", FLOAT64, ground_altitude),
    FV("PLANE PITCH DEGREES", "Degrees", FLOAT64, plane_pitch_degrees),
    FV("PLANE BANK DEGREES", "Degrees", FLOAT64, plane_bank_degrees),
    FV("PLANE HEADING DEGREES TRUE", "Degrees", FLOAT64, plane_heading_degrees_true),
    FV("GPS GROUND TRUE TRACK", "Radians", FLOAT64, gps_ground_true_track),
    FV("MAGVAR", "Degrees", FLOAT64, magvar),
    FV("GPS GROUND SPEED", "Meters per second", FLOAT64, gps_ground_speed),
    FV("AIRSPEED INDICATED", "Knots", FLOAT64, airspeed_indicated),
    FV("AIRSPEED TRUE", "Knots", FLOAT64, airspeed_true),
    FV("AIRSPEED MACH", "Mach", FLOAT64, airspeed_mach),
    FV("VERTICAL SPEED", "Feet per second", FLOAT64, vertical_speed),
    FV("AMBIENT TEMPERATURE", "Celsius", FLOAT64, ambient_temperature),
    FV("KOHLSMAN SETTING MB", "Millibars", FLOAT64, kohlsman_setting_mb),
    FV("AMBIENT WIND VELOCITY", "Knots", FLOAT64, ambient_wind_velocity),
    FV("AMBIENT WIND DIRECTION", "Degrees", FLOAT64, ambient_wind_direction),
    FV("INCIDENCE ALPHA", "Radians", FLOAT64, incidence_alpha),
    FV("INCIDENCE BETA", "Radians", FLOAT64, incidence_beta),
    FV("FLAPS HANDLE PERCENT", "Percent", FLOAT64, flaps_handle_percent),
    FV("GEAR HANDLE POSITION", "Number", INT64, gear_handle_position),
    FV("TRANSPONDER AVAILABLE:1", "Number", INT32, transponder_available_1),
    FV("TRANSPONDER CODE:1", "Number", INT32, transponder_code_1),
    FV("COM STATUS:1", "Enum", INT32, com_status_1),
    FV("COM STATUS:2", "Enum", INT32, com_status_2),
    FV("COM AVAILABLE:1", "Bool", INT32, com_available_1),
    FV("COM AVAILABLE:2", "Bool", INT32, com_available_2),
    FV("COM ACTIVE FREQUENCY:1", "Number", INT32, com_active_frequency_1),
    FV("COM ACTIVE FREQUENCY:2", "Number", INT32, com_active_frequency_2),
    FV("COM STANDBY FREQUENCY:1", "Number", INT32, com_standby_frequency_1),
    FV("COM STANDBY FREQUENCY:2", "Number", INT32, com_standby_frequency_2),
    FV("NAV AVAILABLE:1", "Bool", INT32, nav_available_1),
    FV("NAV AVAILABLE:2", "Bool", INT32, nav_available_2),
    FV("NAV ACTIVE FREQUENCY:1", "Number", INT32, nav_active_frequency_1),
    FV("NAV ACTIVE FREQUENCY:2", "Number", INT32, nav_active_frequency_2),
    FV("NAV STANDBY FREQUENCY:1", "Number", INT32, nav_standby_frequency_1),
    FV("NAV STANDBY FREQUENCY:2", "Number", INT32, nav_standby_frequency_2),
    FV("ADF AVAILABLE:1", "Bool", INT32, adf_available_1),
    FV("ADF AVAILABLE:2", "Bool", INT32, adf_available_2),
    FV("ADF ACTIVE FREQUENCY:1", "Number", INT32, adf_active_frequency_1),
    FV("ADF STANDBY FREQUENCY:1", "Number", INT32, adf_standby_frequency_1),
    FV("ADF ACTIVE FREQUENCY:2", "Number", INT32, adf_active_frequency_2),
    FV("ADF STANDBY FREQUENCY:2", "Number", INT32, adf_standby_frequency_2),
    FV("DESIGN SPEED VS0", "Knots", FLOAT64, design_speed_vs0),
    FV("DESIGN SPEED VS1", "Knots", FLOAT64, design_speed_vs1),
    FV("DESIGN SPEED VC", "Knots", FLOAT64, design_speed_vc),
    FV("AIRSPEED BARBER POLE", "Knots", FLOAT64, airspeed_barber_pole),
    FV("MACH MAX OPERATE", "Mach", FLOAT64, mach_max_operate),
    FV("AUTOPILOT AVAILABLE", "Bool", INT64, autopilot_available),
    FV("AUTOPILOT HEADING LOCK DIR", "Number", FLOAT64, autopilot_heading_lock_dir),
    FV("AUTOPILOT AIRSPEED HOLD VAR", "Number", FLOAT64, autopilot_airspeed_hold_var),
    FV("AUTOPILOT MACH HOLD VAR", "Number", FLOAT64, autopilot_mach_hold_var),
    FV("AUTOPILOT ALTITUDE LOCK VAR", "Number", FLOAT64, autopilot_altitude_lock_var),
    FV("AUTOPILOT VERTICAL HOLD VAR", "Number", FLOAT64, autopilot_vertical_hold_var),
    FV("AUTOPILOT MACH HOLD", "Number", INT64, autopilot_mach_hold),
    FV("AUTOPILOT AIRSPEED HOLD", "Number", INT64, autopilot_airspeed_hold),
    FV("NAV OBS:1", "Number", FLOAT64, nav_obs_1),
    FV("NAV OBS:2", "Number", FLOAT64, nav_obs_2),
    FV("AUTOPILOT FLIGHT DIRECTOR BANK", "Number", FLOAT64, autopilot_flight_director_bank),
    FV("AUTOPILOT FLIGHT DIRECTOR PITCH", "Number", FLOAT64, autopilot_flight_director_pitch),
    FV("ATTITUDE INDICATOR BANK DEGREES", "Number", FLOAT64, attitude_indicator_bank_degrees),
    FV("ATTITUDE INDICATOR PITCH DEGREES", "Number", FLOAT64, attitude_indicator_pitch_degrees),
    FV("AUTOPILOT FLIGHT DIRECTOR ACTIVE", "Bool", INT32, autopilot_flight_director_active),
    FV("AUTOPILOT MASTER", "Bool", INT32, autopilot_master),
    FV("AUTOPILOT DISENGAGED", "Bool", INT32, autopilot_disengaged),
    FV("AUTOPILOT ALTITUDE LOCK", "Bool", INT32, autopilot_altitude_lock),
    FV("AUTOPILOT BANK HOLD", "Bool", INT32, autopilot_bank_hold),
    FV("AUTOPILOT APPROACH HOLD", "Bool", INT32, autopilot_approach_hold),
    FV("AUTOPILOT PITCH HOLD", "Bool", INT32, autopilot_pitch_hold),
    FV("AUTOPILOT ATTITUDE HOLD", "Bool", INT32, autopilot_attitude_hold),
    FV("AUTOPILOT BACKCOURSE HOLD", "Bool", INT32, autopilot_backcourse_hold),
    FV("AUTOPILOT GLIDESLOPE HOLD", "Bool", INT32, autopilot_glideslope_hold),
    FV("AUTOPILOT HEADING LOCK", "Bool", INT32, autopilot_heading_lock),
    FV("AUTOPILOT VERTICAL HOLD", "Bool", INT32, autopilot_vertical_hold),
    FV("AUTOPILOT NAV1 LOCK", "Bool", INT32, autopilot_nav1_lock),
    FV("AUTOPILOT TAKEOFF POWER ACTIVE", "Bool", INT32, autopilot_takeoff_power_active),
    FV("AUTOPILOT THROTTLE ARM", "Bool", INT32, autopilot_throttle_arm),
    FV("GPS DRIVES NAV1", "Bool", INT32, gps_drives_nav1),
};
#undef FV

namespace {

constexpr std::size_t width_of(SIMCONNECT_DATATYPE type)
{
    switch (type) {
    case SIMCONNECT_DATATYPE_STRING256: return 256;
    case SIMCONNECT_DATATYPE_FLOAT64:
    case SIMCONNECT_DATATYPE_INT64: return 8;
    case SIMCONNECT_DATATYPE_INT32: return 4;
    default: return 0;
    }
}

// Every row's field must start where the previous row's value ends, and the last must end
// at the end of the record: the simulator packs the block from the table alone.
constexpr bool table_matches_record()
{
    std::size_t expected = 0;
    for (const FlightVariable& row : flightVariables) {
        if (width_of(row.type) == 0 || row.offset != expected) return false;
        expected += width_of(row.type);
    }
    return expected == sizeof(FlightData);
}

}  // namespace

static_assert(table_matches_record(), "flightVariables does not describe the FlightData layout");

const FlightEvent flightEvents[FLIGHT_EVENT_COUNT] = {
    {EVT_KOHLSMAN_SET, "KOHLSMAN_SET"},
    {EVT_KOHLSMAN_INC, "KOHLSMAN_INC"},
    {EVT_KOHLSMAN_DEC, "KOHLSMAN_DEC"},
    {EVT_AP_ALT_VAR_SET_ENGLISH, "AP_ALT_VAR_SET_ENGLISH"},
    {EVT_AP_SPD_VAR_SET, "AP_SPD_VAR_SET"},
    {EVT_AP_MACH_VAR_SET, "AP_MACH_VAR_SET"},
    {EVT_HEADING_BUG_SET, "HEADING_BUG_SET"},
    {EVT_AP_VS_VAR_SET_ENGLISH, "AP_VS_VAR_SET_ENGLISH"},
    {EVT_VOR1_SET, "VOR1_SET"},
    {EVT_VOR2_SET, "VOR2_SET"},
    {EVT_AP_PANEL_ALTITUDE_ON, "AP_PANEL_ALTITUDE_ON"},
    {EVT_AP_PANEL_ALTITUDE_OFF, "AP_PANEL_ALTITUDE_OFF"},
    {EVT_AP_PANEL_ALTITUDE_HOLD, "AP_PANEL_ALTITUDE_HOLD"},
    {EVT_AP_PANEL_HEADING_ON, "AP_PANEL_HEADING_ON"},
    {EVT_AP_PANEL_HEADING_OFF, "AP_PANEL_HEADING_OFF"},
    {EVT_AP_HDG_HOLD, "AP_HDG_HOLD"},
    {EVT_AP_LOC_HOLD_ON, "AP_LOC_HOLD_ON"},
    {EVT_AP_LOC_HOLD_OFF, "AP_LOC_HOLD_OFF"},
    {EVT_AP_LOC_HOLD, "AP_LOC_HOLD"},
    {EVT_AP_N1_HOLD, "AP_N1_HOLD"},
    {EVT_AP_APR_HOLD_ON, "AP_APR_HOLD_ON"},
    {EVT_AP_APR_HOLD_OFF, "AP_APR_HOLD_OFF"},
    {EVT_AP_APR_HOLD, "AP_APR_HOLD"},
    {EVT_AP_NAV1_HOLD_ON, "AP_NAV1_HOLD_ON"},
    {EVT_AP_NAV1_HOLD_OFF, "AP_NAV1_HOLD_OFF"},
    {EVT_AP_NAV1_HOLD, "AP_NAV1_HOLD"},
    {EVT_AP_AIRSPEED_SET, "AP_AIRSPEED_SET"},
    {EVT_AP_MACH_SET, "AP_MACH_SET"},
    {EVT_AP_PANEL_SPEED_HOLD, "AP_PANEL_SPEED_HOLD"},
    {EVT_TOGGLE_GPS_DRIVES_NAV1, "TOGGLE_GPS_DRIVES_NAV1"},
    {EVT_TOGGLE_FLIGHT_DIRECTOR, "TOGGLE_FLIGHT_DIRECTOR"},
    {EVT_AUTOPILOT_ON, "AUTOPILOT_ON"},
    {EVT_AUTOPILOT_OFF, "AUTOPILOT_OFF"},
    {EVT_AUTO_THROTTLE_ARM, "AUTO_THROTTLE_ARM"},
    {EVT_AP_ALT_VAR_INC, "AP_ALT_VAR_INC"},
    {EVT_AP_ALT_VAR_DEC, "AP_ALT_VAR_DEC"},
    {EVT_HEADING_BUG_INC, "HEADING_BUG_INC"},
    {EVT_HEADING_BUG_DEC, "HEADING_BUG_DEC"},
    {EVT_AP_SPD_VAR_INC, "AP_SPD_VAR_INC"},
    {EVT_AP_SPD_VAR_DEC, "AP_SPD_VAR_DEC"},
    {EVT_AP_VS_VAR_INC, "AP_VS_VAR_INC"},
    {EVT_AP_VS_VAR_DEC, "AP_VS_VAR_DEC"},
    {EVT_COM_RADIO_SET, "COM_RADIO_SET"},
    {EVT_COM_STBY_RADIO_SET, "COM_STBY_RADIO_SET"},
    {EVT_COM2_RADIO_SET, "COM2_RADIO_SET"},
    {EVT_COM2_STBY_RADIO_SET, "COM2_STBY_RADIO_SET"},
    {EVT_NAV1_RADIO_SET, "NAV1_RADIO_SET"},
    {EVT_NAV1_STBY_SET, "NAV1_STBY_SET"},
    {EVT_NAV2_RADIO_SET, "NAV2_RADIO_SET"},
    {EVT_NAV2_STBY_SET, "NAV2_STBY_SET"},
    {EVT_ADF_COMPLETE_SET, "ADF_COMPLETE_SET"},
    {EVT_ADF2_COMPLETE_SET, "ADF2_COMPLETE_SET"},
    {EVT_XPNDR_SET, "XPNDR_SET"},
    {EVT_ELEVATOR_SET, "ELEVATOR_SET"},
    {EVT_AILERON_SET, "AILERON_SET"},
    {EVT_RUDDER_SET, "RUDDER_SET"},
};

ZvpyxplRecord zvpyxpl_fd_record;
HANDLE& hSimConnect = zvpyxpl_fd_record.hSimConnect;
FlightData& fdata = zvpyxpl_fd_record.fdata;

namespace {

const char* event_name(FlightEventId id)
{
    for (const FlightEvent& event : flightEvents)
        if (event.id == id) return event.name;
    return nullptr;
}

}  // namespace

void zvpyxpl_fd_add_definitions()
{
    for (const FlightVariable& row : flightVariables) {
        SimConnect_AddToDataDefinition(hSimConnect, 0, row.name, row.units, row.type, 0.0f, SIMCONNECT_UNUSED);
        zvpyxpl_fd_sent_note(ZvpyxplSentKind::Variable, row.name, row.units);
    }
    for (const FlightEvent& event : flightEvents) {
        SimConnect_MapClientEventToSimEvent(hSimConnect, event.id, event.name);
        zvpyxpl_fd_sent_note(ZvpyxplSentKind::Event, event.name);
    }
}

void zvpyxpl_fd_clear_data() { std::memset(&fdata, 0, sizeof fdata); }

void zvpyxpl_fd_request_data()
{
    zvpyxpl_fd_clear_data();
    SimConnect_RequestDataOnSimObject(hSimConnect, 0, 0, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_VISUAL_FRAME,
                                      SIMCONNECT_DATA_REQUEST_FLAG_DEFAULT, 0, 0, 0);
    zvpyxpl_fd_sent_note(ZvpyxplSentKind::DataRequest, nullptr);
}

void zvpyxpl_fd_refresh_data(FlightData* data) { std::memcpy(&fdata, data, sizeof fdata); }

double zvpyxpl_fd_data_get_time() { return fdata.absolute_time; }

FlightData* zvpyxpl_fd_data_get_data() { return &fdata; }

void zvpyxpl_fd_transmit(FlightEventId id, DWORD data)
{
    SimConnect_TransmitClientEvent(hSimConnect, SIMCONNECT_OBJECT_ID_USER, id, data, SIMCONNECT_GROUP_PRIORITY_HIGHEST,
                                   SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY);
    zvpyxpl_fd_sent_note(ZvpyxplSentKind::Transmission, event_name(id));
}
