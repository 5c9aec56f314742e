// The monitor's view of the application messages of app/messages.h: for every identifier a
// readable name (the same for showing a received value and for sending a command), what it
// carries and its unit, how a received payload is shown, and how a value that a user types
// becomes the payload the program takes. Owns the table; no state.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

enum class ZvmonSection : std::uint8_t {
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
inline constexpr std::size_t ZVMON_SECTION_COUNT = static_cast<std::size_t>(ZvmonSection::Controls) + 1;

// How a received payload is shown.
enum class ZvmonShow : std::uint8_t {
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
enum class ZvmonInput : std::uint8_t {
    None,    // the program takes no value under this identifier
    Float,   // float32 as typed
    Word,    // whole number (decimal, or hexadecimal with 0x); "on"/"off" where the range is 0..1 or 0..2
    Squawk,  // four octal digits, carried as the decimal number they read as
    Mhz,     // MHz, carried as whole 10 kHz steps (118.10 becomes 11810)
    Khz,     // kHz, carried in 1/100 kHz as the program publishes ADF frequencies (350 becomes 35000)
    Baro,    // inches of mercury, or hectopascals (converted), carried as float32 inHg
};

struct ZvmonEntry {
    std::uint32_t id;
    const char* name;
    const char* label;
    const char* unit;  // of the value shown and typed; "" for plain numbers
    ZvmonSection section;
    ZvmonShow show;
    int decimals;
    ZvmonInput input;
    double min, max;    // accepted input, in the unit typed (MHz, kHz, inHg, ...)
    const char* takes;  // what `send` takes, for `send --list`
};

// Words of the radio block in order, each named by the single-radio message it stands for.
inline constexpr std::array<std::uint32_t, 12> ZVMON_RADIO_WORD_IDS = {
    0x22011d11, 0x22011d21, 0x22011d12, 0x22011d22, 0x22011d13, 0x22011d23,
    0x22011d14, 0x22011d24, 0x22011d15, 0x22011d25, 0x22011d16, 0x22011d26,
};

std::span<const ZvmonEntry> zvmon_catalogue();
const ZvmonEntry* zvmon_entry_by_id(std::uint32_t id);
const ZvmonEntry* zvmon_entry_by_name(std::string_view name);
const char* zvmon_section_name(ZvmonSection section);
const char* zvmon_show_name(ZvmonShow show);

// The shown text of one value whose payload (as many bytes as the identifier states) starts at
// `payload`. Not for the radio block, whose words are shown one by one with their own entries.
std::string zvmon_format(const ZvmonEntry& entry, const unsigned char* payload);
// The text followed by the unit, if any.
std::string zvmon_format_with_unit(const ZvmonEntry& entry, const unsigned char* payload);

// A typed value as the payload word of the entry's message, or a one-line reason why not.
struct ZvmonParsed {
    bool ok = false;
    std::uint32_t word = 0;
    std::string error;
};
ZvmonParsed zvmon_parse_value(const ZvmonEntry& entry, std::string_view text);
