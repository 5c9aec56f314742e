// The catalogue of the application messages of protocol/messages.h: for every identifier its
// name (the one the monitor and the dissector show, and the monitor's `send` takes), a one-line
// description, the unit of the value, the section it is listed under, how its payload is scaled
// and shown, and what a panel may send under it. The payload kind and length are the
// identifier's own (zvmsg_kind, zvmsg_words). The program's tools read this table directly; the
// copies in other languages are generated from it (zvmp-catalogue) and committed. No state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocol/messages.h"
#include "protocol/network.h"

enum class ZvmsgSection : std::uint8_t {
    Position,
    Attitude,
    Speeds,
    AirData,
    SpeedLimits,
    GearFlaps,
    Radios,
    Transponder,
    Mcp,
    Modes,
    FlightDirector,
    Efis,
    Controls,
};
inline constexpr std::size_t ZVMSG_SECTION_COUNT = static_cast<std::size_t>(ZvmsgSection::Controls) + 1;

// How a payload is scaled and shown.
enum class ZvmsgShow : std::uint8_t {
    Float,       // float32 or float64 (from the identifier's kind) with `decimals`
    Int,         // signed 32-bit
    Word,        // unsigned 32-bit
    Hex,         // unsigned 32-bit bit set
    Squawk,      // four digits
    Freq,        // hundredths shown with two decimals: 10 kHz steps as MHz, 1/100 kHz as kHz
    McpSpeed,    // knots, or a Mach number below 5.0
    RadioBlock,  // twelve Freq words, shown under the names of the single radios
};

// How a value typed by a user becomes the payload.
enum class ZvmsgInput : std::uint8_t {
    None,    // the program takes no value under this identifier
    Float,   // float32 as typed
    Word,    // whole number (decimal, or hexadecimal with 0x); "on"/"off" where the range is 0..1 or 0..2
    Squawk,  // four octal digits, carried as the decimal number they read as
    Mhz,     // MHz, carried as whole 10 kHz steps (118.10 becomes 11810)
    Khz,     // kHz, carried in 1/100 kHz as the program publishes ADF frequencies (350 becomes 35000)
    Baro,    // inches of mercury, or hectopascals (converted), carried as float32 inHg
};

struct ZvmsgInfo {
    std::uint32_t id;
    const char* name;
    const char* label;  // the one-line description
    const char* unit;   // of the value shown and typed; "" for plain numbers
    ZvmsgSection section;
    ZvmsgShow show;
    int decimals;
    ZvmsgInput input;
    double min, max;    // accepted input, in the unit typed (MHz, kHz, inHg, ...)
    const char* takes;  // what a panel may send, in words
};

inline constexpr double ZVMSG_WORD_MAX = 4294967295.0;
// Hectopascals per inch of mercury, and the range in which a typed altimeter setting is read as
// hectopascals rather than inches of mercury.
inline constexpr double ZVMSG_HPA_PER_INHG = 33.86;
inline constexpr double ZVMSG_HPA_MIN = 850.0;
inline constexpr double ZVMSG_HPA_MAX = 1100.0;

namespace zvmsg_rows {
using S = ZvmsgSection;
using V = ZvmsgShow;
using I = ZvmsgInput;

// Catalogue order is display order. Entries that the program does not take have no range.
inline constexpr ZvmsgInfo CATALOGUE[] = {
    {zvmsg::LATITUDE, "lat", "latitude", "deg", S::Position, V::Float, 6, I::None, 0, 0, ""},
    {zvmsg::LONGITUDE, "lon", "longitude", "deg", S::Position, V::Float, 6, I::None, 0, 0, ""},
    {zvmsg::INDICATED_ALTITUDE_M, "ind-alt", "indicated altitude", "m", S::Position, V::Float, 1, I::None, 0, 0, ""},
    {zvmsg::ALTITUDE_MSL_M, "msl", "altitude above mean sea level", "m", S::Position, V::Float, 1, I::None, 0, 0, ""},
    {zvmsg::HEIGHT_AGL_M, "agl", "height above ground", "m", S::Position, V::Float, 1, I::None, 0, 0, ""},

    {zvmsg::PITCH, "pitch-att", "pitch attitude", "deg", S::Attitude, V::Float, 2, I::None, 0, 0, ""},
    {zvmsg::BANK, "bank", "bank", "deg", S::Attitude, V::Float, 2, I::None, 0, 0, ""},
    {zvmsg::TRUE_HEADING, "true-hdg", "true heading", "deg", S::Attitude, V::Float, 1, I::None, 0, 0, ""},
    {zvmsg::MAGNETIC_VARIATION, "magvar", "magnetic variation", "deg", S::Attitude, V::Float, 1, I::None, 0, 0, ""},
    {zvmsg::ANGLE_OF_ATTACK, "aoa", "angle of attack", "deg", S::Attitude, V::Float, 2, I::None, 0, 0, ""},
    {zvmsg::DRIFT_ANGLE, "drift", "drift angle", "deg", S::Attitude, V::Float, 2, I::None, 0, 0, ""},

    {zvmsg::INDICATED_AIRSPEED, "ias", "indicated airspeed", "kt", S::Speeds, V::Float, 1, I::None, 0, 0, ""},
    {zvmsg::TRUE_AIRSPEED_MS, "tas", "true airspeed", "m/s", S::Speeds, V::Float, 1, I::None, 0, 0, ""},
    {zvmsg::GROUND_SPEED, "gs", "ground speed", "m/s", S::Speeds, V::Float, 1, I::None, 0, 0, ""},
    {zvmsg::MACH, "mach", "Mach number", "", S::Speeds, V::Float, 3, I::None, 0, 0, ""},
    {zvmsg::VERTICAL_SPEED, "vsi", "vertical speed", "ft/min", S::Speeds, V::Float, 0, I::None, 0, 0, ""},

    {zvmsg::ALTIMETER_SETTING, "baro", "altimeter setting", "inHg", S::AirData, V::Float, 2, I::Baro, 25.0, 35.0,
     "inHg, 25.00 to 35.00, or hPa, 850 to 1100"},
    {zvmsg::WIND_DIRECTION, "wind-dir", "wind direction, true", "deg", S::AirData, V::Float, 0, I::None, 0, 0, ""},
    {zvmsg::WIND_SPEED, "wind-spd", "wind speed", "kt", S::AirData, V::Float, 0, I::None, 0, 0, ""},
    {zvmsg::OUTSIDE_AIR_TEMPERATURE, "oat", "outside air temperature", "degC", S::AirData, V::Float, 1, I::None, 0,
     0, ""},

    {zvmsg::SPEED_VS0, "vs0", "stall speed, landing configuration", "kt", S::SpeedLimits, V::Float, 0, I::None, 0, 0,
     ""},
    {zvmsg::SPEED_VS1, "vs1", "stall speed, clean", "kt", S::SpeedLimits, V::Float, 0, I::None, 0, 0, ""},
    {zvmsg::SPEED_VFE, "vfe", "flaps extended speed", "kt", S::SpeedLimits, V::Float, 0, I::None, 0, 0, ""},
    {zvmsg::SPEED_LIMIT_04, "limit-04", "speed limit 4, always 0", "kt", S::SpeedLimits, V::Float, 0, I::None, 0, 0,
     ""},
    {zvmsg::SPEED_VNE, "vne", "never exceed speed", "kt", S::SpeedLimits, V::Float, 0, I::None, 0, 0, ""},
    {zvmsg::SPEED_MMO, "mmo", "maximum operating Mach number", "", S::SpeedLimits, V::Float, 2, I::None, 0, 0, ""},

    {zvmsg::GEAR_HANDLE, "gear", "gear handle, 1 down", "", S::GearFlaps, V::Int, 0, I::None, 0, 0, ""},
    {zvmsg::FLAPS_HANDLE, "flaps", "flaps handle, fraction of full", "", S::GearFlaps, V::Float, 2, I::None, 0, 0,
     ""},

    {zvmsg::NAV1_ACTIVE, "nav1", "NAV1 active frequency", "MHz", S::Radios, V::Freq, 2, I::Mhz, 108.0, 117.95,
     "MHz, 108.00 to 117.95"},
    {zvmsg::NAV1_STANDBY, "nav1s", "NAV1 standby frequency", "MHz", S::Radios, V::Freq, 2, I::Mhz, 108.0, 117.95,
     "MHz, 108.00 to 117.95"},
    {zvmsg::NAV2_ACTIVE, "nav2", "NAV2 active frequency", "MHz", S::Radios, V::Freq, 2, I::Mhz, 108.0, 117.95,
     "MHz, 108.00 to 117.95"},
    {zvmsg::NAV2_STANDBY, "nav2s", "NAV2 standby frequency", "MHz", S::Radios, V::Freq, 2, I::Mhz, 108.0, 117.95,
     "MHz, 108.00 to 117.95"},
    {zvmsg::COM1_ACTIVE, "com1", "COM1 active frequency", "MHz", S::Radios, V::Freq, 2, I::Mhz, 118.0, 136.99,
     "MHz, 118.00 to 136.99"},
    {zvmsg::COM1_STANDBY, "com1s", "COM1 standby frequency", "MHz", S::Radios, V::Freq, 2, I::Mhz, 118.0, 136.99,
     "MHz, 118.00 to 136.99"},
    {zvmsg::COM2_ACTIVE, "com2", "COM2 active frequency", "MHz", S::Radios, V::Freq, 2, I::Mhz, 118.0, 136.99,
     "MHz, 118.00 to 136.99"},
    {zvmsg::COM2_STANDBY, "com2s", "COM2 standby frequency", "MHz", S::Radios, V::Freq, 2, I::Mhz, 118.0, 136.99,
     "MHz, 118.00 to 136.99"},
    {zvmsg::ADF1_ACTIVE, "adf1", "ADF1 active frequency", "kHz", S::Radios, V::Freq, 2, I::Khz, 100.0, 1799.99,
     "kHz, 100.00 to 1799.99"},
    {zvmsg::ADF1_STANDBY, "adf1s", "ADF1 standby frequency", "kHz", S::Radios, V::Freq, 2, I::Khz, 100.0, 1799.99,
     "kHz, 100.00 to 1799.99"},
    {zvmsg::ADF2_ACTIVE, "adf2", "ADF2 active frequency", "kHz", S::Radios, V::Freq, 2, I::Khz, 100.0, 1799.99,
     "kHz, 100.00 to 1799.99"},
    {zvmsg::ADF2_STANDBY, "adf2s", "ADF2 standby frequency", "kHz", S::Radios, V::Freq, 2, I::Khz, 100.0, 1799.99,
     "kHz, 100.00 to 1799.99"},
    {zvmsg::RADIO_BLOCK, "radios", "radio block", "", S::Radios, V::RadioBlock, 0, I::None, 0, 0, ""},

    {zvmsg::XPDR_CODE, "xpdr", "transponder code", "", S::Transponder, V::Squawk, 0, I::Squawk, 0, 7777,
     "four digits 0 to 7, e.g. 7000"},
    {zvmsg::XPDR_MODE, "xpdr-mode", "transponder mode", "", S::Transponder, V::Word, 0, I::Word, 0, ZVMSG_WORD_MAX,
     "whole number, as the panels number the modes"},

    {zvmsg::MCP_ALTITUDE, "alt", "MCP altitude", "ft", S::Mcp, V::Float, 0, I::Float, 0, 50000, "feet, 0 to 50000"},
    {zvmsg::MCP_SPEED, "spd", "MCP speed", "kt/Mach", S::Mcp, V::McpSpeed, 0, I::Float, 0.01, 999,
     "knots, 5 to 999, or Mach below 5 (e.g. 0.78); also sets the speed mode"},
    {zvmsg::MCP_HEADING, "hdg", "MCP heading", "deg", S::Mcp, V::Float, 0, I::Float, 0, 360, "degrees, 0 to 360"},
    {zvmsg::MCP_VERTICAL_SPEED, "vs", "MCP vertical speed", "ft/min", S::Mcp, V::Float, 0, I::Float, -10000, 10000,
     "feet per minute, -10000 to 10000"},
    {zvmsg::MCP_COURSE1, "crs1", "course 1", "deg", S::Mcp, V::Float, 0, I::Float, 0, 360, "degrees, 0 to 360"},
    {zvmsg::MCP_COURSE2, "crs2", "course 2", "deg", S::Mcp, V::Float, 0, I::Float, 0, 360, "degrees, 0 to 360"},
    {zvmsg::SPEED_IS_MACH, "spd-mach", "speed mode, 1 Mach, 0 knots", "", S::Mcp, V::Word, 0, I::Word, 0, 1,
     "1 (or on) for Mach, 0 (or off) for knots"},
    {zvmsg::AP_SOURCE, "ap-source", "autopilot navigation source", "", S::Mcp, V::Word, 0, I::Word, 0, 2,
     "0, 1 or 2 (2: GPS drives NAV1)"},

    {zvmsg::SPD_STATUS, "spd-hold", "speed mode status", "", S::Modes, V::Word, 0, I::Word, 0, 2,
     "0 off, 1 auto-throttle armed, 2 armed with speed hold"},
    {zvmsg::LNAV_STATUS, "lnav-hold", "LNAV", "", S::Modes, V::Word, 0, I::Word, 0, 1, "on or off (1 or 0)"},
    {zvmsg::VNAV_STATUS, "vnav-hold", "VNAV", "", S::Modes, V::Word, 0, I::Word, 0, 1, "on or off (1 or 0)"},
    {zvmsg::HDG_STATUS, "hdg-hold", "heading mode", "", S::Modes, V::Word, 0, I::Word, 0, 1, "on or off (1 or 0)"},
    {zvmsg::LOC_STATUS, "loc-hold", "localizer", "", S::Modes, V::Word, 0, I::Word, 0, 1, "on or off (1 or 0)"},
    {zvmsg::ALT_STATUS, "alt-hold", "altitude hold", "", S::Modes, V::Word, 0, I::Word, 0, 1, "on or off (1 or 0)"},
    {zvmsg::VS_STATUS, "vs-hold", "vertical speed mode", "", S::Modes, V::Word, 0, I::Word, 0, 1,
     "on or off (1 or 0)"},
    {zvmsg::GS_STATUS, "app-hold", "glideslope status, approach mode", "", S::Modes, V::Word, 0, I::Word, 0, 1,
     "on or off (1 or 0)"},
    {zvmsg::LC_STATUS, "lc-hold", "level change", "", S::Modes, V::Word, 0, I::Word, 0, 1, "on or off (1 or 0)"},
    {zvmsg::N1_STATUS, "n1-hold", "N1", "", S::Modes, V::Word, 0, I::Word, 0, 1, "on or off (1 or 0)"},

    {zvmsg::FD_MODE, "fd-mode", "flight director mode", "", S::FlightDirector, V::Word,
     0, I::Word, 0, 2, "0 FD and AP off, 1 FD on and AP off, 2 FD on and AP engaged"},
    {zvmsg::FD_PITCH, "fd-pitch", "flight director pitch command", "deg", S::FlightDirector, V::Float, 2, I::None,
     0, 0, ""},
    {zvmsg::FD_BANK, "fd-bank", "flight director bank command", "deg", S::FlightDirector, V::Float, 2, I::None, 0,
     0, ""},

    {zvmsg::EFIS_MODE, "efis-mode", "EFIS display mode", "", S::Efis, V::Word, 0, I::Word, 0, 4,
     "0, 1, 2 or 4, as the mode selector steps"},
    {zvmsg::EFIS_OPTIONS, "efis-options", "EFIS option bit set", "", S::Efis, V::Hex, 0, I::Word, 0, ZVMSG_WORD_MAX,
     "bit set, e.g. 0x23C (WXR 0x1, TFC 0x2, ARPT 0x4, WPT 0x8, STA 0x30, CTR 0x200)"},
    {zvmsg::ND_RANGE, "efis-range", "navigation display range", "nm", S::Efis, V::Float, 0, I::Float, 0.01, 1000,
     "nautical miles, e.g. 5, 10, 20, 40, 80, 160, 320, 640"},
    {zvmsg::ND_NAV1_SELECTOR, "nav1-sel", "navigation display NAV1 selector", "", S::Efis, V::Word, 0, I::Word, 0, 2,
     "0, 1 or 2"},
    {zvmsg::ND_NAV2_SELECTOR, "nav2-sel", "navigation display NAV2 selector", "", S::Efis, V::Word, 0, I::Word, 0, 2,
     "0, 1 or 2"},

    {zvmsg::ROLL_INPUT, "roll", "roll control input", "", S::Controls, V::Float, 2, I::Float, -90, 90,
     "-90 to 90, 90 being full deflection"},
    {zvmsg::PITCH_INPUT, "pitch", "pitch control input", "", S::Controls, V::Float, 2, I::Float, -90, 90,
     "-90 to 90, 90 being full deflection"},
    {zvmsg::YAW_INPUT, "yaw", "yaw control input", "", S::Controls, V::Float, 2, I::Float, -90, 90,
     "-90 to 90, 90 being full deflection"},
};
}  // namespace zvmsg_rows

inline constexpr const auto& ZVMSG_CATALOGUE = zvmsg_rows::CATALOGUE;

// Words of the radio block in order, each named by the single-radio message it stands for.
inline constexpr std::array<std::uint32_t, zvmsg::RADIO_BLOCK_WORDS> ZVMSG_RADIO_WORD_IDS = {
    zvmsg::NAV1_ACTIVE, zvmsg::NAV1_STANDBY, zvmsg::NAV2_ACTIVE, zvmsg::NAV2_STANDBY,
    zvmsg::COM1_ACTIVE, zvmsg::COM1_STANDBY, zvmsg::COM2_ACTIVE, zvmsg::COM2_STANDBY,
    zvmsg::ADF1_ACTIVE, zvmsg::ADF1_STANDBY, zvmsg::ADF2_ACTIVE, zvmsg::ADF2_STANDBY,
};

// The message groups: the identifier's third byte.
struct ZvmsgGroup {
    unsigned int group;
    const char* name;   // as in the constant's name, GROUP_<name>, here and in the copies
    const char* label;
};
inline constexpr ZvmsgGroup ZVMSG_GROUPS[] = {
    {ZVMP_NETWORK_GROUP, "NETWORK", "network"},
    {zvmsg::GROUP_POSITION, "POSITION", "position, attitude, speeds, heights"},
    {zvmsg::GROUP_AIR_DATA, "AIR_DATA", "altimeter setting, wind, outside air temperature"},
    {zvmsg::GROUP_SPEED_LIMITS, "SPEED_LIMITS", "aircraft speed limits"},
    {zvmsg::GROUP_GEAR_FLAPS, "GEAR_FLAPS", "landing gear and flaps"},
    {zvmsg::GROUP_AUTOPILOT, "AUTOPILOT", "autopilot"},
    {zvmsg::GROUP_EFIS, "EFIS", "EFIS control panel and navigation display"},
    {zvmsg::GROUP_FLIGHT_DIRECTOR, "FLIGHT_DIRECTOR", "flight director"},
    {zvmsg::GROUP_CONTROLS, "CONTROLS", "flight control inputs"},
    {zvmsg::GROUP_RADIOS, "RADIOS", "radios and transponder"},
};

// Every message lies in a named group.
constexpr bool zvmsg_groups_named()
{
    for (const ZvmsgInfo& e : ZVMSG_CATALOGUE) {
        bool named = false;
        for (const ZvmsgGroup& g : ZVMSG_GROUPS) named = named || g.group == zvmsg_group(e.id);
        if (!named) return false;
    }
    return true;
}
static_assert(zvmsg_groups_named());

constexpr const ZvmsgInfo* zvmsg_info_by_id(std::uint32_t id)
{
    for (const ZvmsgInfo& e : ZVMSG_CATALOGUE)
        if (e.id == id) return &e;
    return nullptr;
}

constexpr const ZvmsgInfo* zvmsg_info_by_name(std::string_view name)
{
    for (const ZvmsgInfo& e : ZVMSG_CATALOGUE)
        if (name == e.name) return &e;
    return nullptr;
}

constexpr const char* zvmsg_section_name(ZvmsgSection section)
{
    constexpr std::array<const char*, ZVMSG_SECTION_COUNT> NAMES = {
        "Position", "Attitude", "Speeds", "Air data",        "Speed limits", "Gear/flaps", "Radios",
        "Transponder", "MCP",    "Modes",  "Flight director", "EFIS",         "Controls",
    };
    return NAMES[static_cast<std::size_t>(section)];
}

// The payload kind of an application message, in words.
constexpr const char* zvmsg_kind_name(ZvmsgKind kind)
{
    switch (kind) {
    case ZvmsgKind::Int32: return "int32";
    case ZvmsgKind::Float32: return "float32";
    case ZvmsgKind::Float64: return "float64";
    case ZvmsgKind::Block: return "block of 32-bit words";
    }
    return "";
}

// How the payload's number stands for the value in the message's unit, in one line.
constexpr const char* zvmsg_scaling(ZvmsgShow show)
{
    switch (show) {
    case ZvmsgShow::Float: return "the value itself";
    case ZvmsgShow::Int: return "the value itself, signed";
    case ZvmsgShow::Word: return "the value itself, unsigned";
    case ZvmsgShow::Hex: return "a bit set";
    case ZvmsgShow::Squawk: return "four octal digits read as a decimal number (7000 is squawk 7000)";
    case ZvmsgShow::Freq:
        return "hundredths: MHz in 10 kHz steps (11810 is 118.10), kHz in 1/100 kHz (35000 is 350.00)";
    case ZvmsgShow::McpSpeed: return "knots, or a Mach number when below 5";
    case ZvmsgShow::RadioBlock: return "twelve frequencies in hundredths, as the single radios";
    }
    return "";
}

// The word for how a payload is shown, as the dissector and the generated tables spell it.
constexpr const char* zvmsg_show_name(ZvmsgShow show)
{
    switch (show) {
    case ZvmsgShow::Float: return "float";
    case ZvmsgShow::Int: return "int";
    case ZvmsgShow::Word: return "word";
    case ZvmsgShow::Hex: return "hex";
    case ZvmsgShow::Squawk: return "squawk";
    case ZvmsgShow::Freq: return "freq";
    case ZvmsgShow::McpSpeed: return "speed";
    case ZvmsgShow::RadioBlock: return "radio";
    }
    return "";
}
