// Whether a client's data definition fits the one a recording was made with: a replay serves a
// recording's data blocks only to a client that lays out its block the same way.
#pragma once

#include <string>
#include <vector>

#include "record/format.h"

// The first row in which the client's definition differs from the recording's, in words; empty
// when none does. Offsets are the client's, packed from its types, as the simulator lays out
// the block.
std::string zvsim_first_difference(const std::vector<ZvrecRow>& recorded, const std::vector<ZvrecRow>& client);
