// What the program tells the operator about the simulator it is connected to: which simulator
// answered (-v), what it refused, named from the send ids of this connection, and data blocks of
// a size the record cannot take. Owns `zvscpl_notes`.
#pragma once

#include <cstddef>

#include "platform/SimConnect.h"

struct ZvscplNotes {
    // 1 once this connection's blocks were reported as the wrong size.
    int short_block_told = 0;
};
extern ZvscplNotes zvscpl_notes;

// A new connection: nothing told yet, and no send ids known.
void zvscpl_notes_start();
// The SDK's name of an exception without its SIMCONNECT_EXCEPTION_ prefix; null for a number it
// does not name.
const char* zvscpl_exception_name(DWORD exception);
// At -v: "Flight Simulator: <name> <version> build <build>, SimConnect <version>".
void zvscpl_note_open(const SIMCONNECT_RECV_OPEN& open);
// After the "Received exception" line, at its verbosity: what the simulator refused, when the
// send id is this connection's, the same line at most once per report period.
void zvscpl_note_exception(const SIMCONNECT_RECV_EXCEPTION& exception);
// A block of `bytes` where the record needs more: said once per connection, at every verbosity.
void zvscpl_note_short_block(std::size_t bytes);
