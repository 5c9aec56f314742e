// The table of simulator variables, the table of units, and the conversion of values into a
// client's data block.
#include "sim/variables.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "sim/names.h"

namespace zvsim {

namespace {

constexpr const char* TITLE = "Built-in Simulator Airliner";

// Units in their base (metre, radian, metre per second, second, kelvin, pascal, Mach, fraction,
// hertz): base = value × factor + offset.
struct Units {
    const char* name;
    Quantity quantity;
    double factor;
    double offset;
};

using Q = Quantity;
constexpr std::array UNITS = {
    Units{"number", Q::Plain, 1, 0},
    Units{"bool", Q::Plain, 1, 0},
    Units{"boolean", Q::Plain, 1, 0},
    Units{"enum", Q::Plain, 1, 0},
    Units{"meters", Q::Length, 1, 0},
    Units{"meter", Q::Length, 1, 0},
    Units{"m", Q::Length, 1, 0},
    Units{"feet", Q::Length, FEET, 0},
    Units{"foot", Q::Length, FEET, 0},
    Units{"ft", Q::Length, FEET, 0},
    Units{"kilometers", Q::Length, 1000, 0},
    Units{"km", Q::Length, 1000, 0},
    Units{"nautical miles", Q::Length, 1852, 0},
    Units{"nmiles", Q::Length, 1852, 0},
    Units{"radians", Q::Angle, 1, 0},
    Units{"radian", Q::Angle, 1, 0},
    Units{"degrees", Q::Angle, DEG, 0},
    Units{"degree", Q::Angle, DEG, 0},
    Units{"meters per second", Q::Speed, 1, 0},
    Units{"m/s", Q::Speed, 1, 0},
    Units{"knots", Q::Speed, KNOTS, 0},
    Units{"knot", Q::Speed, KNOTS, 0},
    Units{"kts", Q::Speed, KNOTS, 0},
    Units{"feet per second", Q::Speed, FEET, 0},
    Units{"ft/s", Q::Speed, FEET, 0},
    Units{"feet per minute", Q::Speed, FPM, 0},
    Units{"ft/min", Q::Speed, FPM, 0},
    Units{"kilometers per hour", Q::Speed, 1 / 3.6, 0},
    Units{"km/h", Q::Speed, 1 / 3.6, 0},
    Units{"miles per hour", Q::Speed, 0.44704, 0},
    Units{"mph", Q::Speed, 0.44704, 0},
    Units{"seconds", Q::Time, 1, 0},
    Units{"second", Q::Time, 1, 0},
    Units{"minutes", Q::Time, 60, 0},
    Units{"hours", Q::Time, 3600, 0},
    Units{"celsius", Q::Temperature, 1, 273.15},
    Units{"kelvin", Q::Temperature, 1, 0},
    Units{"fahrenheit", Q::Temperature, 5.0 / 9.0, 273.15 - 32.0 * 5.0 / 9.0},
    Units{"rankine", Q::Temperature, 5.0 / 9.0, 0},
    Units{"pascals", Q::Pressure, 1, 0},
    Units{"pascal", Q::Pressure, 1, 0},
    Units{"millibars", Q::Pressure, 100, 0},
    Units{"millibar", Q::Pressure, 100, 0},
    Units{"mbar", Q::Pressure, 100, 0},
    Units{"hectopascals", Q::Pressure, 100, 0},
    Units{"hpa", Q::Pressure, 100, 0},
    Units{"inches of mercury", Q::Pressure, 3386.389, 0},
    Units{"inhg", Q::Pressure, 3386.389, 0},
    Units{"psi", Q::Pressure, 6894.757, 0},
    Units{"mach", Q::Mach, 1, 0},
    Units{"percent", Q::Ratio, 0.01, 0},
    Units{"percent over 100", Q::Ratio, 1, 0},
    Units{"hertz", Q::Frequency, 1, 0},
    Units{"hz", Q::Frequency, 1, 0},
    Units{"kilohertz", Q::Frequency, 1e3, 0},
    Units{"khz", Q::Frequency, 1e3, 0},
    Units{"megahertz", Q::Frequency, 1e6, 0},
    Units{"mhz", Q::Frequency, 1e6, 0},
    Units{"bco16", Q::Squawk, 1, 0},
};

const Units* find_units(const char* name)
{
    if (name == nullptr) return nullptr;
    for (const Units& u : UNITS)
        if (same_name(u.name, name)) return &u;
    return nullptr;
}

double flag(bool b) { return b ? 1.0 : 0.0; }

#define VAR(NAME, QUANTITY, UNITS, EXPR) \
    Variable { NAME, Q::QUANTITY, UNITS, [](const World& w) -> double { return EXPR; }, nullptr }
#define CONSTANT(NAME, QUANTITY, UNITS, VALUE) \
    Variable { NAME, Q::QUANTITY, UNITS, [](const World&) -> double { return VALUE; }, nullptr }

// The simulator's sign conventions differ from the flight model's: pitch is positive nose
// down and bank positive left wing down, in radians; the flight-director commands are in
// degrees, bank positive right and pitch positive nose down.
constexpr std::array VARIABLES = {
    Variable{"TITLE", Q::Text, nullptr, nullptr, TITLE},
    VAR("ABSOLUTE TIME", Time, "seconds", w.absolute_time),
    VAR("PLANE LATITUDE", Angle, "radians", w.latitude),
    VAR("PLANE LONGITUDE", Angle, "radians", w.longitude),
    VAR("PLANE ALTITUDE", Length, "feet", w.altitude_m / FEET),
    VAR("INDICATED ALTITUDE", Length, "feet", w.indicated_altitude_ft),
    VAR("PLANE ALT ABOVE GROUND", Length, "feet", (w.altitude_m - w.ground_m) / FEET),
    VAR("GROUND ALTITUDE", Length, "meters", w.ground_m),
    CONSTANT("SIM ON GROUND", Plain, "bool", 0.0),
    VAR("PLANE PITCH DEGREES", Angle, "radians", -w.pitch),
    VAR("PLANE BANK DEGREES", Angle, "radians", -w.bank),
    VAR("PLANE HEADING DEGREES TRUE", Angle, "radians", w.heading),
    VAR("PLANE HEADING DEGREES MAGNETIC", Angle, "radians", wrap_2pi(w.heading - w.magvar)),
    VAR("GPS GROUND TRUE TRACK", Angle, "radians", w.track),
    VAR("MAGVAR", Angle, "degrees", w.magvar / DEG),
    VAR("GPS GROUND SPEED", Speed, "meters per second", w.ground_speed_ms),
    VAR("GROUND VELOCITY", Speed, "knots", w.ground_speed_ms / KNOTS),
    VAR("AIRSPEED INDICATED", Speed, "knots", w.ias_ms / KNOTS),
    VAR("AIRSPEED TRUE", Speed, "knots", w.tas_ms / KNOTS),
    VAR("AIRSPEED MACH", Mach, "mach", w.mach),
    VAR("VERTICAL SPEED", Speed, "feet per second", w.vs_ms / FEET),
    VAR("AMBIENT TEMPERATURE", Temperature, "celsius", w.temperature_c),
    VAR("AMBIENT PRESSURE", Pressure, "inches of mercury", w.pressure_pa / 3386.389),
    CONSTANT("SEA LEVEL PRESSURE", Pressure, "millibars", 1013.25),
    VAR("KOHLSMAN SETTING MB", Pressure, "millibars", w.kohlsman_mb),
    VAR("AMBIENT WIND VELOCITY", Speed, "knots", w.wind_ms / KNOTS),
    VAR("AMBIENT WIND DIRECTION", Angle, "degrees", w.wind_from / DEG),
    VAR("INCIDENCE ALPHA", Angle, "radians", w.alpha),
    VAR("INCIDENCE BETA", Angle, "radians", w.beta),
    VAR("FLAPS HANDLE PERCENT", Ratio, "percent", w.flaps_percent),
    VAR("GEAR HANDLE POSITION", Plain, "bool", flag(w.gear_down)),
    CONSTANT("TRANSPONDER AVAILABLE:1", Plain, "bool", 1.0),
    VAR("TRANSPONDER CODE:1", Squawk, "number", w.squawk),
    CONSTANT("COM STATUS:1", Plain, "enum", 0.0),
    CONSTANT("COM STATUS:2", Plain, "enum", 0.0),
    CONSTANT("COM AVAILABLE:1", Plain, "bool", 1.0),
    CONSTANT("COM AVAILABLE:2", Plain, "bool", 1.0),
    VAR("COM ACTIVE FREQUENCY:1", Frequency, "hertz", w.com_active[0]),
    VAR("COM ACTIVE FREQUENCY:2", Frequency, "hertz", w.com_active[1]),
    VAR("COM STANDBY FREQUENCY:1", Frequency, "hertz", w.com_standby[0]),
    VAR("COM STANDBY FREQUENCY:2", Frequency, "hertz", w.com_standby[1]),
    CONSTANT("NAV AVAILABLE:1", Plain, "bool", 1.0),
    CONSTANT("NAV AVAILABLE:2", Plain, "bool", 1.0),
    VAR("NAV ACTIVE FREQUENCY:1", Frequency, "hertz", w.nav_active[0]),
    VAR("NAV ACTIVE FREQUENCY:2", Frequency, "hertz", w.nav_active[1]),
    VAR("NAV STANDBY FREQUENCY:1", Frequency, "hertz", w.nav_standby[0]),
    VAR("NAV STANDBY FREQUENCY:2", Frequency, "hertz", w.nav_standby[1]),
    CONSTANT("ADF AVAILABLE:1", Plain, "bool", 1.0),
    CONSTANT("ADF AVAILABLE:2", Plain, "bool", 1.0),
    VAR("ADF ACTIVE FREQUENCY:1", Frequency, "hertz", w.adf_active[0]),
    VAR("ADF STANDBY FREQUENCY:1", Frequency, "hertz", w.adf_standby[0]),
    VAR("ADF ACTIVE FREQUENCY:2", Frequency, "hertz", w.adf_active[1]),
    VAR("ADF STANDBY FREQUENCY:2", Frequency, "hertz", w.adf_standby[1]),
    CONSTANT("DESIGN SPEED VS0", Speed, "knots", VS0_KT),
    CONSTANT("DESIGN SPEED VS1", Speed, "knots", VS1_KT),
    CONSTANT("DESIGN SPEED VC", Speed, "knots", VC_KT),
    VAR("AIRSPEED BARBER POLE", Speed, "knots", w.barber_pole_ms / KNOTS),
    CONSTANT("MACH MAX OPERATE", Mach, "mach", MMO),
    CONSTANT("AUTOPILOT AVAILABLE", Plain, "bool", 1.0),
    VAR("AUTOPILOT HEADING LOCK DIR", Angle, "radians", w.ap_heading),
    VAR("AUTOPILOT AIRSPEED HOLD VAR", Speed, "meters per second", w.ap_airspeed_ms),
    VAR("AUTOPILOT MACH HOLD VAR", Mach, "mach", w.ap_mach),
    VAR("AUTOPILOT ALTITUDE LOCK VAR", Length, "meters", w.ap_altitude_m),
    VAR("AUTOPILOT VERTICAL HOLD VAR", Speed, "meters per second", w.ap_vs_ms),
    VAR("AUTOPILOT MACH HOLD", Plain, "bool", flag(w.ap.mach)),
    VAR("AUTOPILOT AIRSPEED HOLD", Plain, "bool", flag(w.ap.airspeed)),
    VAR("NAV OBS:1", Angle, "radians", w.obs[0]),
    VAR("NAV OBS:2", Angle, "radians", w.obs[1]),
    VAR("AUTOPILOT FLIGHT DIRECTOR BANK", Angle, "degrees", w.fd_bank / DEG),
    VAR("AUTOPILOT FLIGHT DIRECTOR PITCH", Angle, "degrees", -w.fd_pitch / DEG),
    VAR("ATTITUDE INDICATOR BANK DEGREES", Angle, "radians", -w.bank),
    VAR("ATTITUDE INDICATOR PITCH DEGREES", Angle, "radians", -w.pitch),
    VAR("AUTOPILOT FLIGHT DIRECTOR ACTIVE", Plain, "bool", flag(w.ap.flight_director)),
    VAR("AUTOPILOT MASTER", Plain, "bool", flag(w.ap.master)),
    CONSTANT("AUTOPILOT DISENGAGED", Plain, "bool", 0.0),
    VAR("AUTOPILOT ALTITUDE LOCK", Plain, "bool", flag(w.ap.altitude)),
    CONSTANT("AUTOPILOT BANK HOLD", Plain, "bool", 0.0),
    VAR("AUTOPILOT APPROACH HOLD", Plain, "bool", flag(w.ap.approach)),
    CONSTANT("AUTOPILOT PITCH HOLD", Plain, "bool", 0.0),
    CONSTANT("AUTOPILOT ATTITUDE HOLD", Plain, "bool", 0.0),
    CONSTANT("AUTOPILOT BACKCOURSE HOLD", Plain, "bool", 0.0),
    VAR("AUTOPILOT GLIDESLOPE HOLD", Plain, "bool", flag(w.ap.glideslope)),
    VAR("AUTOPILOT HEADING LOCK", Plain, "bool", flag(w.ap.heading)),
    VAR("AUTOPILOT VERTICAL HOLD", Plain, "bool", flag(w.ap.vertical_speed)),
    VAR("AUTOPILOT NAV1 LOCK", Plain, "bool", flag(w.ap.nav1)),
    VAR("AUTOPILOT N1 HOLD", Plain, "bool", flag(w.ap.n1)),
    CONSTANT("AUTOPILOT TAKEOFF POWER ACTIVE", Plain, "bool", 0.0),
    VAR("AUTOPILOT THROTTLE ARM", Plain, "bool", flag(w.ap.throttle_arm)),
    VAR("GPS DRIVES NAV1", Plain, "bool", flag(w.ap.gps_drives_nav1)),
};

#undef VAR
#undef CONSTANT

// Holds values beyond the integer type's range at its limits (and takes NaN as 0), where a
// plain conversion would be undefined.
template <class Int>
Int to_integer(double v)
{
    if (std::isnan(v)) return 0;
    if (v <= static_cast<double>(std::numeric_limits<Int>::min())) return std::numeric_limits<Int>::min();
    if (v >= static_cast<double>(std::numeric_limits<Int>::max())) return std::numeric_limits<Int>::max();
    return static_cast<Int>(v);
}

float to_float(double v)
{
    constexpr double max = std::numeric_limits<float>::max();
    return static_cast<float>(std::isfinite(v) ? std::clamp(v, -max, max) : v);
}

// A squawk's decimal digits (each 0 to 7) as hexadecimal nibbles: 7000 becomes 0x7000.
double to_bco16(double squawk)
{
    auto code = to_integer<std::uint32_t>(squawk);
    std::uint32_t out = 0;
    for (int shift = 0; code != 0 && shift < 32; shift += 4, code /= 10) out |= (code % 10) << shift;
    return out;
}

template <class T>
void put(unsigned char* out, T value)
{
    std::memcpy(out, &value, sizeof value);
}

}  // namespace

const Variable* find_variable(const char* name)
{
    if (name == nullptr) return nullptr;
    for (const Variable& v : VARIABLES)
        if (same_name(v.name, name)) return &v;
    return nullptr;
}

std::optional<Conversion> conversion_for(const Variable& var, const char* units)
{
    if (var.quantity == Q::Text) return Conversion{};
    const Units* to = find_units(units);
    if (to == nullptr) return std::nullopt;
    if (to->quantity == Q::Plain) return Conversion{};
    if (to->quantity != var.quantity) return std::nullopt;
    if (to->quantity == Q::Squawk) return Conversion{1.0, 0.0, true};
    const Units* from = find_units(var.native_units);
    return Conversion{from->factor / to->factor, (from->offset - to->offset) / to->factor, false};
}

// INVALID and STRINGV, whose variable length this simulator does not produce, have no size.
std::size_t datatype_size(SIMCONNECT_DATATYPE type) { return simconnect_datatype_size(type); }

bool is_text_type(SIMCONNECT_DATATYPE type)
{
    return type >= SIMCONNECT_DATATYPE_STRING8 && type <= SIMCONNECT_DATATYPE_STRING260;
}

void write_datum(const Variable& var, const Conversion& conversion, SIMCONNECT_DATATYPE type, const World& w,
                 unsigned char* out)
{
    if (var.quantity == Q::Text) {
        std::size_t size = datatype_size(type);
        std::size_t length = std::min(std::strlen(var.text), size - 1);
        std::memset(out, 0, size);
        std::memcpy(out, var.text, length);
        return;
    }
    double raw = var.get(w);
    double value = conversion.bco16 ? to_bco16(raw) : raw * conversion.scale + conversion.offset;
    switch (type) {
    case SIMCONNECT_DATATYPE_INT32: put(out, to_integer<std::int32_t>(value)); break;
    case SIMCONNECT_DATATYPE_INT64: put(out, to_integer<std::int64_t>(value)); break;
    case SIMCONNECT_DATATYPE_FLOAT32: put(out, to_float(value)); break;
    default: put(out, value); break;
    }
}

}  // namespace zvsim
