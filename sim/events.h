// The simulator events the built-in simulator obeys: targets, radios, altimeter, autopilot
// modes and flight controls, each applied to the world at once.
#pragma once

#include "platform/SimConnect.h"
#include "sim/world.h"

namespace zvsim {

struct Event {
    const char* name;
    void (*apply)(World& w, DWORD data);
};

// Finds an event by name, ignoring case; null when the simulator does not know it.
const Event* find_event(const char* name);

}  // namespace zvsim
