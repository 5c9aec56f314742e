// The monitor's ZVMP node over the network module (see node.h).
#include "tools/monitor/node.h"

#include <cstdio>

#include "net/zvmpnet.h"
#include "platform/clock.h"

namespace {

char program_addr[16] = "";
unsigned int program_port = 0;
sockaddr_in program_sa{};
unsigned int own_type_code = 0;
long long last_pass_second = -1;
bool data_this_second = false;

bool open_socket()
{
    zvmp_node_type = own_type_code << 24;
    if (!plat_net.startup()) return false;
    plat_socket_t s = plat_net.udp_socket();
    if (s == PLAT_INVALID_SOCKET) return false;
    // Port 0: the operating system picks a free one.
    zvmp_net_socket = zvmp_bind_first_free_port(s, "0.0.0.0", 0, 0);
    return zvmp_network_is_open() != 0;
}

}  // namespace

bool zvmon_node_open(const char* addr, unsigned int port, unsigned int type_code)
{
    std::uint32_t a = plat_inet_addr(addr);
    if (a == INADDR_NONE || port == 0 || port > 0xFFFF) return false;
    std::snprintf(program_addr, sizeof program_addr, "%s", plat_inet_ntoa(a));
    program_port = port;
    program_sa.sin_addr.s_addr = a;
    program_sa.sin_port = htons(static_cast<std::uint16_t>(port));
    own_type_code = type_code;
    if (!open_socket()) return false;
    zvmp_add_peer_target(program_addr, program_port, ZVMON_PROGRAM_NODE_TYPE);
    return true;
}

void zvmon_node_service(bool want_stream)
{
    sockaddr_in from{};
    for (unsigned int n = 0; n < ZVMP_MAX_PACKETS_PER_SERVICE; ++n) {
        zvmp_pkt_ptr pkt(zvmp_net_read_packet(&from));
        if (!pkt) break;
        zvmp_net_process_packet(pkt.get(), &from);
    }
    long long now = plat_time();
    if (now == last_pass_second) return;
    last_pass_second = now;
    // A failed send or receive closed the socket. The new one has another port, so the program
    // must be asked for the stream again.
    if (!zvmp_network_is_open()) {
        if (!open_socket()) return;
        data_this_second = false;
    }
    if (want_stream && !data_this_second)
        zvmp_req_stream_data_from(program_addr, program_port);
    else
        zvmp_send_hello_packets();
    data_this_second = false;
    zvmp_remove_expired_peers();
}

void zvmon_node_data_seen() { data_this_second = true; }

void zvmon_node_stop_stream() { zvmp_stop_stream_data_from(program_addr, program_port); }

bool zvmon_node_is_program(const sockaddr_in* from)
{
    return from != nullptr && from->sin_addr.s_addr == program_sa.sin_addr.s_addr &&
           from->sin_port == program_sa.sin_port;
}
