// The living side of the ZVMP UDP network: the one socket (opening it on the port range,
// re-opening it after a failure, the multicast group and card), sending datagrams to targets and
// streaming peers, asking a peer for the stream, hellos, and the periodic service that the main
// loop calls: the one read loop over waiting datagrams, and the once-a-second hellos and expiry
// on the wall clock. Everything runs on the main loop's thread.
#pragma once

#include <cstdint>

#include "net/packet.h"
#include "net/peers.h"

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

// As a node that wants data: a hello and a stream request (or stop) to a known peer.
void zvmp_req_stream_data_from(const char* addr, unsigned int port);
void zvmp_stop_stream_data_from(const char* addr, unsigned int port);

// A failed or short send closes the socket; later sends then do nothing until it re-opens.
void zvmp_net_send_to_target(const void* data, unsigned int length, zvmp_net_tgt_list_s* target);
void zvmp_net_send_to_all_tgts(const zvmp_pkt_s* pkt, zvmp_net_tgt_list_s* first);
// To every streaming peer, or with `type` not 0 to those of that type code.
void zvmp_net_send_to_stream_peers(const zvmp_pkt_s* pkt, unsigned int type);

void zvmp_send_hello_packets();
// The network service, called from the main loop: re-open the socket if needed, read and walk
// the waiting datagrams (zvmp_net_receive, at most ZVMP_MAX_PACKETS_PER_SERVICE), once a
// wall-clock second send hellos and expire silent peers, then service the TCP server.
void zvmp_showtime();
// The read loop: reads and walks the waiting datagrams until none is left or `budget` have been
// read, refused ones included (a refused datagram costs itself only: the reading goes on past
// it). Returns how many it read. The service calls it, the main loop calls it for a socket
// found readable between passes, and so does the monitor's node.
unsigned int zvmp_net_receive(unsigned int budget);
// The wall-clock part of the service, for when no pass runs: once per wall-clock second (when
// the second differs from that of the last hellos) re-open the socket if needed, send hellos,
// expire silent peers and service the TCP server. Nothing otherwise.
void zvmp_net_serve_clock();
