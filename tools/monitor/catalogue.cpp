// The monitor's table of application messages, and the conversions between payloads and text.
#include "tools/monitor/catalogue.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/messages.h"

namespace {

using S = ZvmonSection;
using V = ZvmonShow;
using I = ZvmonInput;

constexpr double WORD_MAX = 4294967295.0;

// Catalogue order is display order. Entries that the program does not take have no range.
constexpr ZvmonEntry CATALOGUE[] = {
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
    {zvmsg::XPDR_MODE, "xpdr-mode", "transponder mode", "", S::Transponder, V::Word, 0, I::Word, 0, WORD_MAX,
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
    {zvmsg::EFIS_OPTIONS, "efis-options", "EFIS option bit set", "", S::Efis, V::Hex, 0, I::Word, 0, WORD_MAX,
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

// Hectopascals per inch of mercury, the factor the program itself uses.
constexpr double HPA_PER_INHG = 33.86;
constexpr double HPA_MIN = 850.0, HPA_MAX = 1100.0;

std::uint32_t word_at(const unsigned char* p)
{
    std::uint32_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

std::string printf_text(const char* format, auto... args)
{
    char text[64];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

std::string fixed(double v, int decimals)
{
    // -0.0 and values that round to zero would show a lone minus sign.
    std::string text = printf_text("%.*f", decimals, v);
    if (text.starts_with('-') && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

std::string hundredths(std::uint32_t w) { return printf_text("%u.%02u", w / 100, w % 100); }

std::uint32_t float_bits(float f)
{
    std::uint32_t w;
    std::memcpy(&w, &f, sizeof w);
    return w;
}

bool parse_double(std::string_view text, double& out)
{
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end && std::isfinite(out);
}

bool parse_whole(std::string_view text, std::uint64_t& out)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out, base);
    return ec == std::errc() && ptr == end && !text.empty();
}

ZvmonParsed fail(const ZvmonEntry& e, std::string_view text, const char* why)
{
    ZvmonParsed r;
    r.error = std::string(e.name) + ": '" + std::string(text) + "' " + why + " (takes " + e.takes + ")";
    return r;
}

ZvmonParsed done(std::uint32_t word)
{
    ZvmonParsed r;
    r.ok = true;
    r.word = word;
    return r;
}

// Hundredths of the typed unit, cut to whole hundredths as the program's own radio readings
// are (118.105 MHz is 11810 steps); the small addition keeps 118.10, which is 11809.99... in
// binary, at 11810.
ZvmonParsed hundredths_value(const ZvmonEntry& e, std::string_view text)
{
    double v;
    if (!parse_double(text, v)) return fail(e, text, "is not a number");
    double steps = std::floor(v * 100.0 + 1e-6);
    if (steps < std::round(e.min * 100.0) || steps > std::round(e.max * 100.0)) return fail(e, text, "is out of range");
    return done(static_cast<std::uint32_t>(steps));
}

}  // namespace

std::span<const ZvmonEntry> zvmon_catalogue() { return CATALOGUE; }

const ZvmonEntry* zvmon_entry_by_id(std::uint32_t id)
{
    for (const ZvmonEntry& e : CATALOGUE)
        if (e.id == id) return &e;
    return nullptr;
}

const ZvmonEntry* zvmon_entry_by_name(std::string_view name)
{
    for (const ZvmonEntry& e : CATALOGUE)
        if (name == e.name) return &e;
    return nullptr;
}

const char* zvmon_section_name(ZvmonSection section)
{
    static constexpr std::array<const char*, ZVMON_SECTION_COUNT> NAMES = {
        "Position", "Attitude", "Speeds", "Air data",        "Speed limits", "Gear/flaps", "Radios",
        "Transponder", "MCP",    "Modes",  "Flight director", "EFIS",         "Controls",
    };
    return NAMES[static_cast<std::size_t>(section)];
}

const char* zvmon_show_name(ZvmonShow show)
{
    switch (show) {
    case ZvmonShow::Float: return "float";
    case ZvmonShow::Int: return "int";
    case ZvmonShow::Word: return "word";
    case ZvmonShow::Hex: return "hex";
    case ZvmonShow::Squawk: return "squawk";
    case ZvmonShow::Freq: return "freq";
    case ZvmonShow::McpSpeed: return "speed";
    case ZvmonShow::RadioBlock: return "radio";
    }
    return "";
}

std::string zvmon_format(const ZvmonEntry& e, const unsigned char* payload)
{
    std::uint32_t w = word_at(payload);
    switch (e.show) {
    case ZvmonShow::Float: {
        if (zvmsg_kind(e.id) == ZvmsgKind::Float64) {
            double d;
            std::memcpy(&d, payload, sizeof d);
            return fixed(d, e.decimals);
        }
        float f;
        std::memcpy(&f, payload, sizeof f);
        return fixed(f, e.decimals);
    }
    case ZvmonShow::Int: return printf_text("%d", static_cast<std::int32_t>(w));
    case ZvmonShow::Word: return printf_text("%u", w);
    case ZvmonShow::Hex: return printf_text("0x%X", w);
    case ZvmonShow::Squawk: return printf_text("%04u", w);
    case ZvmonShow::Freq: return hundredths(w);
    case ZvmonShow::McpSpeed: {
        float f;
        std::memcpy(&f, payload, sizeof f);
        return fixed(f, f < 5.0f ? 3 : 0);
    }
    case ZvmonShow::RadioBlock: break;
    }
    return "";
}

std::string zvmon_format_with_unit(const ZvmonEntry& e, const unsigned char* payload)
{
    std::string text = zvmon_format(e, payload);
    if (e.show == ZvmonShow::McpSpeed) {
        float f;
        std::memcpy(&f, payload, sizeof f);
        return text + (f < 5.0f ? " Mach" : " kt");
    }
    if (e.unit[0] != '\0') text += std::string(" ") + e.unit;
    return text;
}

ZvmonParsed zvmon_parse_value(const ZvmonEntry& e, std::string_view text)
{
    switch (e.input) {
    case ZvmonInput::None: {
        ZvmonParsed r;
        r.error = std::string(e.name) + ": the program shows this value but takes none";
        return r;
    }
    case ZvmonInput::Float: {
        double v;
        if (!parse_double(text, v)) return fail(e, text, "is not a number");
        if (v < e.min || v > e.max) return fail(e, text, "is out of range");
        return done(float_bits(static_cast<float>(v)));
    }
    case ZvmonInput::Baro: {
        double v;
        if (!parse_double(text, v)) return fail(e, text, "is not a number");
        if (v >= HPA_MIN && v <= HPA_MAX) v /= HPA_PER_INHG;
        else if (v < e.min || v > e.max) return fail(e, text, "is out of range");
        return done(float_bits(static_cast<float>(v)));
    }
    case ZvmonInput::Word: {
        if (e.max <= 2 && text == "on") return done(1);
        if (e.max <= 2 && text == "off") return done(0);
        std::uint64_t v;
        if (!parse_whole(text, v)) return fail(e, text, "is not a whole number");
        if (static_cast<double>(v) < e.min || static_cast<double>(v) > e.max) return fail(e, text, "is out of range");
        return done(static_cast<std::uint32_t>(v));
    }
    case ZvmonInput::Squawk: {
        if (text.empty() || text.size() > 4 || text.find_first_not_of("01234567") != std::string_view::npos)
            return fail(e, text, "is not a transponder code");
        std::uint64_t v;
        parse_whole(text, v);
        return done(static_cast<std::uint32_t>(v));
    }
    case ZvmonInput::Mhz: return hundredths_value(e, text);
    case ZvmonInput::Khz: return hundredths_value(e, text);
    }
    return {};
}
