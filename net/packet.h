// ZVMP packets: the 24-byte header and a run of messages whose ids state their payload length;
// making one and appending messages; reading a datagram from the network's socket and checking
// it; walking a received packet message by message, acting on the network's own messages (the
// sender as a peer, its stream subscription) and handing every message to the hook. Datagrams
// from senders that are not allowed (net/zvmpallow.h) are read and dropped.
//
// Every header word and message id is a host-order 32-bit word, and payloads travel as they lie
// in memory, so the wire format is little-endian only on a little-endian host.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/net.h"
#include "protocol/network.h"

static_assert(std::endian::native == std::endian::little, "ZVMP words travel in host order, which must be little-endian");

inline constexpr std::uint32_t ZVMP_PKT_BUFFER_SIZE = 2048;

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

// What one read of the socket found.
enum class ZvmpRead {
    packet,   // a valid datagram, now in the packet handed over
    refused,  // a datagram read and dropped: empty, too long, a length field that differs, or
              // dropped by the system; counted in packets_refused
    nothing,  // none waiting, the socket closed, or closed now after a failed receive
};
// Reads the next waiting datagram, without waiting; `from` gets the sender of a valid one.
ZvmpRead zvmp_net_read(sockaddr_in* from, zvmp_pkt_ptr& pkt);
// The next valid waiting datagram as a packet, or null when none waits or the one read was
// refused. Never waits.
zvmp_pkt_s* zvmp_net_read_packet(sockaddr_in* from);
void zvmp_net_process_packet(zvmp_pkt_s* pkt, sockaddr_in* from);
void zvmp_net_process_message(unsigned int id, void* payload, sockaddr_in* from, unsigned int node_type);
