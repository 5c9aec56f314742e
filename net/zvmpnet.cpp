// The ZVMP UDP network: packets, the socket, target and peer lists, streaming and the service.
// Everything runs on the main loop's thread, which waits on the socket between passes; reads here
// only poll it.
#include "net/zvmpnet.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "net/zvmpallow.h"
#include "net/zvmptcp.h"
#include "platform/clock.h"

void (*zvmp_net_message_received_callback)(unsigned int id, void* data, sockaddr_in* from) = nullptr;
void (*zvmp_net_packet_received_callback)(zvmp_pkt_s* pkt, sockaddr_in* from, unsigned int length) = nullptr;
void (*zvmp_net_peer_created_callback)(zvmp_net_tgt_list_s* entry, unsigned int node_type) = nullptr;
void (*zvmp_net_peer_removed_callback)(zvmp_net_tgt_list_s* entry) = nullptr;

plat_socket_t zvmp_net_socket = PLAT_INVALID_SOCKET;
char zvmp_init_addr[ZVMP_ADDR_TEXT_SIZE] = "";
unsigned int zvmp_init_port = 0;
unsigned int zvmp_node_type = 0;
unsigned int zvmp_net_packet_in_len = 0;
zvmp_net_tgt_list_s* zvmp_net_mcast_list = nullptr;
zvmp_net_tgt_list_s* zvmp_net_peer_list = nullptr;
unsigned int zvmp_peer_count = 0;
unsigned int zvmp_number_of_stream_peers = 0;
ZvmpNetState zvmp_net_state;

namespace {

constexpr std::uint32_t ID_SIZE = 4;
// Packets whose first word is below this carry a type code instead of a header.
constexpr std::uint32_t TYPE_CODED_LIMIT = 256;
constexpr std::uint32_t TYPE_CODED_HELLO = 1;
// Header packets below this first word pass the reading checks but hold no messages we walk.
constexpr std::uint32_t FIRST_MESSAGE_NODE_TYPE = 0x00040000;

void lower(unsigned int& counter)
{
    if (counter > 0) --counter;
}

bool is_network_message(std::uint32_t id) { return (id & 0xF0000000) == 0 && ((id >> 8) & 0xFF) == ZVMP_NETWORK_GROUP; }

// The address (network order) of dotted text and a port, or false when either is refused.
bool parse_target(const char* addr, unsigned int port, std::uint32_t& out)
{
    if (port == 0 || port > 0xFFFF) return false;
    out = plat_inet_addr(addr);
    return out != INADDR_NONE;
}

// Address and port, both in network order, as one index key.
std::uint64_t peer_key(std::uint32_t addr, std::uint16_t port_n) { return (std::uint64_t{addr} << 16) | port_n; }

std::uint16_t port_n_of(unsigned int port) { return htons(static_cast<std::uint16_t>(port)); }

// The link that points at the entry for the address and port, or the list's final null link.
zvmp_net_tgt_list_s** find_link(zvmp_net_tgt_list_s** list, std::uint32_t addr, std::uint16_t port_n)
{
    zvmp_net_tgt_list_s** link = list;
    while (*link != nullptr && !((*link)->sa.sin_port == port_n && (*link)->sa.sin_addr.s_addr == addr))
        link = &(*link)->next;
    return link;
}

zvmp_net_tgt_list_s* indexed_peer(std::uint32_t addr, std::uint16_t port_n)
{
    auto it = zvmp_net_state.peers.index.find(peer_key(addr, port_n));
    return it != zvmp_net_state.peers.index.end() ? it->second : nullptr;
}

void remove_entry(zvmp_net_tgt_list_s** link, zvmp_net_tgt_list_s** list)
{
    zvmp_net_tgt_list_s* entry = *link;
    *link = entry->next;
    if (list == &zvmp_net_peer_list) {
        if (zvmp_net_state.peers.tail == &entry->next) zvmp_net_state.peers.tail = link;
        zvmp_net_state.peers.index.erase(peer_key(entry->sa.sin_addr.s_addr, entry->sa.sin_port));
        if (entry->flags & ZVMP_TGT_PERMANENT)
            zvmp_allow_permanent_removed(entry->sa.sin_addr.s_addr);
        else
            lower(zvmp_net_state.peers.learned);
        if (entry->flags & ZVMP_TGT_STREAMING) {
            lower(zvmp_number_of_stream_peers);
            entry->flags &= ~ZVMP_TGT_STREAMING;
        }
        lower(zvmp_peer_count);
        if (zvmp_net_peer_removed_callback != nullptr) zvmp_net_peer_removed_callback(entry);
    }
    delete entry;
}

bool is_permanent(const zvmp_net_tgt_list_s* e) { return (e->flags & ZVMP_TGT_PERMANENT) != 0; }

// Room for one more learned peer at monotonic `now_ms`: under the bound, or once the learned peer
// heard from longest ago among those not streaming or silent for a while has been removed.
// False, counted as refused, when none may go or too many came this second.
bool make_room_for_learned(long long now_ms)
{
    const long long second = now_ms / 1000;
    if (second != zvmp_net_state.peers.new_second) {
        zvmp_net_state.peers.new_second = second;
        zvmp_net_state.peers.new_this_second = 0;
    }
    if (zvmp_net_state.peers.new_this_second >= ZVMP_NEW_PEERS_PER_SECOND) {
        ++zvmp_allow_state.refused;
        return false;
    }
    if (zvmp_net_state.peers.learned >= zvmp_net_state.peers.cap) {
        zvmp_net_tgt_list_s** oldest = nullptr;
        for (zvmp_net_tgt_list_s** link = &zvmp_net_peer_list; *link != nullptr; link = &(*link)->next) {
            const zvmp_net_tgt_list_s* e = *link;
            if (is_permanent(e)) continue;
            if ((e->flags & ZVMP_TGT_STREAMING) && now_ms - e->last_heard < ZVMP_IDLE_STREAM_MS) continue;
            // Strictly older only: ties go to the first in list order.
            if (oldest == nullptr || e->last_heard < (*oldest)->last_heard) oldest = link;
        }
        if (oldest == nullptr) {
            ++zvmp_allow_state.refused;
            return false;
        }
        remove_entry(oldest, &zvmp_net_peer_list);
    }
    ++zvmp_net_state.peers.new_this_second;
    return true;
}

// Notes a permanent peer's address among those always allowed; false when memory is short.
bool note_permanent(std::uint32_t addr)
{
    try {
        zvmp_allow_permanent_added(addr);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Adds or refreshes a peer entry, found through the index. Short of memory, nothing changes.
void add_peer(std::uint32_t addr, std::uint16_t port_n, ZvmpLifetime lifetime, unsigned int node_type)
{
    const bool permanent = lifetime == ZvmpLifetime::permanent;
    const long long now = plat_monotonic_ms();
    if (zvmp_net_tgt_list_s* entry = indexed_peer(addr, port_n); entry != nullptr) {
        // A permanent entry stays permanent; a learned one refreshed as permanent becomes so.
        if (permanent && !is_permanent(entry)) {
            if (!note_permanent(addr)) return;
            lower(zvmp_net_state.peers.learned);
            entry->flags |= ZVMP_TGT_PERMANENT;
        }
        entry->last_heard = now;
        entry->node_type = node_type;
        entry->last_update = now;
        return;
    }
    if (!permanent && !make_room_for_learned(now)) return;
    auto* entry = new (std::nothrow) zvmp_net_tgt_list_s{};
    if (entry == nullptr) return;
    entry->sa.sin_family = AF_INET;
    entry->sa.sin_port = port_n;
    entry->sa.sin_addr.s_addr = addr;
    entry->last_heard = now;
    entry->last_update = now;
    entry->flags = permanent ? ZVMP_TGT_PERMANENT : 0;
    entry->node_type = node_type;
    const std::uint64_t key = peer_key(addr, port_n);
    try {
        zvmp_net_state.peers.index.emplace(key, entry);
    } catch (const std::bad_alloc&) {
        delete entry;
        return;
    }
    if (permanent && !note_permanent(addr)) {
        zvmp_net_state.peers.index.erase(key);
        delete entry;
        return;
    }
    *zvmp_net_state.peers.tail = entry;
    zvmp_net_state.peers.tail = &entry->next;
    if (!permanent) ++zvmp_net_state.peers.learned;
    ++zvmp_peer_count;
    if (zvmp_net_peer_created_callback != nullptr) zvmp_net_peer_created_callback(entry, node_type);
}

// A datagram's sender as a peer's address and port: refused, as bad text is, for port 0 and
// for 255.255.255.255.
bool sender_key(const sockaddr_in* from, std::uint32_t& addr, std::uint16_t& port_n)
{
    addr = from->sin_addr.s_addr;
    port_n = from->sin_port;
    return port_n != 0 && addr != INADDR_NONE;
}

zvmp_net_tgt_list_s* sender_peer(const sockaddr_in* from)
{
    std::uint32_t addr;
    std::uint16_t port_n;
    return sender_key(from, addr, port_n) ? indexed_peer(addr, port_n) : nullptr;
}

void add_sender_as_peer(const sockaddr_in* from, unsigned int node_type)
{
    std::uint32_t addr;
    std::uint16_t port_n;
    if (sender_key(from, addr, port_n)) add_peer(addr, port_n, ZvmpLifetime::learned, node_type);
}

void send_packet(const zvmp_pkt_s* pkt, zvmp_net_tgt_list_s* target)
{
    // A length beyond the buffer would send bytes that are not the packet's.
    if (pkt->length > ZVMP_PKT_BUFFER_SIZE) return;
    zvmp_net_send_to_target(pkt, pkt->length, target);
}

void walk_messages(zvmp_pkt_s* pkt, sockaddr_in* from)
{
    // A datagram of 17 to 23 bytes can carry a matching length below the header size; it
    // leaves nothing to walk rather than a count that wraps around.
    std::uint32_t end = std::min(pkt->length, ZVMP_PKT_BUFFER_SIZE);
    std::uint32_t remaining = end > ZVMP_PKT_HEADER_SIZE ? end - ZVMP_PKT_HEADER_SIZE : 0;
    unsigned char* cursor = pkt->messages;
    for (std::uint32_t i = 0; i < pkt->msg_count && remaining >= ID_SIZE; ++i) {
        std::uint32_t id;
        std::memcpy(&id, cursor, ID_SIZE);
        cursor += ID_SIZE;
        remaining -= ID_SIZE;
        std::uint32_t payload = zvmp_msg_payload_size(id);
        if (remaining < payload) break;
        zvmp_net_process_message(id, cursor, from, pkt->node_type);
        cursor += payload;
        remaining -= payload;
    }
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

}  // namespace

// ---- Packets ----

zvmp_pkt_s* zvmp_net_make_packet()
{
    auto* pkt = new (std::nothrow) zvmp_pkt_s{};
    if (pkt == nullptr) return nullptr;
    pkt->node_type = zvmp_node_type | ZVMP_PROTOCOL_VERSION_BITS;
    pkt->length = ZVMP_PKT_HEADER_SIZE;
    return pkt;
}

void zvmp_net_free_packet(zvmp_pkt_s* pkt) { delete pkt; }

int zvmp_net_add_msg_to_pkt(zvmp_pkt_s* pkt, unsigned int id, const void* data)
{
    if (pkt == nullptr) return 0;
    std::uint32_t payload = zvmp_msg_payload_size(id);
    if (payload > 0 && data == nullptr) return 0;
    if (pkt->length > ZVMP_PKT_MAX_LENGTH || ZVMP_PKT_MAX_LENGTH - pkt->length < ID_SIZE + payload) return 0;
    auto* at = reinterpret_cast<unsigned char*>(pkt) + pkt->length;
    std::memcpy(at, &id, ID_SIZE);
    if (payload > 0) std::memcpy(at + ID_SIZE, data, payload);
    pkt->length += ID_SIZE + payload;
    ++pkt->msg_count;
    return 1;
}

zvmp_pkt_s* zvmp_net_read_packet(sockaddr_in* from)
{
    zvmp_net_packet_in_len = 0;
    if (!zvmp_network_is_open() || plat_net.readable(zvmp_net_socket) != 1) return nullptr;
    // A fresh packet as the buffer: bytes beyond a short datagram keep our header and zeros.
    zvmp_pkt_ptr pkt(zvmp_net_make_packet());
    if (!pkt) {
        zvmp_close_network();
        return nullptr;
    }
    sockaddr_in sender{};
    long count = plat_net.recv_from(zvmp_net_socket, pkt.get(), ZVMP_PKT_MAX_LENGTH, &sender);
    if (count == PLAT_RECV_DROPPED) {
        ++zvmp_net_state.packets_refused;
        return nullptr;
    }
    if (count < 0) {
        zvmp_net_report_failure("UDP socket closed after a failed receive; re-opening",
                                plat_net.last_error());
        zvmp_close_network();
        return nullptr;
    }
    if (count == 0 || count > static_cast<long>(ZVMP_PKT_MAX_LENGTH)) {
        ++zvmp_net_state.packets_refused;
        return nullptr;
    }
    zvmp_net_packet_in_len = static_cast<unsigned int>(count);
    if (from != nullptr) *from = sender;
    if (pkt->node_type >= TYPE_CODED_LIMIT && pkt->length != zvmp_net_packet_in_len) {
        ++zvmp_net_state.packets_refused;
        return nullptr;
    }
    return pkt.release();
}

void zvmp_net_process_packet(zvmp_pkt_s* pkt, sockaddr_in* from)
{
    if (pkt == nullptr) return;
    // A sender from outside the allowed networks is neither learned nor obeyed.
    if (from != nullptr && !zvmp_sender_allowed(from->sin_addr.s_addr)) {
        ++zvmp_allow_state.refused;
        return;
    }
    if (pkt->node_type < TYPE_CODED_LIMIT) {
        // The type-coded hello: its second word is the sender's node type word.
        if (pkt->node_type == TYPE_CODED_HELLO && from != nullptr) add_sender_as_peer(from, pkt->reserved[0]);
    } else if (pkt->node_type >= FIRST_MESSAGE_NODE_TYPE) {
        walk_messages(pkt, from);
    }
    if (zvmp_net_packet_received_callback != nullptr)
        zvmp_net_packet_received_callback(pkt, from, zvmp_net_packet_in_len);
}

void zvmp_net_process_message(unsigned int id, void* payload, sockaddr_in* from, unsigned int node_type)
{
    if (is_network_message(id) && from != nullptr) {
        if (id == ZVMP_MSG_HELLO) {
            // The type recorded is the header word of the packet, not the hello's payload.
            add_sender_as_peer(from, node_type);
        } else if (id == ZVMP_MSG_REQ_STREAM) {
            zvmp_net_tgt_list_s* peer = sender_peer(from);
            if (peer != nullptr && !(peer->flags & ZVMP_TGT_STREAMING)) {
                peer->flags |= ZVMP_TGT_STREAMING;
                ++zvmp_number_of_stream_peers;
            }
        } else if (id == ZVMP_MSG_STOP_STREAM) {
            zvmp_net_tgt_list_s* peer = sender_peer(from);
            if (peer != nullptr && (peer->flags & ZVMP_TGT_STREAMING)) {
                lower(zvmp_number_of_stream_peers);
                peer->flags &= ~ZVMP_TGT_STREAMING;
            }
        }
    }
    if (zvmp_net_message_received_callback != nullptr) zvmp_net_message_received_callback(id, payload, from);
}

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

void zvmp_close_network()
{
    if (!zvmp_network_is_open()) return;
    plat_net.close(zvmp_net_socket);
    zvmp_net_socket = PLAT_INVALID_SOCKET;
}

int zvmp_network_is_open() { return zvmp_net_socket != PLAT_INVALID_SOCKET ? 1 : 0; }

void zvmp_set_multicast_interface(std::uint32_t addr, const char* text)
{
    ZvmpMulticastInterface& mcast_if = zvmp_net_state.mcast_if;
    mcast_if.set = true;
    mcast_if.addr = addr;
    zvmp_store_init_addr(mcast_if.text, text);
    mcast_if.refusal_shown = false;  // a new address gets its own report
    if (zvmp_network_is_open()) zvmp_apply_multicast_interface(zvmp_net_socket, mcast_if);
}

// ---- Targets and peers ----

void zvmp_add_target_to_list(const char* addr, unsigned int port, zvmp_net_tgt_list_s** list, ZvmpLifetime lifetime,
                             unsigned int node_type)
{
    std::uint32_t a;
    if (list == nullptr || !parse_target(addr, port, a)) return;
    if (list == &zvmp_net_peer_list) {
        add_peer(a, port_n_of(port), lifetime, node_type);
        return;
    }
    const long long now = plat_monotonic_ms();
    const std::uint32_t permanent = lifetime == ZvmpLifetime::permanent ? ZVMP_TGT_PERMANENT : 0;
    zvmp_net_tgt_list_s** link = find_link(list, a, port_n_of(port));
    if (zvmp_net_tgt_list_s* entry = *link; entry != nullptr) {
        entry->node_type = node_type;
        entry->flags |= permanent;
        entry->last_heard = now;
        entry->last_update = now;
        return;
    }
    auto* entry = new (std::nothrow) zvmp_net_tgt_list_s{};
    if (entry == nullptr) return;
    entry->sa.sin_family = AF_INET;
    entry->sa.sin_port = port_n_of(port);
    entry->sa.sin_addr.s_addr = a;
    entry->last_heard = now;
    entry->last_update = now;
    entry->flags = permanent;
    entry->node_type = node_type;
    *link = entry;
}

void zvmp_remove_target_from_list(const char* addr, unsigned int port, zvmp_net_tgt_list_s** list)
{
    std::uint32_t a;
    if (list == nullptr || !parse_target(addr, port, a)) return;
    // The peer list's index tells at once whether a walk is needed.
    if (list == &zvmp_net_peer_list && indexed_peer(a, port_n_of(port)) == nullptr) return;
    zvmp_net_tgt_list_s** link = find_link(list, a, port_n_of(port));
    if (*link != nullptr) remove_entry(link, list);
}

void zvmp_add_multicast_target(const char* addr, unsigned int port)
{
    zvmp_add_target_to_list(addr, port, &zvmp_net_mcast_list, ZvmpLifetime::permanent, ZVMP_MCAST_NODE_TYPE);
}

void zvmp_remove_multicast_target(const char* addr, unsigned int port)
{
    zvmp_remove_target_from_list(addr, port, &zvmp_net_mcast_list);
}

void zvmp_add_peer_target(const char* addr, unsigned int port, unsigned int node_type)
{
    zvmp_add_target_to_list(addr, port, &zvmp_net_peer_list, ZvmpLifetime::permanent, node_type);
}

void zvmp_remove_peer_target(const char* addr, unsigned int port)
{
    zvmp_remove_target_from_list(addr, port, &zvmp_net_peer_list);
}

zvmp_net_tgt_list_s* zvmp_peer_list() { return zvmp_net_peer_list; }

zvmp_net_tgt_list_s* zvmp_peer_with_addr_port(const char* addr, unsigned int port)
{
    std::uint32_t a;
    if (!parse_target(addr, port, a)) return nullptr;
    return indexed_peer(a, port_n_of(port));
}

zvmp_net_tgt_list_s* zvmp_peer_with_sa(const sockaddr_in* sa)
{
    if (sa == nullptr || sa->sin_family != AF_INET) return nullptr;
    return indexed_peer(sa->sin_addr.s_addr, sa->sin_port);
}

unsigned int zvmp_number_of_peers() { return zvmp_peer_count; }

void zvmp_set_peer_cap(unsigned int cap)
{
    if (cap >= 1 && cap <= 0xFFFF) zvmp_net_state.peers.cap = cap;
}

unsigned int zvmp_number_of_learned_peers() { return zvmp_net_state.peers.learned; }

int zvmp_peers_agree()
{
    unsigned int entries = 0, learned = 0, streaming = 0;
    std::unordered_map<std::uint32_t, unsigned int> permanent;
    zvmp_net_tgt_list_s** link = &zvmp_net_peer_list;
    for (; *link != nullptr; link = &(*link)->next) {
        const zvmp_net_tgt_list_s* e = *link;
        ++entries;
        if (!is_permanent(e))
            ++learned;
        else
            ++permanent[e->sa.sin_addr.s_addr];
        if (e->flags & ZVMP_TGT_STREAMING) ++streaming;
        if (indexed_peer(e->sa.sin_addr.s_addr, e->sa.sin_port) != e) return 0;
    }
    return link == zvmp_net_state.peers.tail && entries == zvmp_peer_count && entries == zvmp_net_state.peers.index.size() &&
                   learned == zvmp_net_state.peers.learned && streaming == zvmp_number_of_stream_peers &&
                   permanent == zvmp_allow_state.permanent
               ? 1
               : 0;
}

unsigned int zvmp_number_of_stream_clients() { return zvmp_number_of_stream_peers; }

unsigned int zvmp_number_of_stream_clients_of_type(unsigned int type)
{
    unsigned int n = 0;
    for (zvmp_net_tgt_list_s* e = zvmp_net_peer_list; e != nullptr; e = e->next)
        if ((e->flags & ZVMP_TGT_STREAMING) && (e->node_type & ZVMP_NODE_TYPE_CODE_MASK) == type) ++n;
    return n;
}

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

void zvmp_remove_expired_peers()
{
    long long cutoff = plat_monotonic_ms() - ZVMP_PEER_SILENCE_LIMIT_MS;
    zvmp_net_tgt_list_s** link = &zvmp_net_peer_list;
    while (*link != nullptr) {
        if (!is_permanent(*link) && (*link)->last_heard < cutoff)
            remove_entry(link, &zvmp_net_peer_list);
        else
            link = &(*link)->next;
    }
}

void zvmp_showtime()
{
    long long now = plat_time();
    zvmp_initialise_network(zvmp_init_addr, zvmp_init_port, zvmp_node_type);

    sockaddr_in from{};
    for (unsigned int n = 0; n < ZVMP_MAX_PACKETS_PER_SERVICE; ++n) {
        zvmp_pkt_ptr pkt(zvmp_net_read_packet(&from));
        if (!pkt) break;
        zvmp_net_process_packet(pkt.get(), &from);
    }
    // Any change of second, also a step back of the clock, starts a new pass: comparing with
    // "later than" would keep the node silent until the clock caught up again.
    if (now != zvmp_net_state.last_showtime) {
        zvmp_send_hello_packets();
        zvmp_remove_expired_peers();
        zvmp_net_state.last_showtime = now;
    }
    zvmp_tcp_showtime();
}

unsigned int zvmp_net_receive(unsigned int budget)
{
    sockaddr_in from{};
    unsigned int n = 0;
    for (; n < budget; ++n) {
        unsigned long long refused = zvmp_net_state.packets_refused;
        zvmp_pkt_ptr pkt(zvmp_net_read_packet(&from));
        // A refused datagram counts against the budget and the reading goes on, so that a
        // flood of them cannot wake the loop once per datagram.
        if (!pkt && zvmp_net_state.packets_refused == refused) break;
        if (pkt) zvmp_net_process_packet(pkt.get(), &from);
    }
    return n;
}

void zvmp_net_serve_clock()
{
    long long now = plat_time();
    if (now == zvmp_net_state.last_showtime) return;
    zvmp_initialise_network(zvmp_init_addr, zvmp_init_port, zvmp_node_type);
    zvmp_send_hello_packets();
    zvmp_remove_expired_peers();
    zvmp_net_state.last_showtime = now;
    zvmp_tcp_showtime();
}
