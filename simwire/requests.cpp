// A client's requests: their headers, encoders and decoders, field by field at the offsets
// node-simconnect 4.2.0 writes them.
#include "simwire/requests.h"

#include <initializer_list>

namespace {

// Where each field starts; a name field is ZVSW_NAME_FIELD bytes.
namespace open_at {
constexpr std::size_t NAME = 16, ZERO = 272, MAGIC = 276, VERSION = 280;
static_assert(VERSION + 16 == ZVSW_OPEN_SIZE);
}  // namespace open_at
namespace named_at {  // MapClientEventToSimEvent and SubscribeToSystemEvent
constexpr std::size_t ID = 16, NAME = 20;
static_assert(NAME + ZVSW_NAME_FIELD == ZVSW_MAP_CLIENT_EVENT_TO_SIM_EVENT_SIZE);
static_assert(NAME + ZVSW_NAME_FIELD == ZVSW_SUBSCRIBE_TO_SYSTEM_EVENT_SIZE);
}  // namespace named_at
namespace define_at {
constexpr std::size_t DEFINE = 16, DATUM = 20, UNITS = 276, TYPE = 532, EPSILON = 536, DATUM_ID = 540;
static_assert(DATUM_ID + 4 == ZVSW_ADD_TO_DATA_DEFINITION_SIZE);
}  // namespace define_at
static_assert(ZVSW_REQUEST_HEADER + 5 * 4 == ZVSW_TRANSMIT_CLIENT_EVENT_SIZE);
static_assert(ZVSW_REQUEST_HEADER + 8 * 4 == ZVSW_REQUEST_DATA_ON_SIM_OBJECT_SIZE);

std::uint32_t header(std::uint8_t* out, std::uint32_t type, std::uint32_t protocol, std::uint32_t send_id)
{
    std::uint32_t size = zvsw_request_size(type);
    zvsw_put_u32(out, size);
    zvsw_put_u32(out + 4, protocol);
    zvsw_put_u32(out + 8, ZVSW_TYPE_MARK | type);
    zvsw_put_u32(out + 12, send_id);
    return size;
}

// Consecutive words from offset 16.
void put_words(std::uint8_t* out, std::initializer_list<std::uint32_t> words)
{
    std::uint8_t* p = out + ZVSW_REQUEST_HEADER;
    for (std::uint32_t w : words) {
        zvsw_put_u32(p, w);
        p += 4;
    }
}

std::uint32_t word(const std::uint8_t* bytes, int index) { return zvsw_get_u32(bytes + ZVSW_REQUEST_HEADER + 4 * index); }

bool is(const std::uint8_t* bytes, std::size_t size, std::uint32_t type)
{
    ZvswRequestHeader h;
    return zvsw_decode_request_header(bytes, size, h) && h.type == type && h.size == size &&
           zvsw_request_check(h) == ZVSW_REQUEST_OK;
}

}  // namespace

bool zvsw_decode_request_header(const std::uint8_t* bytes, std::size_t size, ZvswRequestHeader& h)
{
    if (size < ZVSW_REQUEST_HEADER) return false;
    std::uint32_t type_word = zvsw_get_u32(bytes + 8);
    h.size = zvsw_get_u32(bytes);
    h.protocol = zvsw_get_u32(bytes + 4);
    h.type = (type_word & ZVSW_TYPE_MARK) == ZVSW_TYPE_MARK ? type_word & ~ZVSW_TYPE_MARK : 0;
    h.send_id = zvsw_get_u32(bytes + 12);
    return true;
}

ZvswRequestCheck zvsw_request_check(const ZvswRequestHeader& h)
{
    std::uint32_t size = zvsw_request_size(h.type);
    if (size == 0) return ZVSW_REQUEST_UNKNOWN_TYPE;
    return h.size == size ? ZVSW_REQUEST_OK : ZVSW_REQUEST_SIZE_MISMATCH;
}

ZvswOpen zvsw_open_for(std::uint32_t protocol, std::string_view name)
{
    ZvswOpen r;
    r.name = name;
    if (const ZvswIdentity* id = zvsw_identity(protocol)) r.identity = *id;
    return r;
}

std::uint32_t zvsw_encode_request(std::uint8_t* out, std::uint32_t protocol, std::uint32_t send_id, const ZvswOpen& r)
{
    std::uint32_t size = header(out, ZVSW_OPEN, protocol, send_id);
    zvsw_put_name(out + open_at::NAME, r.name);
    zvsw_put_u32(out + open_at::ZERO, 0);
    std::memcpy(out + open_at::MAGIC, r.identity.magic, sizeof r.identity.magic);
    const std::uint32_t version[] = {r.identity.version_major, r.identity.version_minor, r.identity.build_major,
                                     r.identity.build_minor};
    for (int i = 0; i < 4; ++i) zvsw_put_u32(out + open_at::VERSION + 4 * i, version[i]);
    return size;
}

std::uint32_t zvsw_encode_request(std::uint8_t* out, std::uint32_t protocol, std::uint32_t send_id,
                                  const ZvswMapClientEventToSimEvent& r)
{
    std::uint32_t size = header(out, ZVSW_MAP_CLIENT_EVENT_TO_SIM_EVENT, protocol, send_id);
    zvsw_put_u32(out + named_at::ID, r.event_id);
    zvsw_put_name(out + named_at::NAME, r.event_name);
    return size;
}

std::uint32_t zvsw_encode_request(std::uint8_t* out, std::uint32_t protocol, std::uint32_t send_id,
                                  const ZvswTransmitClientEvent& r)
{
    std::uint32_t size = header(out, ZVSW_TRANSMIT_CLIENT_EVENT, protocol, send_id);
    put_words(out, {r.object_id, r.event_id, r.data, r.group_id, r.flags});
    return size;
}

std::uint32_t zvsw_encode_request(std::uint8_t* out, std::uint32_t protocol, std::uint32_t send_id,
                                  const ZvswAddToDataDefinition& r)
{
    std::uint32_t size = header(out, ZVSW_ADD_TO_DATA_DEFINITION, protocol, send_id);
    zvsw_put_u32(out + define_at::DEFINE, r.define_id);
    zvsw_put_name(out + define_at::DATUM, r.datum_name);
    zvsw_put_name(out + define_at::UNITS, r.units_name);
    zvsw_put_u32(out + define_at::TYPE, r.datum_type);
    zvsw_put_f32(out + define_at::EPSILON, r.epsilon);
    zvsw_put_u32(out + define_at::DATUM_ID, r.datum_id);
    return size;
}

std::uint32_t zvsw_encode_request(std::uint8_t* out, std::uint32_t protocol, std::uint32_t send_id,
                                  const ZvswRequestDataOnSimObject& r)
{
    std::uint32_t size = header(out, ZVSW_REQUEST_DATA_ON_SIM_OBJECT, protocol, send_id);
    put_words(out, {r.request_id, r.define_id, r.object_id, r.period, r.flags, r.origin, r.interval, r.limit});
    return size;
}

std::uint32_t zvsw_encode_request(std::uint8_t* out, std::uint32_t protocol, std::uint32_t send_id,
                                  const ZvswSubscribeToSystemEvent& r)
{
    std::uint32_t size = header(out, ZVSW_SUBSCRIBE_TO_SYSTEM_EVENT, protocol, send_id);
    zvsw_put_u32(out + named_at::ID, r.event_id);
    zvsw_put_name(out + named_at::NAME, r.event_name);
    return size;
}

bool zvsw_decode_request(const std::uint8_t* bytes, std::size_t size, ZvswOpen& r)
{
    if (!is(bytes, size, ZVSW_OPEN)) return false;
    r.name = zvsw_get_name(bytes + open_at::NAME);
    std::memcpy(r.identity.magic, bytes + open_at::MAGIC, sizeof r.identity.magic);
    r.identity.version_major = zvsw_get_u32(bytes + open_at::VERSION);
    r.identity.version_minor = zvsw_get_u32(bytes + open_at::VERSION + 4);
    r.identity.build_major = zvsw_get_u32(bytes + open_at::VERSION + 8);
    r.identity.build_minor = zvsw_get_u32(bytes + open_at::VERSION + 12);
    return true;
}

bool zvsw_decode_request(const std::uint8_t* bytes, std::size_t size, ZvswMapClientEventToSimEvent& r)
{
    if (!is(bytes, size, ZVSW_MAP_CLIENT_EVENT_TO_SIM_EVENT)) return false;
    r.event_id = zvsw_get_u32(bytes + named_at::ID);
    r.event_name = zvsw_get_name(bytes + named_at::NAME);
    return true;
}

bool zvsw_decode_request(const std::uint8_t* bytes, std::size_t size, ZvswTransmitClientEvent& r)
{
    if (!is(bytes, size, ZVSW_TRANSMIT_CLIENT_EVENT)) return false;
    r = {word(bytes, 0), word(bytes, 1), word(bytes, 2), word(bytes, 3), word(bytes, 4)};
    return true;
}

bool zvsw_decode_request(const std::uint8_t* bytes, std::size_t size, ZvswAddToDataDefinition& r)
{
    if (!is(bytes, size, ZVSW_ADD_TO_DATA_DEFINITION)) return false;
    r.define_id = zvsw_get_u32(bytes + define_at::DEFINE);
    r.datum_name = zvsw_get_name(bytes + define_at::DATUM);
    r.units_name = zvsw_get_name(bytes + define_at::UNITS);
    r.datum_type = zvsw_get_u32(bytes + define_at::TYPE);
    r.epsilon = zvsw_get_f32(bytes + define_at::EPSILON);
    r.datum_id = zvsw_get_u32(bytes + define_at::DATUM_ID);
    return true;
}

bool zvsw_decode_request(const std::uint8_t* bytes, std::size_t size, ZvswRequestDataOnSimObject& r)
{
    if (!is(bytes, size, ZVSW_REQUEST_DATA_ON_SIM_OBJECT)) return false;
    r = {word(bytes, 0), word(bytes, 1), word(bytes, 2), word(bytes, 3),
         word(bytes, 4), word(bytes, 5), word(bytes, 6), word(bytes, 7)};
    return true;
}

bool zvsw_decode_request(const std::uint8_t* bytes, std::size_t size, ZvswSubscribeToSystemEvent& r)
{
    if (!is(bytes, size, ZVSW_SUBSCRIBE_TO_SYSTEM_EVENT)) return false;
    r.event_id = zvsw_get_u32(bytes + named_at::ID);
    r.event_name = zvsw_get_name(bytes + named_at::NAME);
    return true;
}
