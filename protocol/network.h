// The ZVMP network's own numbers, which every node shares: the packet's size limits, node type
// words and their type codes, the network's own messages, the multicast group and ports that
// hellos go to, and the port range a program binds. The program, the monitor and the copies in
// other languages (zvmp-catalogue) take them from here. No state.
#pragma once

#include <array>
#include <cstdint>

// A packet is a header of six 32-bit words and then messages; none on the wire is longer than
// the receive size.
inline constexpr std::uint32_t ZVMP_PKT_HEADER_SIZE = 24;
inline constexpr std::uint32_t ZVMP_PKT_MAX_LENGTH = 1472;

// Node type words: a type code in bits 24..31, the protocol version in bits 16..23, zero below.
// Words are compared by their type code alone, written in the top byte with zero below.
inline constexpr std::uint32_t ZVMP_PROTOCOL_VERSION = 6;
inline constexpr std::uint32_t ZVMP_PROTOCOL_VERSION_BITS = ZVMP_PROTOCOL_VERSION << 16;
inline constexpr std::uint32_t ZVMP_NODE_TYPE_CODE_MASK = 0xFF000000;
inline constexpr std::uint32_t ZVMP_NODE_PROGRAM = 0x13000000;         // this program
inline constexpr std::uint32_t ZVMP_NODE_MULTICAST = 0x80000000;       // given to each multicast target
inline constexpr std::uint32_t ZVMP_NODE_FULL_PANEL = 0x81000000;      // a panel sent the full data
inline constexpr std::uint32_t ZVMP_NODE_POSITION_PANEL = 0x84000000;  // a panel sent the position data

// The word a node of type `type` (code in the top byte) carries: its code and the version.
constexpr std::uint32_t zvmp_node_word(std::uint32_t type)
{
    return (type & ZVMP_NODE_TYPE_CODE_MASK) | ZVMP_PROTOCOL_VERSION_BITS;
}
static_assert(zvmp_node_word(ZVMP_NODE_PROGRAM) == 0x13060000);

// The network's own messages: class 0 (bits 28..31) and group 0x01.
inline constexpr unsigned int ZVMP_NETWORK_GROUP = 0x01;
inline constexpr std::uint32_t ZVMP_MSG_HELLO = 0x02010101;        // one word: the sender's node type word
inline constexpr std::uint32_t ZVMP_MSG_REQ_STREAM = 0x01000102;   // no payload
inline constexpr std::uint32_t ZVMP_MSG_STOP_STREAM = 0x01000103;  // no payload

// A program says hello to this group on these ports; a panel given to it by address is said
// hello to as a full-data panel on the first and as a position panel on the third.
inline constexpr const char* ZVMP_MCAST_GROUP = "239.224.224.1";
inline constexpr std::array<unsigned int, 3> ZVMP_MCAST_PORTS = {2424, 2425, 2426};
inline constexpr unsigned int ZVMP_FULL_PANEL_PORT = ZVMP_MCAST_PORTS[0];
inline constexpr unsigned int ZVMP_POSITION_PANEL_PORT = ZVMP_MCAST_PORTS[2];

// A program asked for no port binds the first free one of this range.
inline constexpr unsigned int ZVMP_FIRST_PORT = 59000;
inline constexpr unsigned int ZVMP_LAST_PORT = 59999;

// Names of the numbers above, as the tools show them.
struct ZvmpNamed {
    std::uint32_t value;
    const char* name;
};
// Node type codes (the top byte alone).
inline constexpr ZvmpNamed ZVMP_NODE_TYPE_NAMES[] = {
    {ZVMP_NODE_PROGRAM >> 24, "Pyx plugin"},
    {ZVMP_NODE_MULTICAST >> 24, "multicast target"},
    {ZVMP_NODE_FULL_PANEL >> 24, "panel, full data"},
    {ZVMP_NODE_POSITION_PANEL >> 24, "panel, position data"},
};
inline constexpr ZvmpNamed ZVMP_NETWORK_MESSAGE_NAMES[] = {
    {ZVMP_MSG_HELLO, "hello"},
    {ZVMP_MSG_REQ_STREAM, "stream request"},
    {ZVMP_MSG_STOP_STREAM, "stream stop"},
};
// The kinds (top bytes) of the network's own messages.
inline constexpr ZvmpNamed ZVMP_NETWORK_KIND_NAMES[] = {
    {ZVMP_MSG_REQ_STREAM >> 24, "network, no payload"},
    {ZVMP_MSG_HELLO >> 24, "network, one word"},
};
