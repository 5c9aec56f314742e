// The serial link to a CPFlight unit (see link.h).
#include "cpflight/link.h"

#include <cstdio>
#include <cstring>
#include <limits>

#include "cpflight/decode.h"
#include "cpflight/state.h"
#include "platform/clock.h"

namespace {

// Incoming commands have at most 510 characters; 511 without a terminator are dropped.
constexpr std::size_t RECEIVE_LIMIT = ZVPYXCPF_RECEIVE_BUFFER_SIZE - 1;

// After a failed read or write: a device that has gone away is a lost unit; any other failure
// loses only what was being read or written.
void failed_transfer()
{
    if (plat_serial_error_means_gone(plat_serial.last_error())) zvpyxcpf_port_gone();
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
    zvpyxcpf_state.zvpyxcpf_receive.length = 0;
}

// One line at every verbosity, "CPFlight unit on PATH " and `what`.
void tell_unit(const char* what)
{
    char path[ZVPYXCPF_SERIAL_PORT_SIZE];
    port_path(path);
    std::printf("\nCPFlight unit on %s %s", path, what);
    std::fflush(stdout);
}

}  // namespace

void zvpyxcpf_open_serial_port()
{
    if (!zvpyxcpf_fd.is_open()) open_port(false);
}

std::uint64_t zvpyxcpf_write(plat_serial_t handle, const void* data, std::uint64_t length)
{
    long written = plat_serial.write(handle, data, static_cast<std::size_t>(length));
    return written < 0 ? std::numeric_limits<std::uint64_t>::max()
                       : static_cast<std::uint64_t>(written);
}

void zvpyxcpf_close_serial_port()
{
    if (!zvpyxcpf_fd.is_open()) return;
    // Sent whatever became of the device: the port is closed next in any case.
    zvpyxcpf_write(zvpyxcpf_fd, "K999", 5);
    zvpyxcpf_fd.reset();
    zvpyxcpf_state.zvpyxcpf_receive.length = 0;
    zvpyxcpf_state.startup = ZvpyxcpfStartup::idle;
    zvpyxcpf_state.lost = 0;
}

void zvpyxcpf_send(const char* text)
{
    // A loss found earlier in the same refresh may have closed the port.
    if (!zvpyxcpf_fd.is_open()) return;
    if (zvpyxcpf_write(zvpyxcpf_fd, text, std::strlen(text) + 1) == std::numeric_limits<std::uint64_t>::max())
        failed_transfer();
}

std::size_t zvpyxcpf_receive_pass()
{
    char* buffer = zvpyxcpf_state.zvpyxcpf_receive.buffer.data();
    std::size_t& length = zvpyxcpf_state.zvpyxcpf_receive.length;
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

void zvpyxcpf_discard_input()
{
    zvpyxcpf_look_at_port();
    char scratch[ZVPYXCPF_RECEIVE_BUFFER_SIZE];
    // Bounded, so that a unit that never stops talking cannot hold up the loop.
    for (int reads = 0; reads < 64 && zvpyxcpf_fd.is_open(); ++reads) {
        long got = plat_serial.read(zvpyxcpf_fd, scratch, sizeof scratch);
        if (got < 0) failed_transfer();
        if (got <= 0) break;
    }
    zvpyxcpf_state.zvpyxcpf_receive.length = 0;
}

void zvpyxcpf_look_at_port()
{
    if (zvpyxcpf_fd.is_open() && !zvpyxcpf_lost() && plat_serial.gone(zvpyxcpf_fd)) zvpyxcpf_port_gone();
}

void zvpyxcpf_port_gone()
{
    ZvpyxcpfState& state = zvpyxcpf_state;
    if (!zvpyxcpf_fd.is_open() || state.lost != 0) return;
    state.lost = 1;
    if (state.reopen_lost == 0) return;
    // No "K999": there is no one to hear it.
    zvpyxcpf_fd.reset();
    state.zvpyxcpf_receive.length = 0;
    state.startup = ZvpyxcpfStartup::idle;
    state.reopen_due_ms = plat_monotonic_ms() + ZVPYXCPF_REOPEN_MS;
    tell_unit("went away, waiting for it ...");
}

bool zvpyxcpf_lost() { return zvpyxcpf_state.lost != 0; }

bool zvpyxcpf_look_for_lost_unit()
{
    ZvpyxcpfState& state = zvpyxcpf_state;
    long long now = plat_monotonic_ms();
    if (now < state.reopen_due_ms) return false;
    state.reopen_due_ms = now + ZVPYXCPF_REOPEN_MS;
    open_port(true);
    if (!zvpyxcpf_fd.is_open()) return false;
    state.lost = 0;
    tell_unit("is back");
    return true;
}
