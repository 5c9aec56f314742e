// The CPFlight driver's state in one struct: the port name and whether a unit is configured, the
// open port, the record of what the unit was last told or last reported, the bytes of an
// incoming command still waiting for its terminator, the progress of the unit's start-up,
// whether the unit's device has gone away, and the failure hook. Assigning a fresh
// ZvpyxcpfState resets the driver: the port is closed (without a word to the unit) and
// everything forgotten. The names other modules use (zvpyxcpf_fd, zvpyxcpf_serial_port,
// zvxpl_cpflight_enabled, zvpyxcpf_hardware) stay as references into it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/serial.h"

inline constexpr std::size_t ZVPYXCPF_SERIAL_PORT_SIZE = 256;

// What the unit was last told or last reported, one 32-bit field per display value and lamp.
struct ZvpyxcpfHardware {
    std::int32_t crs1;
    std::int32_t crs2;
    std::int32_t hdg;
    float spd;  // airspeed, or the Mach number while spd_is_mach
    std::int32_t alt;
    std::int32_t vs;
    std::int32_t spd_is_mach;
    std::int32_t ma1_led;
    std::int32_t ma2_led;
    std::int32_t n1_led;
    std::int32_t spd_led;
    std::int32_t lchg_led;
    std::int32_t vnav_led;
    std::int32_t hdg_led;
    std::int32_t lnav_led;
    std::int32_t loc_led;
    std::int32_t app_led;
    std::int32_t alt_led;
    std::int32_t vs_led;
    std::int32_t cmda_led;
    std::int32_t cmdb_led;
    std::int32_t cwsa_led;
    std::int32_t cwsb_led;
    std::int32_t overspeed;
};
static_assert(sizeof(ZvpyxcpfHardware) == 24 * 4, "24 consecutive 32-bit fields");

// Where the unit's start-up sequence stands. The unit needs 2 s after "K999" and 5 s after
// "Q001" before it takes the next commands; the loop goes on meanwhile, and the sequence moves
// on when zvpyxcpf_startup_step finds its next step due.
enum class ZvpyxcpfStartup { idle, query_due, configure_due };

// Pause after "K999" and after "Q001" in the start-up sequence.
inline constexpr long long ZVPYXCPF_RESET_PAUSE_MS = 2000;
inline constexpr long long ZVPYXCPF_QUERY_PAUSE_MS = 5000;
// A unit that went away is looked for this often (with -w).
inline constexpr long long ZVPYXCPF_REOPEN_MS = 2000;

inline constexpr std::size_t ZVPYXCPF_RECEIVE_BUFFER_SIZE = 512;
// The bytes of a command whose terminator has not arrived yet. They stay between passes: at
// 38400 baud a command takes a few milliseconds, so passes often end in the middle of one.
struct ZvpyxcpfReceive {
    std::array<char, ZVPYXCPF_RECEIVE_BUFFER_SIZE> buffer{};
    std::size_t length = 0;
};

// A port that does not open or configure, told to the operator: one line of text without a
// line end, and the system's error number. Null unless the application sets it.
using ZvpyxcpfFailureHook = void (*)(const char* what, int error);

struct ZvpyxcpfState {
    // Port name such as "COM4", filled from the command line.
    char zvpyxcpf_serial_port[ZVPYXCPF_SERIAL_PORT_SIZE] = "";
    // Non-zero once a serial port was configured; the driver does nothing while it is 0.
    int zvxpl_cpflight_enabled = 0;
    // The open and configured port; invalid while not open.
    PlatSerial zvpyxcpf_fd;
    ZvpyxcpfHardware zvpyxcpf_hardware{};
    ZvpyxcpfReceive zvpyxcpf_receive{};
    ZvpyxcpfStartup startup = ZvpyxcpfStartup::idle;
    // Monotonic milliseconds at which the next start-up step is due.
    long long startup_due_ms = 0;
    // Set with -w: a unit whose device goes away is closed, and started again once it opens.
    int reopen_lost = 0;
    // The device behind the port has gone away (unplugged, hung up). With reopen_lost the port
    // is closed meanwhile and opened again when reopen_due_ms (monotonic) has come; without, it
    // stays open, as nothing else closes it.
    int lost = 0;
    long long reopen_due_ms = 0;
    ZvpyxcpfFailureHook zvpyxcpf_failure_callback = nullptr;
};
extern ZvpyxcpfState& zvpyxcpf_state;

// The driver's names, into zvpyxcpf_state.
extern char (&zvpyxcpf_serial_port)[ZVPYXCPF_SERIAL_PORT_SIZE];
extern int& zvxpl_cpflight_enabled;
extern PlatSerial& zvpyxcpf_fd;
extern ZvpyxcpfHardware& zvpyxcpf_hardware;
extern ZvpyxcpfFailureHook& zvpyxcpf_failure_callback;
