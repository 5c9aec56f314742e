// The CPFlight unit's start-up sequence and display refresh (see refresh.h).
#include "cpflight/refresh.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "cpflight/link.h"
#include "cpflight/state.h"
#include "panel/mcp.h"
#include "platform/clock.h"

namespace {

using Hw = ZvpyxcpfHardware;

// Room for every command sent, whatever a getter returns.
constexpr std::size_t COMMAND_SIZE = 64;

template <typename... Args>
void send_format(const char* format, Args... args)
{
    char text[COMMAND_SIZE];
    std::snprintf(text, sizeof text, format, args...);
    zvpyxcpf_send(text);
}

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
        zvpyxcpf_send(value != 0 ? lamp.lit : lamp.dark);
    }
    if (zvpyxcpf_fd.is_open()) zvpyxcpf_receive_pass();
}

// The last step of the start-up: the configuring commands and the dials.
void send_configuration()
{
    Hw& hw = zvpyxcpf_hardware;
    zvpyxcpf_send("L0198");
    // The unit expects the byte 10 in the fourth place, not a digit.
    char c_command[] = "C0000";
    c_command[3] = 10;
    zvpyxcpf_send(c_command);
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

// A unit that went away, looked for every ZVPYXCPF_REOPEN_MS; once it opens, it starts again.
void reopen_lost_unit()
{
    if (zvpyxcpf_look_for_lost_unit()) zvpyxcpf_initialise_hardware();
}

}  // namespace

void zvpyxcpf_runloop()
{
    if (zvxpl_cpflight_enabled == 0) return;
    if (!zvpyxcpf_fd.is_open()) {
        if (zvpyxcpf_lost()) {
            reopen_lost_unit();
        } else {
            zvpyxcpf_open_serial_port();
            if (zvpyxcpf_fd.is_open()) zvpyxcpf_initialise_hardware();
        }
    } else {
        zvpyxcpf_look_at_port();
    }
    if (!zvpyxcpf_fd.is_open() || zvpyxcpf_starting()) return;
    refresh_and_receive();
}

void zvpyxcpf_drain()
{
    if (!zvpyxcpf_fd.is_open()) {
        // A unit plugged back while the simulator is away starts again at once, as at start-up.
        if (zvpyxcpf_lost()) reopen_lost_unit();
        return;
    }
    zvpyxcpf_discard_input();
}

void zvpyxcpf_initialise_hardware()
{
    zvpyxcpf_hardware = Hw{};
    // The step is set before the command goes out, so that a unit found gone by the write ends
    // the sequence for good.
    zvpyxcpf_state.startup = ZvpyxcpfStartup::query_due;
    zvpyxcpf_state.startup_due_ms = plat_monotonic_ms() + ZVPYXCPF_RESET_PAUSE_MS;
    zvpyxcpf_send("K999");
}

// The sequence used to sleep through its pauses, holding up the whole program for 7 s; the
// loop now calls this on each turn and keeps serving the simulator and the panels meanwhile.
void zvpyxcpf_startup_step()
{
    ZvpyxcpfState& state = zvpyxcpf_state;
    if (state.startup == ZvpyxcpfStartup::idle || !zvpyxcpf_fd.is_open()) return;
    long long now = plat_monotonic_ms();
    if (now < state.startup_due_ms) return;
    if (state.startup == ZvpyxcpfStartup::query_due) {
        state.startup = ZvpyxcpfStartup::configure_due;
        state.startup_due_ms = now + ZVPYXCPF_QUERY_PAUSE_MS;
        zvpyxcpf_send("Q001");
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

bool zvpyxcpf_listening()
{
    return zvpyxcpf_fd.is_open() && !zvpyxcpf_starting() && !zvpyxcpf_lost();
}
