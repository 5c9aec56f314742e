// A server's messages on the wire, the records of platform/SimConnect.h behind the 12-byte
// header: encoders for the records a server sends (the server's side), and the aligned copy a
// client hands its dispatch procedure (the client's side).
//
// Encoders write the whole message into `out`, which must have room for it, and return its size.
// `version` goes into the header's second word: the client's protocol number. The record's own
// dwSize, dwVersion and dwID are not read: each encoder writes its record's.
//
// A client takes a message from its reader (simwire/stream.h) and hands its dispatch procedure
// zvsw_aligned_copy(copy, bytes, size), with `size` as the message's size, as the simulator's
// library hands over a message as it was received: the records' fields are then read through
// the SIMCONNECT_RECV_* structs, and a data block at dwData sits on an 8-byte boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/SimConnect.h"
#include "simwire/wire.h"

inline constexpr std::uint32_t ZVSW_RECV_OPEN_SIZE = 308;
inline constexpr std::uint32_t ZVSW_RECV_QUIT_SIZE = 12;
inline constexpr std::uint32_t ZVSW_RECV_EVENT_SIZE = 24;
inline constexpr std::uint32_t ZVSW_RECV_EXCEPTION_SIZE = 24;
// An object-data message without data; its data follows (SIMOBJECT_DATA_HEADER_SIZE).
inline constexpr std::uint32_t ZVSW_RECV_SIMOBJECT_DATA_SIZE = 40;
// The most data bytes one object-data message carries under ZVSW_MAX_SIZE.
inline constexpr std::uint32_t ZVSW_MAX_DATA = ZVSW_MAX_SIZE - ZVSW_RECV_SIMOBJECT_DATA_SIZE;

static_assert(ZVSW_RECV_OPEN_SIZE == sizeof(SIMCONNECT_RECV_OPEN));
static_assert(ZVSW_RECV_QUIT_SIZE == sizeof(SIMCONNECT_RECV_QUIT) && ZVSW_RECV_QUIT_SIZE == ZVSW_MESSAGE_HEADER);
static_assert(ZVSW_RECV_EVENT_SIZE == sizeof(SIMCONNECT_RECV_EVENT));
static_assert(ZVSW_RECV_EXCEPTION_SIZE == sizeof(SIMCONNECT_RECV_EXCEPTION));
static_assert(ZVSW_RECV_SIMOBJECT_DATA_SIZE == SIMOBJECT_DATA_HEADER_SIZE);

// A message's header.
struct ZvswMessageHeader {
    std::uint32_t size = 0;
    std::uint32_t version = 0;
    std::uint32_t id = 0;  // SIMCONNECT_RECV_ID
};
// From the first 12 bytes of a message; false (and `h` untouched) when `size` is shorter.
bool zvsw_decode_message_header(const std::uint8_t* bytes, std::size_t size, ZvswMessageHeader& h);

std::uint32_t zvsw_encode_record(std::uint8_t* out, std::uint32_t version, const SIMCONNECT_RECV_OPEN& r);
std::uint32_t zvsw_encode_record(std::uint8_t* out, std::uint32_t version, const SIMCONNECT_RECV_QUIT& r);
std::uint32_t zvsw_encode_record(std::uint8_t* out, std::uint32_t version, const SIMCONNECT_RECV_EVENT& r);
std::uint32_t zvsw_encode_record(std::uint8_t* out, std::uint32_t version, const SIMCONNECT_RECV_EXCEPTION& r);
// The object-data fields of `r` (its dwData aside), then `data_size` bytes of `data`:
// ZVSW_RECV_SIMOBJECT_DATA_SIZE + data_size bytes. Writes nothing and returns 0 when
// data_size is above ZVSW_MAX_DATA.
std::uint32_t zvsw_encode_record(std::uint8_t* out, std::uint32_t version, const SIMCONNECT_RECV_SIMOBJECT_DATA& r,
                                 const void* data, std::uint32_t data_size);

// A message's copy on a boundary fit for any record, reused from message to message (it grows
// to the largest message and stays so). A fresh struct frees it.
struct ZvswAligned {
    std::vector<std::max_align_t> words;
};
// Copies the `size` bytes of a message into `copy` and returns the copy, valid until the next
// call with the same `copy`. Past `size` the copy holds zeros, at least to ZVSW_MESSAGE_HEADER
// bytes (a reader hands nothing shorter).
SIMCONNECT_RECV* zvsw_aligned_copy(ZvswAligned& copy, const std::uint8_t* bytes, std::size_t size);
