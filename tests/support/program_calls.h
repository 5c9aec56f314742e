// The program's connection as the SimConnect double records it: the start-up registration
// and then a few panel commands of each kind of value, after which the simulator quits. The
// calls node-simconnect is made to send (tests/node) and the network client is compared with.
#pragma once

namespace scd {

// Runs the program's loop against the double (reset first) until its quit; the calls are then
// in scd::calls and the records beside it.
void run_program_calls();

}  // namespace scd
