// The recording format (docs/recording.md, byte by byte): a header that says what made the
// recording and which data definition its blocks follow, then records of what the program
// received from the simulator library and what it sent, each stamped with microseconds since the
// recording began. Everything is little-endian, inside one gzip stream. Owns the constants and
// the encoding and decoding of the header and of a record's fixed part.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr std::array<std::uint8_t, 8> ZVREC_MAGIC = {'Z', 'V', 'R', 'E', 'C', '\r', '\n', 0x1A};
inline constexpr std::uint16_t ZVREC_FORMAT_VERSION = 1;

// What a record holds.
enum ZvrecKind : std::uint8_t {
    // A message as handed to the dispatch procedure, whole: its bytes, as many as it said it had.
    ZVREC_MESSAGE = 1,
    // A client event the program transmitted: event id and data, two 32-bit words.
    ZVREC_CLIENT_EVENT = 2,
    // The connection opened, and the connection closed (with -w, which outlives connections).
    ZVREC_CONNECTED = 3,
    ZVREC_DISCONNECTED = 4,
    // The last record: why the recording ended (one byte, ZvrecEnd).
    ZVREC_END = 5,
};

enum ZvrecEnd : std::uint8_t {
    ZVREC_END_STOPPED = 0,     // the program ended it
    ZVREC_END_QUEUE_FULL = 1,  // the disk did not keep up with the simulator
};

// A record: kind (1 byte), time (8), payload length (4), then the payload.
inline constexpr std::size_t ZVREC_RECORD_HEAD = 13;
// Longest payload; a record that claims more is not a record of this format.
inline constexpr std::uint32_t ZVREC_MAX_PAYLOAD = 1u << 20;
// Bounds on the header, which a reader holds whole.
inline constexpr std::uint32_t ZVREC_MAX_HEADER = 1u << 20;
inline constexpr std::uint32_t ZVREC_MAX_ROWS = 4096;
inline constexpr std::uint32_t ZVREC_MAX_EVENTS = 4096;

// One row of the data definition as registered: name, units, data type (SIMCONNECT_DATATYPE) and
// where its value starts in the data block.
struct ZvrecRow {
    std::string name;
    std::string units;  // empty when none was given
    std::uint32_t type = 0;
    std::uint32_t offset = 0;
};

struct ZvrecEventName {
    std::uint32_t id = 0;
    std::string name;
};

struct ZvrecHeader {
    std::uint16_t format_version = ZVREC_FORMAT_VERSION;
    std::string program;       // title and version of the program that recorded
    std::int64_t wall_start = 0;  // seconds since 1970-01-01 00:00 UTC
    std::uint32_t definition_id = 0;
    std::vector<ZvrecRow> rows;
    std::vector<ZvrecEventName> events;  // the client events the program mapped
};

// The header's bytes, its size field filled in.
std::vector<std::uint8_t> zvrec_encode_header(const ZvrecHeader& header);

// The header's fixed start: magic, version and the size of the whole header.
inline constexpr std::size_t ZVREC_HEADER_START = 14;
// From the first ZVREC_HEADER_START bytes: the whole header's size, or an error text.
bool zvrec_header_size(const std::uint8_t* start, std::uint32_t& size, std::string& error);
// From the whole header (as many bytes as its size field says): false with an error text
// when it is not one this reader understands.
bool zvrec_decode_header(const std::uint8_t* bytes, std::size_t size, ZvrecHeader& header, std::string& error);

// A record's fixed part.
void zvrec_encode_record_head(std::uint8_t* out, std::uint8_t kind, std::uint64_t time_us, std::uint32_t length);
void zvrec_decode_record_head(const std::uint8_t* in, std::uint8_t& kind, std::uint64_t& time_us,
                              std::uint32_t& length);

// The type's name as the simulator's documentation spells it ("FLOAT64"), or "type N".
std::string zvrec_type_name(std::uint32_t type);

// Little-endian words, for the record payloads.
inline std::uint32_t zvrec_u32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline void zvrec_put_u32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
