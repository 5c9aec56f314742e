// The FlightData record, its registration and the transmission rule.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "flightdata/flightdata.h"
#include "tests/support/simconnect_double.h"

namespace {

struct Row {
    const char* name;
    const char* units;
    SIMCONNECT_DATATYPE type;
    std::size_t offset;
};

constexpr auto S = SIMCONNECT_DATATYPE_STRING256;
constexpr auto F = SIMCONNECT_DATATYPE_FLOAT64;
constexpr auto I64 = SIMCONNECT_DATATYPE_INT64;
constexpr auto I32 = SIMCONNECT_DATATYPE_INT32;

// The block layout the simulator delivers, row by row.
const Row kRows[83] = {
    {"TITLE", nullptr, S, 0},
    {"ABSOLUTE TIME", "Seconds", F, 256},
    {"PLANE LATITUDE", "Degrees", F, 264},
    {"PLANE LONGITUDE", "Degrees", F, 272},
    {"PLANE ALTITUDE", "Feet", F, 280},
    {"INDICATED ALTITUDE", "Feet", F, 288},
    {"PLANE ALT ABOVE GROUND", "Feet", F, 296},
    {"GROUND ALTITUDE", "Feet", F, 304},
    {"PLANE PITCH DEGREES", "Degrees", F, 312},
    {"PLANE BANK DEGREES", "Degrees", F, 320},
    {"PLANE HEADING DEGREES TRUE", "Degrees", F, 328},
    {"GPS GROUND TRUE TRACK", "Radians", F, 336},
    {"MAGVAR", "Degrees", F, 344},
    {"GPS GROUND SPEED", "Meters per second", F, 352},
    {"AIRSPEED INDICATED", "Knots", F, 360},
    {"AIRSPEED TRUE", "Knots", F, 368},
    {"AIRSPEED MACH", "Mach", F, 376},
    {"VERTICAL SPEED", "Feet per second", F, 384},
    {"AMBIENT TEMPERATURE", "Celsius", F, 392},
    {"KOHLSMAN SETTING MB", "Millibars", F, 400},
    {"AMBIENT WIND VELOCITY", "Knots", F, 408},
    {"AMBIENT WIND DIRECTION", "Degrees", F, 416},
    {"INCIDENCE ALPHA", "Radians", F, 424},
    {"INCIDENCE BETA", "Radians", F, 432},
    {"FLAPS HANDLE PERCENT", "Percent", F, 440},
    {"GEAR HANDLE POSITION", "Number", I64, 448},
    {"TRANSPONDER AVAILABLE:1", "Number", I32, 456},
    {"TRANSPONDER CODE:1", "Number", I32, 460},
    {"COM STATUS:1", "Enum", I32, 464},
    {"COM STATUS:2", "Enum", I32, 468},
    {"COM AVAILABLE:1", "Bool", I32, 472},
    {"COM AVAILABLE:2", "Bool", I32, 476},
    {"COM ACTIVE FREQUENCY:1", "Number", I32, 480},
    {"COM ACTIVE FREQUENCY:2", "Number", I32, 484},
    {"COM STANDBY FREQUENCY:1", "Number", I32, 488},
    {"COM STANDBY FREQUENCY:2", "Number", I32, 492},
    {"NAV AVAILABLE:1", "Bool", I32, 496},
    {"NAV AVAILABLE:2", "Bool", I32, 500},
    {"NAV ACTIVE FREQUENCY:1", "Number", I32, 504},
    {"NAV ACTIVE FREQUENCY:2", "Number", I32, 508},
    {"NAV STANDBY FREQUENCY:1", "Number", I32, 512},
    {"NAV STANDBY FREQUENCY:2", "Number", I32, 516},
    {"ADF AVAILABLE:1", "Bool", I32, 520},
    {"ADF AVAILABLE:2", "Bool", I32, 524},
    {"ADF ACTIVE FREQUENCY:1", "Number", I32, 528},
    {"ADF STANDBY FREQUENCY:1", "Number", I32, 532},
    {"ADF ACTIVE FREQUENCY:2", "Number", I32, 536},
    {"ADF STANDBY FREQUENCY:2", "Number", I32, 540},
    {"DESIGN SPEED VS0", "Knots", F, 544},
    {"DESIGN SPEED VS1", "Knots", F, 552},
    {"DESIGN SPEED VC", "Knots", F, 560},
    {"AIRSPEED BARBER POLE", "Knots", F, 568},
    {"MACH MAX OPERATE", "Mach", F, 576},
    {"AUTOPILOT AVAILABLE", "Bool", I64, 584},
    {"AUTOPILOT HEADING LOCK DIR", "Number", F, 592},
    {"AUTOPILOT AIRSPEED HOLD VAR", "Number", F, 600},
    {"AUTOPILOT MACH HOLD VAR", "Number", F, 608},
    {"AUTOPILOT ALTITUDE LOCK VAR", "Number", F, 616},
    {"AUTOPILOT VERTICAL HOLD VAR", "Number", F, 624},
    {"AUTOPILOT MACH HOLD", "Number", I64, 632},
    {"AUTOPILOT AIRSPEED HOLD", "Number", I64, 640},
    {"NAV OBS:1", "Number", F, 648},
    {"NAV OBS:2", "Number", F, 656},
    {"AUTOPILOT FLIGHT DIRECTOR BANK", "Number", F, 664},
    {"AUTOPILOT FLIGHT DIRECTOR PITCH", "Number", F, 672},
    {"ATTITUDE INDICATOR BANK DEGREES", "Number", F, 680},
    {"ATTITUDE INDICATOR PITCH DEGREES", "Number", F, 688},
    {"AUTOPILOT FLIGHT DIRECTOR ACTIVE", "Bool", I32, 696},
    {"AUTOPILOT MASTER", "Bool", I32, 700},
    {"AUTOPILOT DISENGAGED", "Bool", I32, 704},
    {"AUTOPILOT ALTITUDE LOCK", "Bool", I32, 708},
    {"AUTOPILOT BANK HOLD", "Bool", I32, 712},
    {"AUTOPILOT APPROACH HOLD", "Bool", I32, 716},
    {"AUTOPILOT PITCH HOLD", "Bool", I32, 720},
    {"AUTOPILOT ATTITUDE HOLD", "Bool", I32, 724},
    {"AUTOPILOT BACKCOURSE HOLD", "Bool", I32, 728},
    {"AUTOPILOT GLIDESLOPE HOLD", "Bool", I32, 732},
    {"AUTOPILOT HEADING LOCK", "Bool", I32, 736},
    {"AUTOPILOT VERTICAL HOLD", "Bool", I32, 740},
    {"AUTOPILOT NAV1 LOCK", "Bool", I32, 744},
    {"AUTOPILOT TAKEOFF POWER ACTIVE", "Bool", I32, 748},
    {"AUTOPILOT THROTTLE ARM", "Bool", I32, 752},
    {"GPS DRIVES NAV1", "Bool", I32, 756},
};

TEST(FlightDataRecord, TableAndFieldOffsetsMatchTheBlockLayout)
{
    EXPECT_EQ(sizeof(FlightData), 760u);
    for (std::size_t i = 0; i < 83; ++i) {
        SCOPED_TRACE(kRows[i].name);
        EXPECT_STREQ(flightVariables[i].name, kRows[i].name);
        if (kRows[i].units == nullptr) {
            EXPECT_EQ(flightVariables[i].units, nullptr);
        } else {
            EXPECT_STREQ(flightVariables[i].units, kRows[i].units);
        }
        EXPECT_EQ(flightVariables[i].type, kRows[i].type);
        EXPECT_EQ(flightVariables[i].offset, kRows[i].offset);
    }
    // A few fields by name, so a renamed or reordered member cannot hide behind the table.
    EXPECT_EQ(offsetof(FlightData, absolute_time), 256u);
    EXPECT_EQ(offsetof(FlightData, gear_handle_position), 448u);
    EXPECT_EQ(offsetof(FlightData, adf_standby_frequency_2), 540u);
    EXPECT_EQ(offsetof(FlightData, autopilot_available), 584u);
    EXPECT_EQ(offsetof(FlightData, autopilot_flight_director_active), 696u);
    EXPECT_EQ(offsetof(FlightData, gps_drives_nav1), 756u);
}

TEST(FlightDataRecord, RegistersEveryVariableThenEveryEvent)
{
    hSimConnect = scd::handle;
    zvpyxpl_fd_add_definitions();

    ASSERT_EQ(scd::definitions.size(), 83u);
    for (std::size_t i = 0; i < 83; ++i) {
        const auto& d = scd::definitions[i];
        SCOPED_TRACE(kRows[i].name);
        EXPECT_EQ(d.define_id, 0u);
        EXPECT_EQ(d.datum_name, kRows[i].name);
        EXPECT_EQ(d.units_null, kRows[i].units == nullptr);
        if (kRows[i].units) {
            EXPECT_EQ(d.units, kRows[i].units);
        }
        EXPECT_EQ(d.type, kRows[i].type);
        EXPECT_EQ(d.epsilon, 0.0f);
        EXPECT_EQ(d.datum_id, SIMCONNECT_UNUSED);
    }

    const std::vector<std::pair<DWORD, std::string>> expected_maps = {
        {1, "KOHLSMAN_SET"},           {2, "KOHLSMAN_INC"},           {3, "KOHLSMAN_DEC"},
        {4, "AP_ALT_VAR_SET_ENGLISH"}, {5, "AP_SPD_VAR_SET"},         {6, "AP_MACH_VAR_SET"},
        {7, "HEADING_BUG_SET"},        {8, "AP_VS_VAR_SET_ENGLISH"},  {9, "VOR1_SET"},
        {10, "VOR2_SET"},              {11, "AP_PANEL_ALTITUDE_ON"},  {12, "AP_PANEL_ALTITUDE_OFF"},
        {13, "AP_PANEL_ALTITUDE_HOLD"}, {14, "AP_PANEL_HEADING_ON"},  {15, "AP_PANEL_HEADING_OFF"},
        {16, "AP_HDG_HOLD"},           {17, "AP_LOC_HOLD_ON"},        {18, "AP_LOC_HOLD_OFF"},
        {19, "AP_LOC_HOLD"},           {20, "AP_N1_HOLD"},            {21, "AP_APR_HOLD_ON"},
        {22, "AP_APR_HOLD_OFF"},       {23, "AP_APR_HOLD"},           {24, "AP_NAV1_HOLD_ON"},
        {25, "AP_NAV1_HOLD_OFF"},      {26, "AP_NAV1_HOLD"},          {27, "AP_AIRSPEED_SET"},
        {28, "AP_MACH_SET"},           {29, "AP_PANEL_SPEED_HOLD"},   {30, "TOGGLE_GPS_DRIVES_NAV1"},
        {31, "TOGGLE_FLIGHT_DIRECTOR"}, {32, "AUTOPILOT_ON"},         {33, "AUTOPILOT_OFF"},
        {34, "AUTO_THROTTLE_ARM"},     {35, "AP_ALT_VAR_INC"},        {36, "AP_ALT_VAR_DEC"},
        {37, "HEADING_BUG_INC"},       {38, "HEADING_BUG_DEC"},       {39, "AP_SPD_VAR_INC"},
        {40, "AP_SPD_VAR_DEC"},        {41, "AP_VS_VAR_INC"},         {42, "AP_VS_VAR_DEC"},
        {43, "COM_RADIO_SET"},         {44, "COM_STBY_RADIO_SET"},    {45, "COM2_RADIO_SET"},
        {46, "COM2_STBY_RADIO_SET"},   {47, "NAV1_RADIO_SET"},        {48, "NAV1_STBY_SET"},
        {49, "NAV2_RADIO_SET"},        {50, "NAV2_STBY_SET"},         {51, "ADF_COMPLETE_SET"},
        {53, "ADF2_COMPLETE_SET"},     {55, "XPNDR_SET"},             {56, "ELEVATOR_SET"},
        {57, "AILERON_SET"},           {58, "RUDDER_SET"},
    };
    ASSERT_EQ(scd::mappings.size(), expected_maps.size());
    for (std::size_t i = 0; i < expected_maps.size(); ++i) {
        EXPECT_EQ(scd::mappings[i].event_id, expected_maps[i].first);
        EXPECT_EQ(scd::mappings[i].event_name, expected_maps[i].second);
    }
    // Definitions come first, all of them, then the mappings.
    ASSERT_EQ(scd::calls.size(), 83u + 56u);
    EXPECT_EQ(scd::calls[82], "AddToDataDefinition");
    EXPECT_EQ(scd::calls[83], "MapEvent");
}

TEST(FlightDataRecord, TransmissionRule)
{
    hSimConnect = scd::handle;
    zvpyxpl_fd_transmit(EVT_HEADING_BUG_SET, 270);
    zvpyxpl_fd_transmit(EVT_AP_VS_VAR_SET_ENGLISH, static_cast<DWORD>(-1500));
    ASSERT_EQ(scd::transmits.size(), 2u);
    EXPECT_EQ(scd::transmits[0], (scd::TransmitCall{0, 7, 270, 1, 16}));
    EXPECT_EQ(scd::transmits[1], (scd::TransmitCall{0, 8, 0xFFFFFA24u, 1, 16}));
}

TEST(FlightDataRecord, RequestClearsAndRefreshCopiesWhole)
{
    EXPECT_EQ(zvpyxpl_fd_data_get_time(), 0.0);
    EXPECT_EQ(zvpyxpl_fd_data_get_data(), &fdata);

    FlightData block{};
    std::memset(&block, 0x5A, sizeof block);
    block.title[0] = '\0';
    block.absolute_time = 63000000000.0;
    zvpyxpl_fd_refresh_data(&block);
    EXPECT_EQ(std::memcmp(&fdata, &block, sizeof block), 0);
    EXPECT_EQ(zvpyxpl_fd_data_get_time(), 63000000000.0);

    zvpyxpl_fd_request_data();
    FlightData zero{};
    EXPECT_EQ(std::memcmp(&fdata, &zero, sizeof zero), 0);
    EXPECT_EQ(zvpyxpl_fd_data_get_time(), 0.0);
    ASSERT_EQ(scd::requests.size(), 1u);
}

}  // namespace
