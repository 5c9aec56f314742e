// The CPFlight MCP/EFIS driver. The unit and the program exchange short ASCII commands, each
// ended by one NUL byte. This module opens the port, runs the unit's start-up sequence, keeps
// the unit's displays and lamps in step with the MCP panel by sending only what changed, and
// executes the unit's key, knob and selector commands through the panel operations. With -w it
// also notices a unit whose device goes away, and starts it again once it can be opened.
#include "cpflight/cpflight.h"

#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

#include "panel/efis.h"
#include "panel/mcp.h"
#include "platform/clock.h"

char zvpyxcpf_serial_port[ZVPYXCPF_SERIAL_PORT_SIZE] = "";
int zvxpl_cpflight_enabled = 0;
plat_serial_t zvpyxcpf_fd = PLAT_INVALID_SERIAL;
ZvpyxcpfHardware zvpyxcpf_hardware{};
ZvpyxcpfState zvpyxcpf_state;
ZvpyxcpfReceive zvpyxcpf_receive{};
void (*zvpyxcpf_failure_callback)(const char* what, int error) = nullptr;

namespace {

using Hw = ZvpyxcpfHardware;

// ---- Serial link

// Incoming commands have at most 510 characters; 511 without a terminator are dropped.
constexpr std::size_t RECEIVE_BUFFER_SIZE = ZVPYXCPF_RECEIVE_BUFFER_SIZE;
constexpr std::size_t RECEIVE_LIMIT = RECEIVE_BUFFER_SIZE - 1;

// Room for every command sent, whatever a getter returns.
constexpr std::size_t COMMAND_SIZE = 64;

// After a failed read or write: a device that has gone away is a lost unit; any other failure
// loses only what was being read or written.
void failed_transfer()
{
    if (plat_serial_error_means_gone(plat_serial.last_error())) zvpyxcpf_port_gone();
}

void send_text(const char* text)
{
    // A loss found earlier in the same refresh may have closed the port.
    if (zvpyxcpf_fd == PLAT_INVALID_SERIAL) return;
    if (zvpyxcpf_write(zvpyxcpf_fd, text, std::strlen(text) + 1) == std::numeric_limits<std::uint64_t>::max())
        failed_transfer();
}

template <typename... Args>
void send_format(const char* format, Args... args)
{
    char text[COMMAND_SIZE];
    std::snprintf(text, sizeof text, format, args...);
    send_text(text);
}

// ---- Start-up and refresh

struct Dial {
    unsigned int (*get)();
    std::int32_t Hw::*field;
    const char* format;
};

// In refresh order.
constexpr std::array<Dial, 4> DIALS = {{
    {zvpyxpl_mcp_get_crs1_dial, &Hw::crs1, "V01%03d"},
    {zvpyxpl_mcp_get_crs2_dial, &Hw::crs2, "V06%03d"},
    {zvpyxpl_mcp_get_hdg_dial, &Hw::hdg, "V03%03d"},
    {zvpyxpl_mcp_get_alt_dial, &Hw::alt, "V04%05d"},
}};
// The start-up sequence sends them as altitude, heading, course 1, course 2.
constexpr std::array<std::size_t, 4> STARTUP_DIAL_ORDER = {3, 2, 0, 1};

struct Lamp {
    int (*get)();
    std::int32_t Hw::*field;
    const char* lit;
    const char* dark;
};

// In refresh order. The V/S lamp has commands of its own.
constexpr std::array<Lamp, 17> LAMPS = {{
    {zvpyxpl_mcp_get_ma1_led, &Hw::ma1_led, "L0137", "L1137"},
    {zvpyxpl_mcp_get_ma2_led, &Hw::ma2_led, "L0117", "L1117"},
    {zvpyxpl_mcp_get_n1_led, &Hw::n1_led, "L0121", "L1121"},
    {zvpyxpl_mcp_get_spd_led, &Hw::spd_led, "L0122", "L1122"},
    {zvpyxpl_mcp_get_lchg_led, &Hw::lchg_led, "L0124", "L1124"},
    {zvpyxpl_mcp_get_vnav_led, &Hw::vnav_led, "L0126", "L1126"},
    {zvpyxpl_mcp_get_vs_led, &Hw::vs_led, "X1105", "X1005"},
    {zvpyxpl_mcp_get_hdg_led, &Hw::hdg_led, "L0125", "L1125"},
    {zvpyxpl_mcp_get_lnav_led, &Hw::lnav_led, "L0127", "L1127"},
    {zvpyxpl_mcp_get_loc_led, &Hw::loc_led, "L0128", "L1128"},
    {zvpyxpl_mcp_get_app_led, &Hw::app_led, "L0129", "L1129"},
    {zvpyxpl_mcp_get_alt_led, &Hw::alt_led, "L0130", "L1130"},
    {zvpyxpl_mcp_get_cmda_led, &Hw::cmda_led, "L0132", "L1132"},
    {zvpyxpl_mcp_get_cmdb_led, &Hw::cmdb_led, "L0133", "L1133"},
    {zvpyxpl_mcp_get_cwsa_led, &Hw::cwsa_led, "L0134", "L1134"},
    {zvpyxpl_mcp_get_cwsb_led, &Hw::cwsb_led, "L0135", "L1135"},
    {zvpyxpl_mcp_get_overspeed, &Hw::overspeed, "L0196", "L1196"},
}};

// Stores the dial's current value and sends it.
void send_dial(const Dial& dial, std::int32_t value)
{
    zvpyxcpf_hardware.*dial.field = value;
    send_format(dial.format, value);
}

void send_vs(std::int32_t vs)
{
    // The magnitude is taken in 64 bits: the most negative 32-bit value has no 32-bit negation.
    if (vs < 0)
        send_format("V05-%04lld", -static_cast<long long>(vs));
    else
        send_format("V05+%04d", vs);
}

// The Mach form shows hundredths: 0.78 as "V02 .78", 0.05 as "V02 . 5".
void send_mach(double hundredths) { send_format("V02 .%2.0f", hundredths); }

void refresh_speed()
{
    Hw& hw = zvpyxcpf_hardware;
    // Rounded to two decimals in single precision, so that a dial of 250.004 matches 250.0.
    float s = std::round(zvpyxpl_mcp_get_speed_dial() * 100.0f) / 100.0f;
    // A NaN on either side compares unequal and counts as a change.
    bool changed = s != hw.spd ||
                   zvpyxpl_mcp_get_speed_is_mach() != static_cast<unsigned int>(hw.spd_is_mach);
    if (!changed) return;
    hw.spd = s;
    hw.spd_is_mach = static_cast<std::int32_t>(zvpyxpl_mcp_get_speed_is_mach());
    if (hw.spd_is_mach == 0)
        send_format("V02 %03.0f", static_cast<double>(hw.spd));
    else
        send_mach(static_cast<double>(100.0f * hw.spd));
}

// ---- Input decoding

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
    std::array<char, RECEIVE_BUFFER_SIZE> number;
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

// The device path of the configured port, for messages; false when the name names no device.
bool port_path(char (&path)[ZVPYXCPF_SERIAL_PORT_SIZE])
{
    const char* name = zvpyxcpf_serial_port[0] != '\0' ? zvpyxcpf_serial_port : "COM3";
    return plat_serial_device_path(name, path, sizeof path);
}

void report_failure(const char* outcome, const char* path, int error)
{
    if (zvpyxcpf_failure_callback == nullptr) return;
    char what[ZVPYXCPF_SERIAL_PORT_SIZE + 48];
    std::snprintf(what, sizeof what, "serial port %s %s", path, outcome);
    zvpyxcpf_failure_callback(what, error);
}

// ---- Refresh and the end of the start-up

// Sends what changed since the unit was last told, then executes what the unit sent.
void refresh_and_receive()
{
    Hw& hw = zvpyxcpf_hardware;
    for (const Dial& dial : DIALS) {
        auto value = static_cast<std::int32_t>(dial.get());
        if (value != hw.*dial.field) send_dial(dial, value);
    }
    std::int32_t vs = zvpyxpl_mcp_get_vvm_dial();
    if (vs != hw.vs) {
        hw.vs = vs;
        send_vs(vs);
    }
    refresh_speed();
    for (const Lamp& lamp : LAMPS) {
        std::int32_t value = lamp.get();
        if (value == hw.*lamp.field) continue;
        hw.*lamp.field = value;
        send_text(value != 0 ? lamp.lit : lamp.dark);
    }
    if (zvpyxcpf_fd != PLAT_INVALID_SERIAL) zvpyxcpf_receive_pass();
}

// The last step of the start-up: the configuring commands and the dials.
void send_configuration()
{
    Hw& hw = zvpyxcpf_hardware;
    send_text("L0198");
    // The unit expects the byte 10 in the fourth place, not a digit.
    char c_command[] = "C0000";
    c_command[3] = 10;
    send_text(c_command);
    for (std::size_t index : STARTUP_DIAL_ORDER)
        send_dial(DIALS[index], static_cast<std::int32_t>(DIALS[index].get()));
    // Not rounded, and sent without the space of the refresh form. spd_is_mach stays 0, so
    // the first refresh resends the speed in Mach mode.
    hw.spd = zvpyxpl_mcp_get_speed_dial();
    if (zvpyxpl_mcp_get_speed_is_mach() == 0)
        send_format("V02%03.0f", static_cast<double>(hw.spd));
    else
        send_mach(100.0 * static_cast<double>(hw.spd));
    hw.vs = zvpyxpl_mcp_get_vvm_dial();
    send_vs(hw.vs);
}

// Opens and configures the port; `quiet` leaves out the line for a port that does not open,
// while a unit that went away is looked for.
void open_port(bool quiet)
{
    char path[ZVPYXCPF_SERIAL_PORT_SIZE];
    plat_serial_t port = PLAT_INVALID_SERIAL;
    int error = PLAT_SERIAL_NO_DEVICE;
    if (port_path(path)) {
        port = plat_serial.open(path);
        if (port == PLAT_INVALID_SERIAL) error = plat_serial.last_error();
    }
    if (port == PLAT_INVALID_SERIAL) {
        if (!quiet) {
            std::printf("\nUnable to open serial port %s : Error %d\n", path, error);
            std::fflush(stdout);
        }
        report_failure("did not open", path, error);
        return;
    }
    if (!plat_serial.configure(port)) {
        report_failure("did not configure", path, plat_serial.last_error());
        plat_serial.close(port);
        return;
    }
    zvpyxcpf_fd = port;
    zvpyxcpf_receive.length = 0;
}

// One line at every verbosity, "CPFlight unit on PATH " and `what`.
void tell_unit(const char* what)
{
    char path[ZVPYXCPF_SERIAL_PORT_SIZE];
    port_path(path);
    std::printf("\nCPFlight unit on %s %s", path, what);
    std::fflush(stdout);
}

// A unit that went away, looked for every ZVPYXCPF_REOPEN_MS; once it opens, it starts again.
void reopen_lost_unit()
{
    ZvpyxcpfState& state = zvpyxcpf_state;
    long long now = plat_monotonic_ms();
    if (now < state.reopen_due_ms) return;
    state.reopen_due_ms = now + ZVPYXCPF_REOPEN_MS;
    open_port(true);
    if (zvpyxcpf_fd == PLAT_INVALID_SERIAL) return;
    state.lost = 0;
    tell_unit("is back");
    zvpyxcpf_initialise_hardware();
}

}  // namespace

// ---- Serial link

void zvpyxcpf_open_serial_port()
{
    if (zvpyxcpf_fd == PLAT_INVALID_SERIAL) open_port(false);
}

std::uint64_t zvpyxcpf_write(plat_serial_t handle, const void* data, std::uint64_t length)
{
    long written = plat_serial.write(handle, data, static_cast<std::size_t>(length));
    return written < 0 ? std::numeric_limits<std::uint64_t>::max()
                       : static_cast<std::uint64_t>(written);
}

void zvpyxcpf_close_serial_port()
{
    if (zvpyxcpf_fd == PLAT_INVALID_SERIAL) return;
    // Sent whatever became of the device: the port is closed next in any case.
    zvpyxcpf_write(zvpyxcpf_fd, "K999", 5);
    plat_serial.close(zvpyxcpf_fd);
    zvpyxcpf_fd = PLAT_INVALID_SERIAL;
    zvpyxcpf_receive.length = 0;
    zvpyxcpf_state.startup = ZvpyxcpfStartup::idle;
    zvpyxcpf_state.lost = 0;
}

void zvpyxcpf_port_gone()
{
    ZvpyxcpfState& state = zvpyxcpf_state;
    if (zvpyxcpf_fd == PLAT_INVALID_SERIAL || state.lost != 0) return;
    state.lost = 1;
    if (state.reopen_lost == 0) return;
    // No "K999": there is no one to hear it.
    plat_serial.close(zvpyxcpf_fd);
    zvpyxcpf_fd = PLAT_INVALID_SERIAL;
    zvpyxcpf_receive.length = 0;
    state.startup = ZvpyxcpfStartup::idle;
    state.reopen_due_ms = plat_monotonic_ms() + ZVPYXCPF_REOPEN_MS;
    tell_unit("went away, waiting for it ...");
}

bool zvpyxcpf_lost() { return zvpyxcpf_state.lost != 0; }

bool zvpyxcpf_listening()
{
    return zvpyxcpf_fd != PLAT_INVALID_SERIAL && !zvpyxcpf_starting() && !zvpyxcpf_lost();
}

void zvpyxcpf_drain()
{
    if (zvpyxcpf_fd == PLAT_INVALID_SERIAL) {
        // A unit plugged back while the simulator is away starts again at once, as at start-up.
        if (zvpyxcpf_lost()) reopen_lost_unit();
        return;
    }
    // A device that has gone reads as empty, so it is asked.
    if (!zvpyxcpf_lost() && plat_serial.gone(zvpyxcpf_fd)) zvpyxcpf_port_gone();
    char scratch[RECEIVE_BUFFER_SIZE];
    // Bounded, so that a unit that never stops talking cannot hold up the loop.
    for (int reads = 0; reads < 64 && zvpyxcpf_fd != PLAT_INVALID_SERIAL; ++reads) {
        long got = plat_serial.read(zvpyxcpf_fd, scratch, sizeof scratch);
        if (got < 0) failed_transfer();
        if (got <= 0) break;
    }
    zvpyxcpf_receive.length = 0;
}

std::size_t zvpyxcpf_receive_pass()
{
    char* buffer = zvpyxcpf_receive.buffer.data();
    std::size_t& length = zvpyxcpf_receive.length;
    std::size_t taken = 0;
    // Each read asks for no more than the current command may still grow by, so a command
    // reaching the limit is always the last thing read in the pass.
    while (length < RECEIVE_LIMIT) {
        long got = plat_serial.read(zvpyxcpf_fd, buffer + length, RECEIVE_LIMIT - length);
        if (got < 0) {
            length = 0;
            failed_transfer();
            return taken;
        }
        if (got == 0) return taken;
        taken += static_cast<std::size_t>(got);
        std::size_t end = length + static_cast<std::size_t>(got);
        std::size_t start = 0;
        for (std::size_t i = length; i < end; ++i) {
            if (buffer[i] != '\0') continue;
            // A terminator with nothing before it is skipped.
            if (i > start) zvpyxcpf_process_cmd(buffer + start);
            start = i + 1;
        }
        std::memmove(buffer, buffer + start, end - start);
        length = end - start;
    }
    length = 0;
    return taken;
}

// ---- Start-up and refresh

void zvpyxcpf_runloop()
{
    if (zvxpl_cpflight_enabled == 0) return;
    if (zvpyxcpf_fd == PLAT_INVALID_SERIAL) {
        if (zvpyxcpf_lost()) {
            reopen_lost_unit();
        } else {
            zvpyxcpf_open_serial_port();
            if (zvpyxcpf_fd != PLAT_INVALID_SERIAL) zvpyxcpf_initialise_hardware();
        }
    } else if (!zvpyxcpf_lost() && plat_serial.gone(zvpyxcpf_fd)) {
        // An idle unit is written to only on a change and reads as empty once gone: asked.
        zvpyxcpf_port_gone();
    }
    if (zvpyxcpf_fd == PLAT_INVALID_SERIAL || zvpyxcpf_starting()) return;
    refresh_and_receive();
}

void zvpyxcpf_initialise_hardware()
{
    zvpyxcpf_hardware = Hw{};
    // The step is set before the command goes out, so that a unit found gone by the write ends
    // the sequence for good.
    zvpyxcpf_state.startup = ZvpyxcpfStartup::query_due;
    zvpyxcpf_state.startup_due_ms = plat_monotonic_ms() + ZVPYXCPF_RESET_PAUSE_MS;
    send_text("K999");
}

// The sequence used to sleep through its pauses, holding up the whole program for 7 s; the
// loop now calls this on each turn and keeps serving the simulator and the panels meanwhile.
void zvpyxcpf_startup_step()
{
    ZvpyxcpfState& state = zvpyxcpf_state;
    if (state.startup == ZvpyxcpfStartup::idle || zvpyxcpf_fd == PLAT_INVALID_SERIAL) return;
    long long now = plat_monotonic_ms();
    if (now < state.startup_due_ms) return;
    if (state.startup == ZvpyxcpfStartup::query_due) {
        state.startup = ZvpyxcpfStartup::configure_due;
        state.startup_due_ms = now + ZVPYXCPF_QUERY_PAUSE_MS;
        send_text("Q001");
        return;
    }
    state.startup = ZvpyxcpfStartup::idle;
    send_configuration();
    refresh_and_receive();
}

bool zvpyxcpf_starting() { return zvpyxcpf_state.startup != ZvpyxcpfStartup::idle; }

long long zvpyxcpf_next_due_ms()
{
    return zvpyxcpf_starting() ? zvpyxcpf_state.startup_due_ms : -1;
}

// ---- Input decoding

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
