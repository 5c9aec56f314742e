// The monitor as a ZVMP node: the network module's one UDP socket, bound to a port that the
// operating system picks (so the monitor never takes a port of the program's own range), the
// program as its one permanent peer, and a service pass that walks the waiting packets and once a
// wall-clock second says hello, or asks for the stream again while no data comes. Owns the
// program's address and the pass timing.
#pragma once

#include "platform/net.h"
#include "protocol/network.h"

// Node type word of the program as the monitor records it.
inline constexpr unsigned int ZVMON_PROGRAM_NODE_TYPE = zvmp_node_word(ZVMP_NODE_PROGRAM);

// The node's state: the program's address, this node's type code and the pass timing.
struct ZvmonNodeState {
    char program_addr[16] = "";  // dotted
    unsigned int program_port = 0;
    sockaddr_in program_sa{};
    unsigned int own_type_code = 0;
    long long last_pass_second = -1;  // wall-clock second of the last once-a-second pass
    bool data_this_second = false;    // data from the program since that pass
};
extern ZvmonNodeState zvmon_node_state;

// Opens the socket and makes `addr` (dotted IPv4) and `port` the program peer; false when no
// socket can be opened or the address is not one. `type_code` is this node's type code (0x81).
bool zvmon_node_open(const char* addr, unsigned int port, unsigned int type_code);
// One pass: re-open the socket if an error closed it, walk every waiting packet (the network's
// hooks see each one), and on the first pass of each wall-clock second send a hello, or, with
// `want_stream`, a stream request (hello first) when no data arrived since the last one.
void zvmon_node_service(bool want_stream);
// Data from the program arrived: the next second's pass only says hello.
void zvmon_node_data_seen();
void zvmon_node_stop_stream();
// Whether a datagram came from the program's address and port.
bool zvmon_node_is_program(const sockaddr_in* from);
