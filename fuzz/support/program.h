// Helpers for the targets that run the program's own modules against the SimConnect test
// double and the fake platform.
#pragma once

#include <cstddef>
#include <cstdint>

#include "flightdata/flightdata.h"

namespace zvfuzz {

// The program's modules as at process start, with the fakes installed and reset, the test
// double emptied, diagnostics off, and no CPFlight unit configured.
void reset_program();
// Configures a CPFlight unit on "COM1", which the fake serial port stands for.
void enable_cpflight();
// Ends the process unless every simulator command so far followed the transmission rule (the
// user aircraft, a known client event, highest priority as the group, the group-is-priority
// flag); then forgets them, and the test double's other records.
// A pass of the CPFlight driver, with its start-up sequence run to the end at once.
void run_cpflight_pass();
void check_transmissions();
// Copies up to `size` bytes into the record at `offset` (taken modulo the record's size).
void poke_record(FlightData& record, std::size_t offset, const std::uint8_t* bytes, std::size_t size);

}  // namespace zvfuzz
