// The ZVMP UDP network: the packet format (a 24-byte header and a run of messages whose ids
// state their payload length), reading and walking received datagrams, the one UDP socket, the
// multicast target and peer lists, hellos, stream subscriptions, peer expiry and the periodic
// service `zvmp_showtime`. Owns the socket, both lists, their counters and the hooks, the index
// that finds a peer by address and port, the bound on learned peers and the multicast interface.
// Datagrams from senders that are not allowed (net/zvmpallow.h) are read and dropped.
// Peers are timed on the monotonic clock, so that a step of the wall clock neither drops nor
// keeps them; the wall clock paces only the once-a-second hellos and expiry passes.
//
// Every header word and message id is a host-order 32-bit word, and payloads travel as they lie
// in memory, so the wire format is little-endian only on a little-endian host.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "net/zvmpsocket.h"
#include "platform/net.h"
#include "protocol/network.h"

static_assert(std::endian::native == std::endian::little, "ZVMP words travel in host order, which must be little-endian");

inline constexpr std::uint32_t ZVMP_PKT_BUFFER_SIZE = 2048;
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

struct zvmp_pkt_s {
    std::uint32_t node_type;
    std::uint32_t reserved[3];
    std::uint32_t length;     // bytes of the whole packet, header included
    std::uint32_t msg_count;  // messages that follow the header
    unsigned char messages[ZVMP_PKT_BUFFER_SIZE - ZVMP_PKT_HEADER_SIZE];
};
static_assert(sizeof(zvmp_pkt_s) == ZVMP_PKT_BUFFER_SIZE);
static_assert(offsetof(zvmp_pkt_s, length) == 16 && offsetof(zvmp_pkt_s, messages) == ZVMP_PKT_HEADER_SIZE);

// Payload bytes stated by a message id: bits 16..23 count 32-bit words.
constexpr std::uint32_t zvmp_msg_payload_size(std::uint32_t id) { return ((id >> 16) & 0xFF) * 4; }

struct zvmp_net_tgt_list_s {
    sockaddr_in sa;               // destination of every send to this entry, network order
    long long last_heard;         // monotonic milliseconds of the last hello, or of the add
    long long last_update;        // monotonic milliseconds of the last add or refresh
    std::uint32_t flags;          // ZVMP_TGT_STREAMING, ZVMP_TGT_PERMANENT
    std::uint32_t node_type;
    zvmp_net_tgt_list_s* next;
};

// Packets: made zeroed with this node's header, freed by their owner.
zvmp_pkt_s* zvmp_net_make_packet();
void zvmp_net_free_packet(zvmp_pkt_s* pkt);
struct zvmp_pkt_deleter {
    void operator()(zvmp_pkt_s* pkt) const { zvmp_net_free_packet(pkt); }
};
using zvmp_pkt_ptr = std::unique_ptr<zvmp_pkt_s, zvmp_pkt_deleter>;

// Appends a message whose payload (as many bytes as `id` states) is copied from `data`; 1 when
// it fitted within ZVMP_PKT_MAX_LENGTH, else 0 with the packet unchanged.
int zvmp_net_add_msg_to_pkt(zvmp_pkt_s* pkt, unsigned int id, const void* data);
// The next valid waiting datagram as a packet, or null when none waits or the one read was
// dropped. Never waits.
zvmp_pkt_s* zvmp_net_read_packet(sockaddr_in* from);
void zvmp_net_process_packet(zvmp_pkt_s* pkt, sockaddr_in* from);
void zvmp_net_process_message(unsigned int id, void* payload, sockaddr_in* from, unsigned int node_type);

// Called for every received message, the network's own included; the payload points into the
// received packet and is valid only during the call.
extern void (*zvmp_net_message_received_callback)(unsigned int id, void* data, sockaddr_in* from);
// Called for every accepted packet, after its messages, with the bytes received.
extern void (*zvmp_net_packet_received_callback)(zvmp_pkt_s* pkt, sockaddr_in* from, unsigned int length);
extern void (*zvmp_net_peer_created_callback)(zvmp_net_tgt_list_s* entry, unsigned int node_type);
// Called for a peer entry about to be freed.
extern void (*zvmp_net_peer_removed_callback)(zvmp_net_tgt_list_s* entry);

extern plat_socket_t zvmp_net_socket;
extern char zvmp_init_addr[ZVMP_ADDR_TEXT_SIZE];
extern unsigned int zvmp_init_port;
extern unsigned int zvmp_node_type;
extern unsigned int zvmp_net_packet_in_len;
extern zvmp_net_tgt_list_s* zvmp_net_mcast_list;
extern zvmp_net_tgt_list_s* zvmp_net_peer_list;
extern unsigned int zvmp_peer_count;
extern unsigned int zvmp_number_of_stream_peers;

// Beside the peer list: the index that finds an entry by address and port, the list's final
// null link (where new entries go), and the bound on learned peers.
struct ZvmpPeerTable {
    std::unordered_map<std::uint64_t, zvmp_net_tgt_list_s*> index;
    zvmp_net_tgt_list_s** tail = &zvmp_net_peer_list;
    unsigned int learned = 0;
    unsigned int cap = ZVMP_DEFAULT_PEER_CAP;
    long long new_second = 0;  // the monotonic second counted in new_this_second
    unsigned int new_this_second = 0;
};

// The network's hidden state.
struct ZvmpNetState {
    ZvmpOpenAttempts open;            // of the socket
    ZvmpMulticastInterface mcast_if;  // applied at every opening
    long long last_showtime = 0;      // wall-clock second of the last hello and expiry pass
    ZvmpPeerTable peers;
    // Counts since start, for the operator's status line: datagrams sent whole, and datagrams
    // read but refused (empty, too long, a length field that differs, or dropped by the system).
    unsigned long long packets_sent = 0;
    unsigned long long packets_refused = 0;
    // Datagrams the system had no room to send; the socket stays open.
    unsigned long long packets_unsent = 0;
};
extern ZvmpNetState zvmp_net_state;

// Opens the socket if closed, at most one attempt per wall-clock second. `addr` null means
// "0.0.0.0"; `port` 0 means the first free port from 59000 to 59999, any other port is bound
// alone and joins 239.224.224.1. Only the type code of `node_type` is kept.
void zvmp_initialise_network(const char* addr, unsigned int port, unsigned int node_type);
void zvmp_join_multicast_group(const char* group);
// Multicast sent from now on (hellos to the groups) leaves through the card holding the local
// address `addr` (network order; `text` is how it was given): applied to the open socket now
// and at every later open. When the system refuses it, the default card is used and the
// refusal is printed, once for each address asked for.
void zvmp_set_multicast_interface(std::uint32_t addr, const char* text);
void zvmp_close_network();
int zvmp_network_is_open();

// How long an entry lives: permanent ones until removed; learned ones until silent for
// ZVMP_PEER_SILENCE_LIMIT_MS (peers only).
enum class ZvmpLifetime { permanent, learned };

// Addresses are dotted IPv4 text, ports host order. Port 0, text that is not an address and
// 255.255.255.255 are refused. An entry added or refreshed is heard now (monotonic clock); a
// learned entry refreshed as permanent becomes so, a permanent one stays so.
void zvmp_add_target_to_list(const char* addr, unsigned int port, zvmp_net_tgt_list_s** list, ZvmpLifetime lifetime,
                             unsigned int node_type);
void zvmp_remove_target_from_list(const char* addr, unsigned int port, zvmp_net_tgt_list_s** list);
void zvmp_add_multicast_target(const char* addr, unsigned int port);
void zvmp_remove_multicast_target(const char* addr, unsigned int port);
void zvmp_add_peer_target(const char* addr, unsigned int port, unsigned int node_type);
void zvmp_remove_peer_target(const char* addr, unsigned int port);
zvmp_net_tgt_list_s* zvmp_peer_list();
zvmp_net_tgt_list_s* zvmp_peer_with_addr_port(const char* addr, unsigned int port);
zvmp_net_tgt_list_s* zvmp_peer_with_sa(const sockaddr_in* sa);
unsigned int zvmp_number_of_peers();
// Learned peers at most (1 to 65535); a lower bound than the peers already learned removes
// none of them.
void zvmp_set_peer_cap(unsigned int cap);
unsigned int zvmp_number_of_learned_peers();
// 1 when the counters, the peer list and its index agree, else 0.
int zvmp_peers_agree();
unsigned int zvmp_number_of_stream_clients();
// Streaming peers whose type code equals that of `type` (code in the top byte, zero below).
unsigned int zvmp_number_of_stream_clients_of_type(unsigned int type);

// As a node that wants data: a hello and a stream request (or stop) to a known peer.
void zvmp_req_stream_data_from(const char* addr, unsigned int port);
void zvmp_stop_stream_data_from(const char* addr, unsigned int port);

// A failed or short send closes the socket; later sends then do nothing until it re-opens.
void zvmp_net_send_to_target(const void* data, unsigned int length, zvmp_net_tgt_list_s* target);
void zvmp_net_send_to_all_tgts(const zvmp_pkt_s* pkt, zvmp_net_tgt_list_s* first);
// To every streaming peer, or with `type` not 0 to those of that type code.
void zvmp_net_send_to_stream_peers(const zvmp_pkt_s* pkt, unsigned int type);

void zvmp_send_hello_packets();
void zvmp_remove_expired_peers();
// The network service, called from the main loop: re-open the socket if needed, read and walk
// every waiting packet, once a wall-clock second send hellos and expire silent peers, then
// service the TCP server.
void zvmp_showtime();
// The receiving part of the service, for a socket found readable between passes: reads and
// walks at most `budget` datagrams, refused ones included; returns how many it read.
unsigned int zvmp_net_receive(unsigned int budget);
// The wall-clock part of the service, for when no pass runs: once per wall-clock second (when
// the second differs from that of the last hellos) re-open the socket if needed, send hellos,
// expire silent peers and service the TCP server. Nothing otherwise.
void zvmp_net_serve_clock();
