// What the program and the simulator library it is linked with tell each other beyond the
// SimConnect functions: whether the program tries again after a failed open (-w), and, from a
// library that reaches the simulator over the network, where it is and how many commands it
// could not send. The program sets `retrying` before its first open; the library fills the rest.
#pragma once

#include <cstddef>

struct PlatSimLinkInfo {
    bool retrying = false;  // the program opens again every 2 s after a failed open
    // "ADDRESS:PORT" of the simulator reached over the network; empty when none is.
    char server[32] = "";
    // Transmissions dropped unsent since the start, the simulator not reading.
    unsigned long long unsent = 0;
};

extern PlatSimLinkInfo plat_sim_link_info;
