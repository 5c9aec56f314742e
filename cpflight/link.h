// The serial link to a CPFlight unit: opening and configuring the port, writing commands (each
// its ASCII text and one NUL byte), reading what the unit sends and splitting it into commands
// for the decoder (cpflight/decode.h), closing, and noticing that the unit's device has gone
// away, and looking for it again. The port and what it holds live in the driver's state
// (cpflight/state.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/serial.h"

// Opens and configures the port unless it is open; zvpyxcpf_fd tells whether it worked.
void zvpyxcpf_open_serial_port();
// One write of `length` bytes; the count written, or all bits set when the write failed.
std::uint64_t zvpyxcpf_write(plat_serial_t handle, const void* data, std::uint64_t length);
// Sends "K999" and closes the port; a start-up sequence under way ends with it.
void zvpyxcpf_close_serial_port();
// Sends one command, its text and the NUL, when the port is open. A write that fails because the
// device has gone marks the unit lost (zvpyxcpf_port_gone); any other failure loses the command.
void zvpyxcpf_send(const char* text);
// Takes in what the unit has sent and hands each complete command to zvpyxcpf_process_cmd.
// Returns the bytes taken in; 0 when nothing was waiting or the read failed.
std::size_t zvpyxcpf_receive_pass();
// Reads what the unit has sent and drops it, unfinished command included, after asking the port
// whether its device has gone (zvpyxcpf_look_at_port).
void zvpyxcpf_discard_input();
// Asks the open port, without reading or writing, whether its device has gone away (a device
// that has gone reads as empty, and an idle unit is written to only on a change); when it has,
// zvpyxcpf_port_gone.
void zvpyxcpf_look_at_port();
// The port's device has gone away (the loop's wait saw it hang up; the driver also finds out by
// itself, on every refresh and drain and from failed reads and writes). With reopen_lost the
// port is closed without "K999" and one line says so; otherwise it is only marked lost.
void zvpyxcpf_port_gone();
// True while the device behind the port is known to have gone away.
bool zvpyxcpf_lost();
// For a unit that went away (with reopen_lost), every ZVPYXCPF_REOPEN_MS: tries to open its port
// without a line for a failure. True when it opened: one line says the unit is back, and it is
// no longer lost; the caller starts it again.
bool zvpyxcpf_look_for_lost_unit();
