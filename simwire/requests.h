// A client's requests on the wire: the header every request starts with, and for each request
// type this program uses a plain struct of its fields, an encoder that writes the request byte
// for byte as node-simconnect 4.2.0 does (the client's side), and a decoder from a whole
// request's bytes (the server's side).
//
// Encoders write exactly the type's size (simwire/wire.h) into `out`, which must have room for
// it, and return that size: every field is written, strings cut at 255 bytes and padded with
// NULs, so a request is never longer than its size whatever the names (node-simconnect itself
// sends a name of more than 256 bytes whole, in a longer request that a server refuses).
//
// A server takes a request from its reader (simwire/stream.h) and, in this order:
//   ZvswRequestHeader h; zvsw_decode_request_header(bytes, size, h);
//   zvsw_request_check(h): ZVSW_REQUEST_UNKNOWN_TYPE (UNRECOGNIZED_ID) or
//   ZVSW_REQUEST_SIZE_MISMATCH (SIZE_MISMATCH), neither carried out; or ZVSW_REQUEST_OK, then
//   switch (h.type) and the decoder of that type, which cannot fail once the check passed.
// Decoded names point into the request's bytes: they live as long as those bytes do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "simwire/wire.h"

struct ZvswRequestHeader {
    std::uint32_t size = 0;      // the whole request's
    std::uint32_t protocol = 0;  // the client's protocol number, in every request
    std::uint32_t type = 0;      // the type word without ZVSW_TYPE_MARK; 0 when the mark is missing
    std::uint32_t send_id = 0;   // the client's count, which an exception names
};

// From the first 16 bytes of a request; false (and `h` untouched) when `size` is shorter.
bool zvsw_decode_request_header(const std::uint8_t* bytes, std::size_t size, ZvswRequestHeader& h);

enum ZvswRequestCheck {
    ZVSW_REQUEST_OK,             // a type listed in wire.h, at its size
    ZVSW_REQUEST_UNKNOWN_TYPE,   // a type not listed (or no mark)
    ZVSW_REQUEST_SIZE_MISMATCH,  // a listed type whose size field is not the type's size
};
ZvswRequestCheck zvsw_request_check(const ZvswRequestHeader& h);

// Open: the client's name (field at 16), a word 0 at 272, then its identity (wire.h) at 276.
struct ZvswOpen {
    std::string_view name;
    ZvswIdentity identity{};
};
// The Open node-simconnect sends with `protocol` (4, 5 or 6; others get an empty identity).
ZvswOpen zvsw_open_for(std::uint32_t protocol, std::string_view name);

struct ZvswMapClientEventToSimEvent {
    std::uint32_t event_id = 0;
    std::string_view event_name;  // field at 20
};

struct ZvswTransmitClientEvent {
    std::uint32_t object_id = 0;
    std::uint32_t event_id = 0;
    std::uint32_t data = 0;
    std::uint32_t group_id = 0;
    std::uint32_t flags = 0;
};

struct ZvswAddToDataDefinition {
    std::uint32_t define_id = 0;
    std::string_view datum_name;  // field at 20
    std::string_view units_name;  // field at 276; empty for none (the null units of "TITLE")
    std::uint32_t datum_type = 0;  // SIMCONNECT_DATATYPE, at 532
    float epsilon = 0;
    std::uint32_t datum_id = 0;
};

struct ZvswRequestDataOnSimObject {
    std::uint32_t request_id = 0;
    std::uint32_t define_id = 0;
    std::uint32_t object_id = 0;
    std::uint32_t period = 0;  // SIMCONNECT_PERIOD
    std::uint32_t flags = 0;
    std::uint32_t origin = 0;
    std::uint32_t interval = 0;
    std::uint32_t limit = 0;
};

struct ZvswSubscribeToSystemEvent {
    std::uint32_t event_id = 0;
    std::string_view event_name;  // field at 20
};

// Encoders: the request with `protocol` and `send_id` in its header, into `out`; its size.
std::uint32_t zvsw_encode_request(std::uint8_t* out, std::uint32_t protocol, std::uint32_t send_id, const ZvswOpen& r);
std::uint32_t zvsw_encode_request(std::uint8_t* out, std::uint32_t protocol, std::uint32_t send_id,
                                  const ZvswMapClientEventToSimEvent& r);
std::uint32_t zvsw_encode_request(std::uint8_t* out, std::uint32_t protocol, std::uint32_t send_id,
                                  const ZvswTransmitClientEvent& r);
std::uint32_t zvsw_encode_request(std::uint8_t* out, std::uint32_t protocol, std::uint32_t send_id,
                                  const ZvswAddToDataDefinition& r);
std::uint32_t zvsw_encode_request(std::uint8_t* out, std::uint32_t protocol, std::uint32_t send_id,
                                  const ZvswRequestDataOnSimObject& r);
std::uint32_t zvsw_encode_request(std::uint8_t* out, std::uint32_t protocol, std::uint32_t send_id,
                                  const ZvswSubscribeToSystemEvent& r);

// Decoders: from a whole request (`size` its bytes); false, and `r` untouched, unless the bytes
// hold a request of the struct's type at its size (header and size field included).
bool zvsw_decode_request(const std::uint8_t* bytes, std::size_t size, ZvswOpen& r);
bool zvsw_decode_request(const std::uint8_t* bytes, std::size_t size, ZvswMapClientEventToSimEvent& r);
bool zvsw_decode_request(const std::uint8_t* bytes, std::size_t size, ZvswTransmitClientEvent& r);
bool zvsw_decode_request(const std::uint8_t* bytes, std::size_t size, ZvswAddToDataDefinition& r);
bool zvsw_decode_request(const std::uint8_t* bytes, std::size_t size, ZvswRequestDataOnSimObject& r);
bool zvsw_decode_request(const std::uint8_t* bytes, std::size_t size, ZvswSubscribeToSystemEvent& r);
