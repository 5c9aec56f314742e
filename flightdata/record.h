// The FlightData record that the simulator fills every visual frame, the table of simulator
// variables it is registered from, the client events the commands send, the connection handle,
// and the one rule by which every command is transmitted.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/SimConnect.h"

// One row per simulator variable, in record order. `offset` is where the variable's field
// starts in FlightData; the table is checked against the record at compile time.
struct FlightVariable {
    const char* name;
    const char* units;  // null for "TITLE"
    SIMCONNECT_DATATYPE type;
    std::size_t offset;
};

// The record exactly as the simulator writes the block of definition 0: packed, no gaps.
#pragma pack(push, 1)
struct FlightData {
    char title[256];
    double absolute_time;
    double plane_latitude;
    double plane_longitude;
    double plane_altitude;
    double indicated_altitude;
    double plane_alt_above_ground;
    double ground_altitude;
    double plane_pitch_degrees;
    double plane_bank_degrees;
    double plane_heading_degrees_true;
    double gps_ground_true_track;  // radians
    double magvar;
    double gps_ground_speed;  // metres per second
    double airspeed_indicated;
    double airspeed_true;
    double airspeed_mach;
    double vertical_speed;  // feet per second
    double ambient_temperature;
    double kohlsman_setting_mb;
    double ambient_wind_velocity;
    double ambient_wind_direction;
    double incidence_alpha;  // radians
    double incidence_beta;   // radians
    double flaps_handle_percent;
    std::int64_t gear_handle_position;
    std::int32_t transponder_available_1;
    std::int32_t transponder_code_1;
    std::int32_t com_status_1;
    std::int32_t com_status_2;
    std::int32_t com_available_1;
    std::int32_t com_available_2;
    std::int32_t com_active_frequency_1;
    std::int32_t com_active_frequency_2;
    std::int32_t com_standby_frequency_1;
    std::int32_t com_standby_frequency_2;
    std::int32_t nav_available_1;
    std::int32_t nav_available_2;
    std::int32_t nav_active_frequency_1;
    std::int32_t nav_active_frequency_2;
    std::int32_t nav_standby_frequency_1;
    std::int32_t nav_standby_frequency_2;
    std::int32_t adf_available_1;
    std::int32_t adf_available_2;
    std::int32_t adf_active_frequency_1;
    std::int32_t adf_standby_frequency_1;
    std::int32_t adf_active_frequency_2;
    std::int32_t adf_standby_frequency_2;
    double design_speed_vs0;
    double design_speed_vs1;
    double design_speed_vc;
    double airspeed_barber_pole;
    double mach_max_operate;
    std::int64_t autopilot_available;
    double autopilot_heading_lock_dir;     // radians
    double autopilot_airspeed_hold_var;    // metres per second
    double autopilot_mach_hold_var;
    double autopilot_altitude_lock_var;    // metres
    double autopilot_vertical_hold_var;    // metres per second
    std::int64_t autopilot_mach_hold;
    std::int64_t autopilot_airspeed_hold;
    double nav_obs_1;  // radians
    double nav_obs_2;  // radians
    double autopilot_flight_director_bank;
    double autopilot_flight_director_pitch;
    double attitude_indicator_bank_degrees;   // radians despite the name
    double attitude_indicator_pitch_degrees;  // radians despite the name
    std::int32_t autopilot_flight_director_active;
    std::int32_t autopilot_master;
    std::int32_t autopilot_disengaged;
    std::int32_t autopilot_altitude_lock;
    std::int32_t autopilot_bank_hold;
    std::int32_t autopilot_approach_hold;
    std::int32_t autopilot_pitch_hold;
    std::int32_t autopilot_attitude_hold;
    std::int32_t autopilot_backcourse_hold;
    std::int32_t autopilot_glideslope_hold;
    std::int32_t autopilot_heading_lock;
    std::int32_t autopilot_vertical_hold;
    std::int32_t autopilot_nav1_lock;
    std::int32_t autopilot_takeoff_power_active;
    std::int32_t autopilot_throttle_arm;
    std::int32_t gps_drives_nav1;
};
#pragma pack(pop)

inline constexpr std::size_t FLIGHT_DATA_SIZE = 760;
inline constexpr std::size_t FLIGHT_VARIABLE_COUNT = 83;
static_assert(sizeof(FlightData) == FLIGHT_DATA_SIZE, "FlightData must match the simulator's block");

extern const FlightVariable flightVariables[FLIGHT_VARIABLE_COUNT];

// Client event ids mapped to simulator events. Id 0 is the "SimStart" subscription; 52 and 54
// are not mapped.
enum FlightEventId : DWORD {
    EVT_SIM_START = 0,
    EVT_KOHLSMAN_SET = 1,
    EVT_KOHLSMAN_INC = 2,
    EVT_KOHLSMAN_DEC = 3,
    EVT_AP_ALT_VAR_SET_ENGLISH = 4,
    EVT_AP_SPD_VAR_SET = 5,
    EVT_AP_MACH_VAR_SET = 6,
    EVT_HEADING_BUG_SET = 7,
    EVT_AP_VS_VAR_SET_ENGLISH = 8,
    EVT_VOR1_SET = 9,
    EVT_VOR2_SET = 10,
    EVT_AP_PANEL_ALTITUDE_ON = 11,
    EVT_AP_PANEL_ALTITUDE_OFF = 12,
    EVT_AP_PANEL_ALTITUDE_HOLD = 13,
    EVT_AP_PANEL_HEADING_ON = 14,
    EVT_AP_PANEL_HEADING_OFF = 15,
    EVT_AP_HDG_HOLD = 16,
    EVT_AP_LOC_HOLD_ON = 17,
    EVT_AP_LOC_HOLD_OFF = 18,
    EVT_AP_LOC_HOLD = 19,
    EVT_AP_N1_HOLD = 20,
    EVT_AP_APR_HOLD_ON = 21,
    EVT_AP_APR_HOLD_OFF = 22,
    EVT_AP_APR_HOLD = 23,
    EVT_AP_NAV1_HOLD_ON = 24,
    EVT_AP_NAV1_HOLD_OFF = 25,
    EVT_AP_NAV1_HOLD = 26,
    EVT_AP_AIRSPEED_SET = 27,
    EVT_AP_MACH_SET = 28,
    EVT_AP_PANEL_SPEED_HOLD = 29,
    EVT_TOGGLE_GPS_DRIVES_NAV1 = 30,
    EVT_TOGGLE_FLIGHT_DIRECTOR = 31,
    EVT_AUTOPILOT_ON = 32,
    EVT_AUTOPILOT_OFF = 33,
    EVT_AUTO_THROTTLE_ARM = 34,
    EVT_AP_ALT_VAR_INC = 35,
    EVT_AP_ALT_VAR_DEC = 36,
    EVT_HEADING_BUG_INC = 37,
    EVT_HEADING_BUG_DEC = 38,
    EVT_AP_SPD_VAR_INC = 39,
    EVT_AP_SPD_VAR_DEC = 40,
    EVT_AP_VS_VAR_INC = 41,
    EVT_AP_VS_VAR_DEC = 42,
    EVT_COM_RADIO_SET = 43,
    EVT_COM_STBY_RADIO_SET = 44,
    EVT_COM2_RADIO_SET = 45,
    EVT_COM2_STBY_RADIO_SET = 46,
    EVT_NAV1_RADIO_SET = 47,
    EVT_NAV1_STBY_SET = 48,
    EVT_NAV2_RADIO_SET = 49,
    EVT_NAV2_STBY_SET = 50,
    EVT_ADF_COMPLETE_SET = 51,
    EVT_ADF2_COMPLETE_SET = 53,
    EVT_XPNDR_SET = 55,
    EVT_ELEVATOR_SET = 56,
    EVT_AILERON_SET = 57,
    EVT_RUDDER_SET = 58,
};

struct FlightEvent {
    FlightEventId id;
    const char* name;
};

inline constexpr std::size_t FLIGHT_EVENT_COUNT = 56;
extern const FlightEvent flightEvents[FLIGHT_EVENT_COUNT];

// The record's module state: the connection handle, which the main loop opens and closes, and
// the single record, all zero until the first block arrives.
struct ZvpyxplRecord {
    HANDLE hSimConnect = nullptr;
    FlightData fdata{};
};
extern ZvpyxplRecord zvpyxpl_fd_record;
extern HANDLE& hSimConnect;
extern FlightData& fdata;

// Registers the data definition and the event mappings; each request's send id is kept
// (flightdata/sent.h).
void zvpyxpl_fd_add_definitions();
// Zeroes the record: its time reads 0.0 until the next block.
void zvpyxpl_fd_clear_data();
// Clears the record and asks for the user aircraft's block every visual frame.
void zvpyxpl_fd_request_data();
void zvpyxpl_fd_refresh_data(FlightData* data);
double zvpyxpl_fd_data_get_time();
FlightData* zvpyxpl_fd_data_get_data();

// Every simulator command goes out through this one call: the user aircraft, the event, a
// 32-bit value, highest priority as the group. The result is not examined.
void zvpyxpl_fd_transmit(FlightEventId id, DWORD data);
