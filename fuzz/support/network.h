// Helpers over the ZVMP network module for the targets that run it.
#pragma once

#include <cstdint>

namespace zvfuzz {

// A sender's address and port, as the targets' tables of datagram sources list them.
struct Source {
    const char* addr;
    std::uint16_t port;
};

// The network as at process start: socket closed, no targets, no peers, no hooks, no memory of
// earlier attempts to open or of the last once-a-second pass. Each module's state is assigned
// afresh, which closes its sockets through the platform table: call it before reset_fakes.
void reset_network();
// Opens the network as the program does and adds a streaming peer of each kind the program
// publishes to (type codes 0x81 and 0x84), as their stream requests would.
void open_with_streaming_peers();
// Ends the process unless the peer and streaming counters agree with the peer list, and the
// streaming peers of each type code add up to the streaming peers.
void check_peer_counters();

}  // namespace zvfuzz
