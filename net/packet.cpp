// ZVMP packets: making, appending, reading from the socket and walking (see packet.h). Reads
// only poll the socket: the main loop waits on it between passes.
#include "net/packet.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "net/peers.h"
#include "net/state.h"
#include "net/zvmpallow.h"
#include "net/zvmpsocket.h"

namespace {

constexpr std::uint32_t ID_SIZE = 4;
// Packets whose first word is below this carry a type code instead of a header.
constexpr std::uint32_t TYPE_CODED_LIMIT = 256;
constexpr std::uint32_t TYPE_CODED_HELLO = 1;
// Header packets below this first word pass the reading checks but hold no messages we walk.
constexpr std::uint32_t FIRST_MESSAGE_NODE_TYPE = 0x00040000;

bool is_network_message(std::uint32_t id)
{
    return (id & 0xF0000000) == 0 && ((id >> 8) & 0xFF) == ZVMP_NETWORK_GROUP;
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

ZvmpRead refuse()
{
    ++zvmp_net_state.packets_refused;
    return ZvmpRead::refused;
}

}  // namespace

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

ZvmpRead zvmp_net_read(sockaddr_in* from, zvmp_pkt_ptr& pkt)
{
    pkt.reset();
    zvmp_net_packet_in_len = 0;
    if (!zvmp_net_socket.is_open() || plat_net.readable(zvmp_net_socket) != 1) return ZvmpRead::nothing;
    // A fresh packet as the buffer: bytes beyond a short datagram keep our header and zeros.
    zvmp_pkt_ptr buffer(zvmp_net_make_packet());
    if (!buffer) {
        zvmp_net_socket.reset();
        return ZvmpRead::nothing;
    }
    sockaddr_in sender{};
    long count = plat_net.recv_from(zvmp_net_socket, buffer.get(), ZVMP_PKT_MAX_LENGTH, &sender);
    if (count == PLAT_RECV_DROPPED) return refuse();
    if (count < 0) {
        zvmp_net_report_failure("UDP socket closed after a failed receive; re-opening", plat_net.last_error());
        zvmp_net_socket.reset();
        return ZvmpRead::nothing;
    }
    if (count == 0 || count > static_cast<long>(ZVMP_PKT_MAX_LENGTH)) return refuse();
    zvmp_net_packet_in_len = static_cast<unsigned int>(count);
    if (from != nullptr) *from = sender;
    if (buffer->node_type >= TYPE_CODED_LIMIT && buffer->length != zvmp_net_packet_in_len) return refuse();
    pkt = std::move(buffer);
    return ZvmpRead::packet;
}

zvmp_pkt_s* zvmp_net_read_packet(sockaddr_in* from)
{
    zvmp_pkt_ptr pkt;
    zvmp_net_read(from, pkt);
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
        if (pkt->node_type == TYPE_CODED_HELLO && from != nullptr) zvmp_peer_heard(from, pkt->reserved[0]);
    } else if (pkt->node_type >= FIRST_MESSAGE_NODE_TYPE) {
        walk_messages(pkt, from);
    }
    if (zvmp_net_packet_received_callback != nullptr)
        zvmp_net_packet_received_callback(pkt, from, zvmp_net_packet_in_len);
}

void zvmp_net_process_message(unsigned int id, void* payload, sockaddr_in* from, unsigned int node_type)
{
    if (is_network_message(id) && from != nullptr) {
        // The type recorded is the header word of the packet, not the hello's payload.
        if (id == ZVMP_MSG_HELLO) zvmp_peer_heard(from, node_type);
        if (id == ZVMP_MSG_REQ_STREAM) zvmp_peer_stream(from, true);
        if (id == ZVMP_MSG_STOP_STREAM) zvmp_peer_stream(from, false);
    }
    if (zvmp_net_message_received_callback != nullptr) zvmp_net_message_received_callback(id, payload, from);
}
