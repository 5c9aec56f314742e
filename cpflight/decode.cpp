// Decoding of the unit's commands (see decode.h).
#include "cpflight/decode.h"

#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

#include "cpflight/state.h"
#include "panel/efis.h"
#include "panel/mcp.h"

namespace {

using Hw = ZvpyxcpfHardware;

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

const char* skip_space(const char* text)
{
    while (is_space(*text)) ++text;
    return text;
}

// Integer text: white space, an optional sign, decimal digits up to the first other
// character; no digits give 0. `negate` negates the value before its range is tested, so that
// "-" followed by "2147483648" still fits. A value beyond 32 bits gives nothing.
std::optional<std::int32_t> parse_integer(const char* text, bool negate = false)
{
    constexpr std::int64_t LIMIT = std::int64_t{1} << 31;
    text = skip_space(text);
    bool negative = *text == '-';
    if (*text == '+' || *text == '-') ++text;
    std::int64_t value = 0;
    for (; is_digit(*text); ++text) {
        value = value * 10 + (*text - '0');
        if (value > LIMIT) return std::nullopt;
    }
    if (negative != negate) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

// Number text: white space, then a decimal number with optional sign, fraction and exponent,
// up to the first character that cannot continue it; no number gives 0. Only decimal forms
// count (no "inf", "nan" or hexadecimal). The result is narrowed to single precision; a value
// beyond the single-precision range gives nothing.
std::optional<float> parse_number(const char* text)
{
    text = skip_space(text);
    const char* end = text;
    if (*end == '+' || *end == '-') ++end;
    const char* mantissa = end;
    while (is_digit(*end)) ++end;
    bool digits = end != mantissa;
    if (*end == '.') {
        const char* fraction = ++end;
        while (is_digit(*end)) ++end;
        digits = digits || end != fraction;
    }
    if (!digits) return 0.0f;
    if (*end == 'e' || *end == 'E') {
        const char* exponent = end + 1;
        if (*exponent == '+' || *exponent == '-') ++exponent;
        if (is_digit(*exponent)) {
            end = exponent;
            while (is_digit(*end)) ++end;
        }
    }
    // A copy of exactly the number, so the conversion reads nothing else. The program never
    // changes the C locale, so '.' is the decimal point.
    std::array<char, ZVPYXCPF_RECEIVE_BUFFER_SIZE> number;
    std::size_t length = static_cast<std::size_t>(end - text);
    if (length >= number.size()) return std::nullopt;
    std::memcpy(number.data(), text, length);
    number[length] = '\0';
    double value = std::strtod(number.data(), nullptr);
    if (!(std::fabs(value) <= static_cast<double>(FLT_MAX))) return std::nullopt;
    return static_cast<float>(value);
}

struct ValueCommand {
    std::string_view code;
    std::int32_t Hw::*field;
    void (*set)(unsigned int);
};

constexpr std::array<ValueCommand, 4> DIAL_COMMANDS = {{
    {"V01", &Hw::crs1, zvpyxpl_mcp_set_crs1_dial},
    {"V06", &Hw::crs2, zvpyxpl_mcp_set_crs2_dial},
    {"V04", &Hw::alt, zvpyxpl_mcp_set_alt_dial},
    {"V03", &Hw::hdg, zvpyxpl_mcp_set_hdg_dial},
}};

struct StepCommand {
    std::string_view code;
    void (*step)(float);
};

constexpr std::array<StepCommand, 4> STEP_COMMANDS = {{
    {"V1010", zvpyxpl_efis1_inc_mins},
    {"V1000", zvpyxpl_efis1_dec_mins},
    {"V1110", zvpyxpl_efis1_inc_baro},
    {"V1100", zvpyxpl_efis1_dec_baro},
}};

struct KeyCommand {
    std::string_view code;
    void (*press)();
};

// Keys and switches; characters after the code are ignored. The range selector's positions
// are passed as single-precision ranges; EFIS mode 3 does not exist, so "M004" is mode 4.
constexpr auto KEY_COMMANDS = std::to_array<KeyCommand>({
    {"K023", zvpyxpl_mcp_press_co},
    {"K010", zvpyxpl_mcp_press_spdintv},
    {"K012", zvpyxpl_mcp_press_altintv},
    {"K030", zvpyxpl_mcp_press_alt},
    {"K025", zvpyxpl_mcp_press_hdg},
    {"K032", zvpyxpl_mcp_press_cmda},
    {"K033", zvpyxpl_mcp_press_cmdb},
    {"K034", zvpyxpl_mcp_press_cwsa},
    {"K035", zvpyxpl_mcp_press_cwsb},
    {"K041", [] { zvpyxpl_mcp_set_apdisc(1); }},
    {"K040", [] { zvpyxpl_mcp_set_apdisc(0); }},
    {"K021", zvpyxpl_mcp_press_n1},
    {"K022", zvpyxpl_mcp_press_spd},
    {"K024", zvpyxpl_mcp_press_lchg},
    {"K026", zvpyxpl_mcp_press_vnav},
    {"K027", zvpyxpl_mcp_press_lnav},
    {"K028", zvpyxpl_mcp_press_loc},
    {"K029", zvpyxpl_mcp_press_app},
    {"K031", zvpyxpl_mcp_press_vs},
    {"K019", [] { zvpyxpl_mcp_set_atarm(1); }},
    {"K020", [] { zvpyxpl_mcp_set_atarm(0); }},
    {"K037", [] { zvpyxpl_mcp_set_fd1(1); }},
    {"K038", [] { zvpyxpl_mcp_set_fd1(0); }},
    {"K017", [] { zvpyxpl_mcp_set_fd2(1); }},
    {"K018", [] { zvpyxpl_mcp_set_fd2(0); }},
    {"S000", [] { zvpyxpl_efis1_set_range(5.0f); }},
    {"S001", [] { zvpyxpl_efis1_set_range(10.0f); }},
    {"S002", [] { zvpyxpl_efis1_set_range(20.0f); }},
    {"S003", [] { zvpyxpl_efis1_set_range(40.0f); }},
    {"S004", [] { zvpyxpl_efis1_set_range(80.0f); }},
    {"S005", [] { zvpyxpl_efis1_set_range(160.0f); }},
    {"S006", [] { zvpyxpl_efis1_set_range(320.0f); }},
    {"S007", [] { zvpyxpl_efis1_set_range(640.0f); }},
    {"M001", [] { zvpyxpl_efis1_set_mode(0); }},
    {"M002", [] { zvpyxpl_efis1_set_mode(1); }},
    {"M003", [] { zvpyxpl_efis1_set_mode(2); }},
    {"M004", [] { zvpyxpl_efis1_set_mode(4); }},
    {"S008", zvpyxpl_efis1_press_tfc},
    {"M005", zvpyxpl_efis1_press_ctr},
    {"B001", zvpyxpl_efis1_press_wxr},
    {"B002", zvpyxpl_efis1_press_sta},
    {"B003", zvpyxpl_efis1_press_wpt},
    {"B004", zvpyxpl_efis1_press_arpt},
    {"B005", zvpyxpl_efis1_press_data},
    {"B006", zvpyxpl_efis1_press_pos},
    {"B007", zvpyxpl_efis1_press_terr},
    {"K070", [] { zvpyxpl_efis1_set_vas1(2); }},
    {"K071", [] { zvpyxpl_efis1_set_vas1(0); }},
    {"K072", [] { zvpyxpl_efis1_set_vas1(1); }},
    {"K073", [] { zvpyxpl_efis1_set_vas2(2); }},
    {"K074", [] { zvpyxpl_efis1_set_vas2(0); }},
    {"K075", [] { zvpyxpl_efis1_set_vas2(1); }},
    {"K049", zvpyxpl_efis1_press_std},
    {"K062", zvpyxpl_efis1_select_inhg},
    {"K063", zvpyxpl_efis1_select_hpa},
    {"K064", zvpyxpl_efis1_mins_select_radio},
    {"K065", zvpyxpl_efis1_mins_select_baro},
    {"K048", zvpyxpl_efis1_mins_press_rst},
    {"K044", zvpyxpl_efis1_press_fpv},
    {"K045", zvpyxpl_efis1_press_mtrs},
});

// No code is a prefix of another, so the first match is the only one.
bool starts_with(const char* cmd, std::string_view code)
{
    return std::strncmp(cmd, code.data(), code.size()) == 0;
}

void process_vs(const char* cmd)
{
    // "V05-0700" carries the magnitude after the sign; "V05+1200" and "V051200" the value.
    std::optional<std::int32_t> vs =
        cmd[3] == '-' ? parse_integer(cmd + 4, true) : parse_integer(cmd + 3);
    if (!vs || *vs == zvpyxcpf_hardware.vs) return;
    zvpyxcpf_hardware.vs = *vs;
    zvpyxpl_mcp_set_vvm_dial(*vs);
}

void process_speed(const char* cmd)
{
    std::optional<float> speed = parse_number(cmd + 3);
    if (!speed) return;
    std::int32_t mach = std::strchr(cmd, '.') != nullptr ? 1 : 0;
    zvpyxcpf_hardware.spd_is_mach = mach;
    // The mode follows the unit even when the number is unchanged.
    if (zvpyxpl_mcp_get_speed_is_mach() != static_cast<unsigned int>(mach))
        zvpyxpl_mcp_set_speed_is_mach(static_cast<unsigned int>(mach));
    if (*speed == zvpyxcpf_hardware.spd) return;
    zvpyxcpf_hardware.spd = *speed;
    zvpyxpl_mcp_set_speed_dial(*speed);
}

}  // namespace

void zvpyxcpf_process_cmd(const char* cmd)
{
    if (cmd == nullptr || cmd[0] == '\0') return;
    for (const ValueCommand& dial : DIAL_COMMANDS) {
        if (!starts_with(cmd, dial.code)) continue;
        std::optional<std::int32_t> value = parse_integer(cmd + dial.code.size());
        if (!value || *value == zvpyxcpf_hardware.*dial.field) return;
        // Stored before the setter, so the refresh does not echo the unit's own value back.
        zvpyxcpf_hardware.*dial.field = *value;
        dial.set(static_cast<unsigned int>(*value));
        return;
    }
    if (starts_with(cmd, "V05")) {
        process_vs(cmd);
        return;
    }
    if (starts_with(cmd, "V02")) {
        process_speed(cmd);
        return;
    }
    for (const KeyCommand& key : KEY_COMMANDS) {
        if (!starts_with(cmd, key.code)) continue;
        key.press();
        return;
    }
    for (const StepCommand& knob : STEP_COMMANDS) {
        if (!starts_with(cmd, knob.code)) continue;
        if (std::optional<float> count = parse_number(cmd + knob.code.size())) knob.step(*count);
        return;
    }
}
