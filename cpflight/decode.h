// Decoding of the commands a CPFlight unit sends: its dial values, knob steps, keys, switches
// and selectors, each carried out through one panel operation. A dial value the unit reports is
// stored in the record of what it was last told first, so that the refresh does not send it back.
#pragma once

// Executes one NUL-terminated command from the unit; anything unknown is ignored.
void zvpyxcpf_process_cmd(const char* cmd);
