// The multicast targets and the peers (see peers.h).
#include "net/peers.h"

#include <new>

#include "net/zvmpallow.h"
#include "platform/clock.h"

namespace {

ZvmpPeerTable& table() { return zvmp_net_state.peers; }

void lower(unsigned int& counter)
{
    if (counter > 0) --counter;
}

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

// The peer list's final null link, where a new entry goes.
zvmp_net_tgt_list_s** peer_tail() { return table().tail != nullptr ? table().tail : &zvmp_net_peer_list; }

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
    auto it = table().index.find(peer_key(addr, port_n));
    return it != table().index.end() ? it->second : nullptr;
}

void remove_entry(zvmp_net_tgt_list_s** link, zvmp_net_tgt_list_s** list)
{
    zvmp_net_tgt_list_s* entry = *link;
    if (list == &zvmp_net_peer_list && peer_tail() == &entry->next) table().tail = link == list ? nullptr : link;
    *link = entry->next;
    if (list == &zvmp_net_peer_list) {
        table().index.erase(peer_key(entry->sa.sin_addr.s_addr, entry->sa.sin_port));
        if (entry->flags & ZVMP_TGT_PERMANENT)
            zvmp_allow_permanent_removed(entry->sa.sin_addr.s_addr);
        else
            lower(table().learned);
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
    ZvmpPeerTable& peers = table();
    const long long second = now_ms / 1000;
    if (second != peers.new_second) {
        peers.new_second = second;
        peers.new_this_second = 0;
    }
    if (peers.new_this_second >= ZVMP_NEW_PEERS_PER_SECOND) {
        ++zvmp_allow_state.refused;
        return false;
    }
    if (peers.learned >= peers.cap) {
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
    ++peers.new_this_second;
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
    ZvmpPeerTable& peers = table();
    const bool permanent = lifetime == ZvmpLifetime::permanent;
    const long long now = plat_monotonic_ms();
    if (zvmp_net_tgt_list_s* entry = indexed_peer(addr, port_n); entry != nullptr) {
        // A permanent entry stays permanent; a learned one refreshed as permanent becomes so.
        if (permanent && !is_permanent(entry)) {
            if (!note_permanent(addr)) return;
            lower(peers.learned);
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
        peers.index.emplace(key, entry);
    } catch (const std::bad_alloc&) {
        delete entry;
        return;
    }
    if (permanent && !note_permanent(addr)) {
        peers.index.erase(key);
        delete entry;
        return;
    }
    *peer_tail() = entry;
    peers.tail = &entry->next;
    if (!permanent) ++peers.learned;
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

}  // namespace

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
    if (cap >= 1 && cap <= 0xFFFF) table().cap = cap;
}

unsigned int zvmp_number_of_learned_peers() { return table().learned; }

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
    return link == peer_tail() && entries == zvmp_peer_count && entries == table().index.size() &&
                   learned == table().learned && streaming == zvmp_number_of_stream_peers &&
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

void zvmp_peer_heard(const sockaddr_in* from, unsigned int node_type)
{
    std::uint32_t addr;
    std::uint16_t port_n;
    if (sender_key(from, addr, port_n)) add_peer(addr, port_n, ZvmpLifetime::learned, node_type);
}

void zvmp_peer_stream(const sockaddr_in* from, bool streaming)
{
    std::uint32_t addr;
    std::uint16_t port_n;
    zvmp_net_tgt_list_s* peer = sender_key(from, addr, port_n) ? indexed_peer(addr, port_n) : nullptr;
    if (peer == nullptr || ((peer->flags & ZVMP_TGT_STREAMING) != 0) == streaming) return;
    if (streaming) {
        peer->flags |= ZVMP_TGT_STREAMING;
        ++zvmp_number_of_stream_peers;
    } else {
        lower(zvmp_number_of_stream_peers);
        peer->flags &= ~ZVMP_TGT_STREAMING;
    }
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
