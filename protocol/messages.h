// The application messages that panels and this program exchange inside ZVMP packets. One
// identifier both shows a value and sets it. Its top byte is the payload kind, the next byte the
// payload length in 32-bit words, then the group and the item: kind and length are read from the
// identifier itself, never kept beside it.
#pragma once

#include <cstdint>

enum class ZvmsgKind : std::uint8_t {
    Int32 = 0x22,
    Float32 = 0x26,
    Float64 = 0x27,
    Block = 0x2A,  // 32-bit unsigned words
};

inline constexpr ZvmsgKind ZVMSG_KINDS[] = {ZvmsgKind::Int32, ZvmsgKind::Float32, ZvmsgKind::Float64, ZvmsgKind::Block};

constexpr ZvmsgKind zvmsg_kind(std::uint32_t id) { return static_cast<ZvmsgKind>(id >> 24); }
constexpr unsigned int zvmsg_words(std::uint32_t id) { return (id >> 16) & 0xFFu; }
constexpr unsigned int zvmsg_group(std::uint32_t id) { return (id >> 8) & 0xFFu; }
// Application messages have bit 29 set; the network's own messages never do.
constexpr bool zvmsg_is_application(std::uint32_t id) { return (id & 0x20000000u) != 0; }

namespace zvmsg {

// The groups: the identifier's third byte. The network's own messages have a group of their own
// (ZVMP_NETWORK_GROUP, protocol/network.h).
inline constexpr unsigned int GROUP_POSITION = 0x11;         // position, attitude, speeds, heights
inline constexpr unsigned int GROUP_AIR_DATA = 0x12;         // altimeter setting, wind, temperature
inline constexpr unsigned int GROUP_SPEED_LIMITS = 0x14;     // the aircraft's speed limits
inline constexpr unsigned int GROUP_GEAR_FLAPS = 0x15;       // landing gear and flaps
inline constexpr unsigned int GROUP_AUTOPILOT = 0x16;        // MCP dials, speed mode, mode statuses
inline constexpr unsigned int GROUP_EFIS = 0x17;             // EFIS control panel, navigation display
inline constexpr unsigned int GROUP_FLIGHT_DIRECTOR = 0x18;  // flight director
inline constexpr unsigned int GROUP_CONTROLS = 0x19;         // flight control inputs
inline constexpr unsigned int GROUP_RADIOS = 0x1D;           // radios and transponder

// Position, attitude, speeds, heights (GROUP_POSITION)
inline constexpr std::uint32_t LATITUDE = 0x27021101;
inline constexpr std::uint32_t LONGITUDE = 0x27021102;
inline constexpr std::uint32_t INDICATED_ALTITUDE_M = 0x27021103;
inline constexpr std::uint32_t PITCH = 0x26011104;
inline constexpr std::uint32_t BANK = 0x26011105;
inline constexpr std::uint32_t TRUE_HEADING = 0x26011106;
inline constexpr std::uint32_t MAGNETIC_VARIATION = 0x26011107;
inline constexpr std::uint32_t ANGLE_OF_ATTACK = 0x26011108;
inline constexpr std::uint32_t DRIFT_ANGLE = 0x26011109;
inline constexpr std::uint32_t GROUND_SPEED = 0x2601110a;
inline constexpr std::uint32_t INDICATED_AIRSPEED = 0x2601110b;
inline constexpr std::uint32_t MACH = 0x2601110c;
inline constexpr std::uint32_t TRUE_AIRSPEED_MS = 0x2601110d;
inline constexpr std::uint32_t VERTICAL_SPEED = 0x2601110e;
inline constexpr std::uint32_t ALTITUDE_MSL_M = 0x26011110;
inline constexpr std::uint32_t HEIGHT_AGL_M = 0x26011111;

// Air data (GROUP_AIR_DATA)
inline constexpr std::uint32_t ALTIMETER_SETTING = 0x26011201;
inline constexpr std::uint32_t WIND_SPEED = 0x26011202;
inline constexpr std::uint32_t WIND_DIRECTION = 0x26011203;
inline constexpr std::uint32_t OUTSIDE_AIR_TEMPERATURE = 0x26011204;

// Speed limits (GROUP_SPEED_LIMITS)
inline constexpr std::uint32_t SPEED_VS0 = 0x26011401;
inline constexpr std::uint32_t SPEED_VS1 = 0x26011402;
inline constexpr std::uint32_t SPEED_VFE = 0x26011403;
inline constexpr std::uint32_t SPEED_LIMIT_04 = 0x26011404;  // always 0.0
inline constexpr std::uint32_t SPEED_VNE = 0x26011405;
inline constexpr std::uint32_t SPEED_MMO = 0x26011406;

// Gear and flaps (GROUP_GEAR_FLAPS)
inline constexpr std::uint32_t GEAR_HANDLE = 0x22011501;
inline constexpr std::uint32_t FLAPS_HANDLE = 0x26011503;

// Autopilot (GROUP_AUTOPILOT)
inline constexpr std::uint32_t MCP_ALTITUDE = 0x26011601;
inline constexpr std::uint32_t MCP_SPEED = 0x26011602;
inline constexpr std::uint32_t MCP_HEADING = 0x26011603;
inline constexpr std::uint32_t MCP_VERTICAL_SPEED = 0x26011604;
inline constexpr std::uint32_t SPEED_IS_MACH = 0x22011611;
inline constexpr std::uint32_t AP_SOURCE = 0x22011612;
inline constexpr std::uint32_t SPD_STATUS = 0x22011621;
inline constexpr std::uint32_t LNAV_STATUS = 0x22011622;
inline constexpr std::uint32_t VNAV_STATUS = 0x22011623;
inline constexpr std::uint32_t HDG_STATUS = 0x22011624;
inline constexpr std::uint32_t LOC_STATUS = 0x22011625;
inline constexpr std::uint32_t ALT_STATUS = 0x22011626;
inline constexpr std::uint32_t VS_STATUS = 0x22011627;
inline constexpr std::uint32_t GS_STATUS = 0x22011628;
inline constexpr std::uint32_t LC_STATUS = 0x22011629;
inline constexpr std::uint32_t N1_STATUS = 0x2201162a;
inline constexpr std::uint32_t MCP_COURSE1 = 0x26011631;
inline constexpr std::uint32_t MCP_COURSE2 = 0x26011632;

// EFIS control panel and navigation display (GROUP_EFIS)
inline constexpr std::uint32_t EFIS_MODE = 0x22011701;
inline constexpr std::uint32_t EFIS_OPTIONS = 0x22011702;
inline constexpr std::uint32_t ND_RANGE = 0x26011703;
inline constexpr std::uint32_t ND_NAV1_SELECTOR = 0x22011711;
inline constexpr std::uint32_t ND_NAV2_SELECTOR = 0x22011712;

// Flight director (GROUP_FLIGHT_DIRECTOR)
inline constexpr std::uint32_t FD_MODE = 0x22011801;
inline constexpr std::uint32_t FD_PITCH = 0x26011802;
inline constexpr std::uint32_t FD_BANK = 0x26011803;

// Flight control inputs (GROUP_CONTROLS)
inline constexpr std::uint32_t ROLL_INPUT = 0x26011901;
inline constexpr std::uint32_t PITCH_INPUT = 0x26011902;
inline constexpr std::uint32_t YAW_INPUT = 0x26011903;

// Radios and transponder (GROUP_RADIOS); frequencies in the radio setters' units
inline constexpr std::uint32_t NAV1_ACTIVE = 0x22011d11;
inline constexpr std::uint32_t NAV2_ACTIVE = 0x22011d12;
inline constexpr std::uint32_t COM1_ACTIVE = 0x22011d13;
inline constexpr std::uint32_t COM2_ACTIVE = 0x22011d14;
inline constexpr std::uint32_t ADF1_ACTIVE = 0x22011d15;
inline constexpr std::uint32_t ADF2_ACTIVE = 0x22011d16;
inline constexpr std::uint32_t NAV1_STANDBY = 0x22011d21;
inline constexpr std::uint32_t NAV2_STANDBY = 0x22011d22;
inline constexpr std::uint32_t COM1_STANDBY = 0x22011d23;
inline constexpr std::uint32_t COM2_STANDBY = 0x22011d24;
inline constexpr std::uint32_t ADF1_STANDBY = 0x22011d25;
inline constexpr std::uint32_t ADF2_STANDBY = 0x22011d26;
inline constexpr std::uint32_t XPDR_CODE = 0x22011d31;
inline constexpr std::uint32_t XPDR_MODE = 0x22011d32;
// Twelve words: NAV1, NAV2, COM1, COM2, ADF1, ADF2, each active then standby.
inline constexpr std::uint32_t RADIO_BLOCK = 0x2a0c1d31;
inline constexpr unsigned int RADIO_BLOCK_WORDS = zvmsg_words(RADIO_BLOCK);

}  // namespace zvmsg

static_assert(zvmsg::RADIO_BLOCK_WORDS == 12);
static_assert(zvmsg_kind(zvmsg::LATITUDE) == ZvmsgKind::Float64 && zvmsg_words(zvmsg::LATITUDE) == 2);
