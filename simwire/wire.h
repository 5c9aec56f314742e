// The simulator's own TCP protocol ("remote SimConnect"), its numbers: the two headers, the
// request types this program uses with the size each has on the wire, the protocol numbers and
// what an Open says for each, the bound on a message, and the little-endian loads and stores
// every encoder and decoder of simwire/ writes the bytes with. The layouts are those
// node-simconnect 4.2.0 sends and reads, and agree with platform/SimConnect.h's records.
//
// The stream, in both directions: messages back to back, each starting with its size in bytes
// (the whole message, header included), all words little-endian, strings in fixed fields padded
// with NULs. A client's request: size, protocol, 0xF0000000 | type, send id (16 bytes), then its
// fields. A server's message: size, version (the client's protocol number), id (a
// SIMCONNECT_RECV_ID), then the rest of its SIMCONNECT_RECV_* record.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

inline constexpr std::uint32_t ZVSW_REQUEST_HEADER = 16;
inline constexpr std::uint32_t ZVSW_MESSAGE_HEADER = 12;
// A size field above this, or below its header's size, makes the stream malformed.
inline constexpr std::uint32_t ZVSW_MAX_SIZE = 1u << 20;
// The mark over the request type in a request's third word.
inline constexpr std::uint32_t ZVSW_TYPE_MARK = 0xF0000000u;
// Names and units: a fixed field of 256 bytes, at most 255 of them the text, always a NUL after.
inline constexpr std::size_t ZVSW_NAME_FIELD = 256;

// Protocol numbers, as the client states them in every request and the server in every message.
enum ZvswProtocol : std::uint32_t {
    ZVSW_PROTOCOL_FSX_SP2 = 4,
    ZVSW_PROTOCOL_KITTYHAWK = 5,  // the 2020 simulator
    ZVSW_PROTOCOL_SUNRISE = 6,    // the 2024 simulator
};

// Request types (the third word without ZVSW_TYPE_MARK), and the size each has on the wire.
enum ZvswRequestType : std::uint32_t {
    ZVSW_OPEN = 0x01,
    ZVSW_MAP_CLIENT_EVENT_TO_SIM_EVENT = 0x04,
    ZVSW_TRANSMIT_CLIENT_EVENT = 0x05,
    ZVSW_ADD_TO_DATA_DEFINITION = 0x0C,
    ZVSW_REQUEST_DATA_ON_SIM_OBJECT = 0x0E,
    ZVSW_SUBSCRIBE_TO_SYSTEM_EVENT = 0x17,
};
inline constexpr std::uint32_t ZVSW_OPEN_SIZE = 296;
inline constexpr std::uint32_t ZVSW_MAP_CLIENT_EVENT_TO_SIM_EVENT_SIZE = 276;
inline constexpr std::uint32_t ZVSW_TRANSMIT_CLIENT_EVENT_SIZE = 36;
inline constexpr std::uint32_t ZVSW_ADD_TO_DATA_DEFINITION_SIZE = 544;
inline constexpr std::uint32_t ZVSW_REQUEST_DATA_ON_SIM_OBJECT_SIZE = 48;
inline constexpr std::uint32_t ZVSW_SUBSCRIBE_TO_SYSTEM_EVENT_SIZE = 276;
// The largest of them, for a buffer that takes any.
inline constexpr std::uint32_t ZVSW_MAX_REQUEST_SIZE = ZVSW_ADD_TO_DATA_DEFINITION_SIZE;

// The size a request of `type` has, the same for protocols 4, 5 and 6; 0 for a type not listed.
inline constexpr std::uint32_t zvsw_request_size(std::uint32_t type)
{
    switch (type) {
    case ZVSW_OPEN: return ZVSW_OPEN_SIZE;
    case ZVSW_MAP_CLIENT_EVENT_TO_SIM_EVENT: return ZVSW_MAP_CLIENT_EVENT_TO_SIM_EVENT_SIZE;
    case ZVSW_TRANSMIT_CLIENT_EVENT: return ZVSW_TRANSMIT_CLIENT_EVENT_SIZE;
    case ZVSW_ADD_TO_DATA_DEFINITION: return ZVSW_ADD_TO_DATA_DEFINITION_SIZE;
    case ZVSW_REQUEST_DATA_ON_SIM_OBJECT: return ZVSW_REQUEST_DATA_ON_SIM_OBJECT_SIZE;
    case ZVSW_SUBSCRIBE_TO_SYSTEM_EVENT: return ZVSW_SUBSCRIBE_TO_SYSTEM_EVENT_SIZE;
    default: return 0;
    }
}

// What a client's Open says of itself after its name: four bytes that name the protocol
// (a NUL, then two or three letters) and the version of the client library it stands for.
struct ZvswIdentity {
    std::uint8_t magic[4];
    std::uint32_t version_major, version_minor, build_major, build_minor;
};
inline constexpr ZvswIdentity ZVSW_IDENTITY_FSX_SP2 = {{0, 'X', 'S', 'F'}, 10, 0, 61259, 0};
inline constexpr ZvswIdentity ZVSW_IDENTITY_KITTYHAWK = {{0, 'H', 'K', 0}, 11, 0, 62651, 3};
inline constexpr ZvswIdentity ZVSW_IDENTITY_SUNRISE = {{0, 'R', 'S', 0}, 12, 2, 282174, 999};

// The identity node-simconnect sends with `protocol`; null for a protocol other than 4, 5 or 6.
inline constexpr const ZvswIdentity* zvsw_identity(std::uint32_t protocol)
{
    switch (protocol) {
    case ZVSW_PROTOCOL_FSX_SP2: return &ZVSW_IDENTITY_FSX_SP2;
    case ZVSW_PROTOCOL_KITTYHAWK: return &ZVSW_IDENTITY_KITTYHAWK;
    case ZVSW_PROTOCOL_SUNRISE: return &ZVSW_IDENTITY_SUNRISE;
    default: return nullptr;
    }
}

// Little-endian words at any address, whatever the machine's order and alignment.
inline std::uint32_t zvsw_get_u32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline void zvsw_put_u32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline float zvsw_get_f32(const std::uint8_t* p) { return std::bit_cast<float>(zvsw_get_u32(p)); }
inline void zvsw_put_f32(std::uint8_t* p, float v) { zvsw_put_u32(p, std::bit_cast<std::uint32_t>(v)); }

// A fixed name field: the text cut at 255 bytes, then NULs to the end of the field.
inline void zvsw_put_name(std::uint8_t* field, std::string_view text)
{
    std::size_t n = text.size() < ZVSW_NAME_FIELD - 1 ? text.size() : ZVSW_NAME_FIELD - 1;
    if (n != 0) std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, ZVSW_NAME_FIELD - n);
}
// The text of a fixed name field: up to its first NUL, or all 256 bytes when it has none (as
// node-simconnect sends a name of exactly 256 bytes). It points into the field.
inline std::string_view zvsw_get_name(const std::uint8_t* field)
{
    const void* nul = std::memchr(field, 0, ZVSW_NAME_FIELD);
    std::size_t n = nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - field) : ZVSW_NAME_FIELD;
    return {reinterpret_cast<const char*>(field), n};
}
// A C string as a name, a null pointer as the empty name (an all-NUL field).
inline std::string_view zvsw_text(const char* s) { return s ? std::string_view(s) : std::string_view(); }
