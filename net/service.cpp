// The socket, sending, hellos and the network service (see service.h).
#include "net/service.h"

#include "net/state.h"
#include "net/zvmpsocket.h"
#include "net/zvmptcp.h"
#include "platform/clock.h"

namespace {

void send_packet(const zvmp_pkt_s* pkt, zvmp_net_tgt_list_s* target)
{
    // A length beyond the buffer would send bytes that are not the packet's.
    if (pkt->length > ZVMP_PKT_BUFFER_SIZE) return;
    zvmp_net_send_to_target(pkt, pkt->length, target);
}

void send_stream_message(const char* addr, unsigned int port, std::uint32_t id)
{
    if (!zvmp_network_is_open()) return;
    zvmp_net_tgt_list_s* peer = zvmp_peer_with_addr_port(addr, port);
    if (peer == nullptr) return;
    zvmp_pkt_ptr pkt(zvmp_net_make_packet());
    if (!pkt) return;
    // The hello goes first so that the receiver knows the asker before it reads the request.
    std::uint32_t own = pkt->node_type;
    if (zvmp_net_add_msg_to_pkt(pkt.get(), ZVMP_MSG_HELLO, &own) && zvmp_net_add_msg_to_pkt(pkt.get(), id, nullptr))
        send_packet(pkt.get(), peer);
}

// Hellos and expiry, once per wall-clock second `now`. Any change of second, also a step back of
// the clock, starts a new pass: comparing with "later than" would keep the node silent until the
// clock caught up again.
void serve_second(long long now)
{
    if (now == zvmp_net_state.last_showtime) return;
    zvmp_send_hello_packets();
    zvmp_remove_expired_peers();
    zvmp_net_state.last_showtime = now;
}

void reopen() { zvmp_initialise_network(zvmp_init_addr, zvmp_init_port, zvmp_node_type); }

}  // namespace

// ---- The socket ----

void zvmp_initialise_network(const char* addr, unsigned int port, unsigned int node_type)
{
    if (zvmp_network_is_open()) return;
    zvmp_node_type = node_type & ZVMP_NODE_TYPE_CODE_MASK;
    zvmp_init_port = port;
    zvmp_store_init_addr(zvmp_init_addr, addr);

    zvmp_net_socket = zvmp_open_socket(zvmp_net_state.open, ZvmpSocketKind::Udp, zvmp_init_addr, port,
                                       &zvmp_net_state.mcast_if);
    // Opened on the range, the node announces itself to the group but does not listen on it.
    if (zvmp_network_is_open() && port != 0) zvmp_join_multicast_group(ZVMP_MCAST_GROUP);
}

void zvmp_join_multicast_group(const char* group)
{
    if (!zvmp_network_is_open()) return;
    std::uint32_t addr = plat_inet_addr(group);
    if (addr != INADDR_NONE) plat_net.join_multicast(zvmp_net_socket, addr);
}

void zvmp_close_network() { zvmp_net_socket.reset(); }

int zvmp_network_is_open() { return zvmp_net_socket.is_open() ? 1 : 0; }

void zvmp_set_multicast_interface(std::uint32_t addr, const char* text)
{
    ZvmpMulticastInterface& mcast_if = zvmp_net_state.mcast_if;
    mcast_if.set = true;
    mcast_if.addr = addr;
    zvmp_store_init_addr(mcast_if.text, text);
    mcast_if.refusal_shown = false;  // a new address gets its own report
    if (zvmp_network_is_open()) zvmp_apply_multicast_interface(zvmp_net_socket, mcast_if);
}

// ---- Streaming, as a node that wants data ----

void zvmp_req_stream_data_from(const char* addr, unsigned int port)
{
    send_stream_message(addr, port, ZVMP_MSG_REQ_STREAM);
}

void zvmp_stop_stream_data_from(const char* addr, unsigned int port)
{
    send_stream_message(addr, port, ZVMP_MSG_STOP_STREAM);
}

// ---- Sending ----

void zvmp_net_send_to_target(const void* data, unsigned int length, zvmp_net_tgt_list_s* target)
{
    if (!zvmp_network_is_open() || data == nullptr || length == 0 || target == nullptr) return;
    long sent = plat_net.send_to(zvmp_net_socket, data, length, &target->sa);
    if (sent == static_cast<long>(length)) {
        ++zvmp_net_state.packets_sent;
        return;
    }
    if (sent == PLAT_SEND_DROPPED) {
        ++zvmp_net_state.packets_unsent;
        return;
    }
    zvmp_net_report_failure("UDP socket closed after a failed send; re-opening",
                            sent < 0 ? plat_net.last_error() : 0);
    zvmp_close_network();
}

void zvmp_net_send_to_all_tgts(const zvmp_pkt_s* pkt, zvmp_net_tgt_list_s* first)
{
    if (pkt == nullptr) return;
    for (zvmp_net_tgt_list_s* e = first; e != nullptr; e = e->next) send_packet(pkt, e);
}

void zvmp_net_send_to_stream_peers(const zvmp_pkt_s* pkt, unsigned int type)
{
    if (pkt == nullptr) return;
    for (zvmp_net_tgt_list_s* e = zvmp_net_peer_list; e != nullptr; e = e->next)
        if ((e->flags & ZVMP_TGT_STREAMING) && (type == 0 || (e->node_type & ZVMP_NODE_TYPE_CODE_MASK) == type))
            send_packet(pkt, e);
}

// ---- The service ----

void zvmp_send_hello_packets()
{
    if (!zvmp_network_is_open()) return;
    zvmp_pkt_ptr pkt(zvmp_net_make_packet());
    if (!pkt) return;
    std::uint32_t own = pkt->node_type;
    if (!zvmp_net_add_msg_to_pkt(pkt.get(), ZVMP_MSG_HELLO, &own)) return;
    zvmp_net_send_to_all_tgts(pkt.get(), zvmp_net_mcast_list);
    zvmp_net_send_to_all_tgts(pkt.get(), zvmp_net_peer_list);
}

void zvmp_showtime()
{
    long long now = plat_time();
    reopen();
    zvmp_net_receive(ZVMP_MAX_PACKETS_PER_SERVICE);
    serve_second(now);
    zvmp_tcp_showtime();
}

unsigned int zvmp_net_receive(unsigned int budget)
{
    sockaddr_in from{};
    unsigned int n = 0;
    for (; n < budget; ++n) {
        zvmp_pkt_ptr pkt;
        if (zvmp_net_read(&from, pkt) == ZvmpRead::nothing) break;
        if (pkt) zvmp_net_process_packet(pkt.get(), &from);
    }
    return n;
}

void zvmp_net_serve_clock()
{
    long long now = plat_time();
    if (now == zvmp_net_state.last_showtime) return;
    reopen();
    serve_second(now);
    zvmp_tcp_showtime();
}
