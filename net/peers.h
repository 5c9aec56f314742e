// The multicast targets and the peers: adding, refreshing, removing and finding entries, the
// index that finds a peer by address and port, the bound and the rate on learned peers, stream
// subscriptions, their counters, and the expiry of silent peers. Peers are timed on the
// monotonic clock, so that a step of the wall clock neither drops nor keeps them. The lists live
// in the network's state (net/state.h).
#pragma once

#include "net/state.h"
#include "platform/net.h"

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

// A datagram's sender said hello with the node type word `node_type`: it becomes a learned peer
// (within the bound and the rate), or its entry is refreshed. Port 0 and 255.255.255.255 are
// refused.
void zvmp_peer_heard(const sockaddr_in* from, unsigned int node_type);
// A datagram's sender asked for the stream (`streaming`) or stopped it: a known peer is marked
// so and counted once; anyone else changes nothing.
void zvmp_peer_stream(const sockaddr_in* from, bool streaming);

void zvmp_remove_expired_peers();
