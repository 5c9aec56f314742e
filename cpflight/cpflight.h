// The CPFlight MCP/EFIS driver: serial link, start-up and display refresh, input decoding.
#pragma once

#include <cstddef>

inline constexpr std::size_t ZVPYXCPF_SERIAL_PORT_SIZE = 256;

// Port name such as "COM4", filled from the command line.
extern char zvpyxcpf_serial_port[ZVPYXCPF_SERIAL_PORT_SIZE];
// Non-zero once a serial port was configured; the driver does nothing while it is 0.
extern int zvxpl_cpflight_enabled;
