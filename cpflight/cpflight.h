// The CPFlight MCP/EFIS driver: serial link, start-up and display refresh, input decoding.
// Owns the port, the record of what the unit was last told or last reported, the bytes of an
// incoming command still waiting for its terminator, the progress of the unit's start-up, and
// whether the unit's device has gone away.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/serial.h"

inline constexpr std::size_t ZVPYXCPF_SERIAL_PORT_SIZE = 256;

// Port name such as "COM4", filled from the command line.
extern char zvpyxcpf_serial_port[ZVPYXCPF_SERIAL_PORT_SIZE];
// Non-zero once a serial port was configured; the driver does nothing while it is 0.
extern int zvxpl_cpflight_enabled;
// The open and configured port; PLAT_INVALID_SERIAL while not open.
extern plat_serial_t zvpyxcpf_fd;

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

extern ZvpyxcpfHardware zvpyxcpf_hardware;

// Where the unit's start-up sequence stands. The unit needs 2 s after "K999" and 5 s after
// "Q001" before it takes the next commands; the loop goes on meanwhile, and the sequence moves
// on when zvpyxcpf_startup_step finds its next step due.
enum class ZvpyxcpfStartup { idle, query_due, configure_due };

struct ZvpyxcpfState {
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
};
extern ZvpyxcpfState zvpyxcpf_state;

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
extern ZvpyxcpfReceive zvpyxcpf_receive;

// ---- Serial link
// Opens and configures the port unless it is open; zvpyxcpf_fd tells whether it worked.
void zvpyxcpf_open_serial_port();
// One write of `length` bytes; the count written, or all bits set when the write failed.
std::uint64_t zvpyxcpf_write(plat_serial_t handle, const void* data, std::uint64_t length);
// Sends "K999" and closes the port; a start-up sequence under way ends with it.
void zvpyxcpf_close_serial_port();
// Takes in what the unit has sent and hands each complete command to zvpyxcpf_process_cmd.
// Returns the bytes taken in; 0 when nothing was waiting or the read failed.
std::size_t zvpyxcpf_receive_pass();
// Reads what the unit has sent and drops it, unfinished command included (while there is no
// simulator to carry it out).
void zvpyxcpf_drain();
// The port's device has gone away (the loop's wait saw it hang up; the driver also finds out by
// itself, on every refresh and drain and from failed reads and writes). With reopen_lost the
// port is closed without "K999" and one line says so; otherwise it is only marked lost.
void zvpyxcpf_port_gone();
// True while the device behind the port is known to have gone away.
bool zvpyxcpf_lost();
// True while the loop should wait on the port for the unit's bytes: open, started and not lost.
bool zvpyxcpf_listening();
// A port that does not open or configure, told to the operator: one line of text without a
// line end, and the system's error number. Null unless the application sets it.
extern void (*zvpyxcpf_failure_callback)(const char* what, int error);

// ---- Start-up and refresh
// The periodic entry point: opens the port and begins the unit's start-up when needed (a unit
// that went away: every ZVPYXCPF_REOPEN_MS, quietly, and one line once it is back); once the
// start-up is over, sends what changed, then executes what the unit sent. Until then the
// unit's bytes stay unread.
void zvpyxcpf_runloop();
// Begins the unit's start-up sequence: clears the record and sends "K999". Returns at once;
// zvpyxcpf_startup_step sends the rest when it is due.
void zvpyxcpf_initialise_hardware();
// Sends the start-up step that is due, if any: "Q001" 2 s after "K999", then 5 s later the
// configuring commands and the dials as they are at that moment, followed by the first
// refresh. Called on every turn of the main loop; does nothing when no step is due.
void zvpyxcpf_startup_step();
// True while a start-up sequence is under way.
bool zvpyxcpf_starting();
// Monotonic milliseconds at which the next start-up step is due; -1 when none is pending.
long long zvpyxcpf_next_due_ms();

// ---- Input decoding
// Executes one NUL-terminated command from the unit; anything unknown is ignored.
void zvpyxcpf_process_cmd(const char* cmd);
