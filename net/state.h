// The ZVMP UDP network's state in one struct, and what it holds: the one UDP socket and how it
// was asked to open, the multicast target and peer lists with the index, bound and counters of
// the peers, the byte count of the datagram last read, the counts behind the operator's status
// line, and the hooks. Assigning a fresh ZvmpNetState resets the whole network: the socket is
// closed and every list entry freed. The names other modules and the tests use (zvmp_net_socket,
// zvmp_net_peer_list, zvmp_net_message_received_callback, ...) stay as references into it.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <utility>

#include "net/zvmpsocket.h"
#include "platform/net.h"
#include "protocol/network.h"

struct zvmp_pkt_s;

// Datagrams read by one service call at most, so that a flood cannot hold up the main loop;
// the rest wait for the next call.
inline constexpr unsigned int ZVMP_MAX_PACKETS_PER_SERVICE = 256;
// Node type word given to every multicast target.
inline constexpr std::uint32_t ZVMP_MCAST_NODE_TYPE = zvmp_node_word(ZVMP_NODE_MULTICAST);

// Bits of zvmp_net_tgt_list_s::flags: the peer has asked for the stream; the entry is
// permanent (added by hand: never expires, never counts against the bound, never replaced).
inline constexpr std::uint32_t ZVMP_TGT_STREAMING = 0x1;
inline constexpr std::uint32_t ZVMP_TGT_PERMANENT = 0x2;

// Learned peers (those added by a hello) at most, unless set otherwise.
inline constexpr unsigned int ZVMP_DEFAULT_PEER_CAP = 256;
// New learned peers accepted in one second at most.
inline constexpr unsigned int ZVMP_NEW_PEERS_PER_SECOND = 64;
// A streaming peer silent this long may give its place to a new one.
inline constexpr long long ZVMP_IDLE_STREAM_MS = 5000;
// A learned peer silent for longer than this is dropped.
inline constexpr long long ZVMP_PEER_SILENCE_LIMIT_MS = 60000;

struct zvmp_net_tgt_list_s {
    sockaddr_in sa;               // destination of every send to this entry, network order
    long long last_heard;         // monotonic milliseconds of the last hello, or of the add
    long long last_update;        // monotonic milliseconds of the last add or refresh
    std::uint32_t flags;          // ZVMP_TGT_STREAMING, ZVMP_TGT_PERMANENT
    std::uint32_t node_type;
    zvmp_net_tgt_list_s* next;
};

// A list of target entries that owns them: each is freed with the list, or when the list is
// assigned another.
struct ZvmpTargetList {
    zvmp_net_tgt_list_s* head = nullptr;

    ZvmpTargetList() = default;
    ZvmpTargetList(ZvmpTargetList&& other) noexcept : head(std::exchange(other.head, nullptr)) {}
    ZvmpTargetList& operator=(ZvmpTargetList&& other) noexcept
    {
        if (this != &other) {
            clear();
            head = std::exchange(other.head, nullptr);
        }
        return *this;
    }
    ZvmpTargetList(const ZvmpTargetList&) = delete;
    ZvmpTargetList& operator=(const ZvmpTargetList&) = delete;
    ~ZvmpTargetList() { clear(); }

    void clear() noexcept
    {
        while (zvmp_net_tgt_list_s* e = head) {
            head = e->next;
            delete e;
        }
    }
};

// Beside the peer list: the index that finds an entry by address and port, the list's final
// null link (where new entries go; null while that is the list's head), and the bound on
// learned peers.
struct ZvmpPeerTable {
    std::unordered_map<std::uint64_t, zvmp_net_tgt_list_s*> index;
    zvmp_net_tgt_list_s** tail = nullptr;
    unsigned int learned = 0;
    unsigned int cap = ZVMP_DEFAULT_PEER_CAP;
    long long new_second = 0;  // the monotonic second counted in new_this_second
    unsigned int new_this_second = 0;
};

// Called for every received message, the network's own included; the payload points into the
// received packet and is valid only during the call.
using ZvmpMessageHook = void (*)(unsigned int id, void* data, sockaddr_in* from);
// Called for every accepted packet, after its messages, with the bytes received.
using ZvmpPacketHook = void (*)(zvmp_pkt_s* pkt, sockaddr_in* from, unsigned int length);
using ZvmpPeerCreatedHook = void (*)(zvmp_net_tgt_list_s* entry, unsigned int node_type);
// Called for a peer entry about to be freed.
using ZvmpPeerRemovedHook = void (*)(zvmp_net_tgt_list_s* entry);

struct ZvmpNetState {
    // The socket (net/service.h): the address and port it was asked to open on, this node's
    // type code, the attempts to open it, the card multicast leaves through, and the wall-clock
    // second of the last hello and expiry pass.
    PlatSocket zvmp_net_socket;
    char zvmp_init_addr[ZVMP_ADDR_TEXT_SIZE] = "";
    unsigned int zvmp_init_port = 0;
    unsigned int zvmp_node_type = 0;
    ZvmpOpenAttempts open;
    ZvmpMulticastInterface mcast_if;
    long long last_showtime = 0;
    // Reading (net/packet.h): the bytes of the datagram last read, 0 when it gave none.
    unsigned int zvmp_net_packet_in_len = 0;
    // Targets and peers (net/peers.h).
    ZvmpTargetList zvmp_net_mcast_list;
    ZvmpTargetList zvmp_net_peer_list;
    unsigned int zvmp_peer_count = 0;
    unsigned int zvmp_number_of_stream_peers = 0;
    ZvmpPeerTable peers;
    // Counts since start, for the operator's status line: datagrams sent whole, and datagrams
    // read but refused (empty, too long, a length field that differs, or dropped by the system).
    unsigned long long packets_sent = 0;
    unsigned long long packets_refused = 0;
    // Datagrams the system had no room to send; the socket stays open.
    unsigned long long packets_unsent = 0;
    // Hooks, null until the application sets them.
    ZvmpMessageHook zvmp_net_message_received_callback = nullptr;
    ZvmpPacketHook zvmp_net_packet_received_callback = nullptr;
    ZvmpPeerCreatedHook zvmp_net_peer_created_callback = nullptr;
    ZvmpPeerRemovedHook zvmp_net_peer_removed_callback = nullptr;
};
extern ZvmpNetState& zvmp_net_state;

// The network's names, into zvmp_net_state.
extern PlatSocket& zvmp_net_socket;
extern char (&zvmp_init_addr)[ZVMP_ADDR_TEXT_SIZE];
extern unsigned int& zvmp_init_port;
extern unsigned int& zvmp_node_type;
extern unsigned int& zvmp_net_packet_in_len;
extern zvmp_net_tgt_list_s*& zvmp_net_mcast_list;
extern zvmp_net_tgt_list_s*& zvmp_net_peer_list;
extern unsigned int& zvmp_peer_count;
extern unsigned int& zvmp_number_of_stream_peers;
extern ZvmpMessageHook& zvmp_net_message_received_callback;
extern ZvmpPacketHook& zvmp_net_packet_received_callback;
extern ZvmpPeerCreatedHook& zvmp_net_peer_created_callback;
extern ZvmpPeerRemovedHook& zvmp_net_peer_removed_callback;
