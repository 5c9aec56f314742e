// The monitor's ZVMP node over the network module (see node.h).
#include "tools/monitor/node.h"

#include <cstdio>

#include "net/zvmpnet.h"
#include "platform/clock.h"

namespace {

// The node's state under a short name.
ZvmonNodeState& state = zvmon_node_state;

bool open_socket()
{
    zvmp_node_type = state.own_type_code << 24;
    if (!plat_net.startup()) return false;
    plat_socket_t s = plat_net.udp_socket();
    if (s == PLAT_INVALID_SOCKET) return false;
    // Port 0: the operating system picks a free one.
    zvmp_net_socket = zvmp_bind_first_free_port(s, "0.0.0.0", 0, 0);
    return zvmp_network_is_open() != 0;
}

}  // namespace

ZvmonNodeState zvmon_node_state;

bool zvmon_node_open(const char* addr, unsigned int port, unsigned int type_code)
{
    std::uint32_t a = plat_inet_addr(addr);
    if (a == INADDR_NONE || port == 0 || port > 0xFFFF) return false;
    std::snprintf(state.program_addr, sizeof state.program_addr, "%s", plat_inet_ntoa(a));
    state.program_port = port;
    state.program_sa.sin_addr.s_addr = a;
    state.program_sa.sin_port = htons(static_cast<std::uint16_t>(port));
    state.own_type_code = type_code;
    if (!open_socket()) return false;
    zvmp_add_peer_target(state.program_addr, state.program_port, ZVMON_PROGRAM_NODE_TYPE);
    return true;
}

void zvmon_node_service(bool want_stream)
{
    zvmp_net_receive(ZVMP_MAX_PACKETS_PER_SERVICE);
    long long now = plat_time();
    if (now == state.last_pass_second) return;
    state.last_pass_second = now;
    // A failed send or receive closed the socket. The new one has another port, so the program
    // must be asked for the stream again.
    if (!zvmp_network_is_open()) {
        if (!open_socket()) return;
        state.data_this_second = false;
    }
    if (want_stream && !state.data_this_second)
        zvmp_req_stream_data_from(state.program_addr, state.program_port);
    else
        zvmp_send_hello_packets();
    state.data_this_second = false;
    zvmp_remove_expired_peers();
}

void zvmon_node_data_seen() { state.data_this_second = true; }

void zvmon_node_stop_stream() { zvmp_stop_stream_data_from(state.program_addr, state.program_port); }

bool zvmon_node_is_program(const sockaddr_in* from)
{
    return from != nullptr && from->sin_addr.s_addr == state.program_sa.sin_addr.s_addr &&
           from->sin_port == state.program_sa.sin_port;
}
