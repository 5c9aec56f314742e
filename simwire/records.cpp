// A server's messages: the header and the records' fields, word by word.
#include "simwire/records.h"

#include <cstring>
#include <initializer_list>

namespace {

std::uint32_t header(std::uint8_t* out, std::uint32_t size, std::uint32_t version, std::uint32_t id)
{
    zvsw_put_u32(out, size);
    zvsw_put_u32(out + 4, version);
    zvsw_put_u32(out + 8, id);
    return size;
}

void put_words(std::uint8_t* p, std::initializer_list<std::uint32_t> words)
{
    for (std::uint32_t w : words) {
        zvsw_put_u32(p, w);
        p += 4;
    }
}

}  // namespace

bool zvsw_decode_message_header(const std::uint8_t* bytes, std::size_t size, ZvswMessageHeader& h)
{
    if (size < ZVSW_MESSAGE_HEADER) return false;
    h = {zvsw_get_u32(bytes), zvsw_get_u32(bytes + 4), zvsw_get_u32(bytes + 8)};
    return true;
}

std::uint32_t zvsw_encode_record(std::uint8_t* out, std::uint32_t version, const SIMCONNECT_RECV_OPEN& r)
{
    header(out, ZVSW_RECV_OPEN_SIZE, version, SIMCONNECT_RECV_ID_OPEN);
    // The name as a C string within its field, the rest of the field NULs.
    std::size_t n = 0;
    while (n < sizeof r.szApplicationName - 1 && r.szApplicationName[n] != '\0') ++n;
    std::memcpy(out + 12, r.szApplicationName, n);
    std::memset(out + 12 + n, 0, sizeof r.szApplicationName - n);
    put_words(out + 12 + sizeof r.szApplicationName,
              {r.dwApplicationVersionMajor, r.dwApplicationVersionMinor, r.dwApplicationBuildMajor,
               r.dwApplicationBuildMinor, r.dwSimConnectVersionMajor, r.dwSimConnectVersionMinor,
               r.dwSimConnectBuildMajor, r.dwSimConnectBuildMinor, r.dwReserved1, r.dwReserved2});
    return ZVSW_RECV_OPEN_SIZE;
}

std::uint32_t zvsw_encode_record(std::uint8_t* out, std::uint32_t version, const SIMCONNECT_RECV_QUIT&)
{
    return header(out, ZVSW_RECV_QUIT_SIZE, version, SIMCONNECT_RECV_ID_QUIT);
}

std::uint32_t zvsw_encode_record(std::uint8_t* out, std::uint32_t version, const SIMCONNECT_RECV_EVENT& r)
{
    header(out, ZVSW_RECV_EVENT_SIZE, version, SIMCONNECT_RECV_ID_EVENT);
    put_words(out + 12, {r.uGroupID, r.uEventID, r.dwData});
    return ZVSW_RECV_EVENT_SIZE;
}

std::uint32_t zvsw_encode_record(std::uint8_t* out, std::uint32_t version, const SIMCONNECT_RECV_EXCEPTION& r)
{
    header(out, ZVSW_RECV_EXCEPTION_SIZE, version, SIMCONNECT_RECV_ID_EXCEPTION);
    put_words(out + 12, {r.dwException, r.dwSendID, r.dwIndex});
    return ZVSW_RECV_EXCEPTION_SIZE;
}

std::uint32_t zvsw_encode_record(std::uint8_t* out, std::uint32_t version, const SIMCONNECT_RECV_SIMOBJECT_DATA& r,
                                 const void* data, std::uint32_t data_size)
{
    if (data_size > ZVSW_MAX_DATA) return 0;
    std::uint32_t size = ZVSW_RECV_SIMOBJECT_DATA_SIZE + data_size;
    header(out, size, version, SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    put_words(out + 12, {r.dwRequestID, r.dwObjectID, r.dwDefineID, r.dwFlags, r.dwentrynumber, r.dwoutof,
                         r.dwDefineCount});
    if (data_size != 0) std::memcpy(out + ZVSW_RECV_SIMOBJECT_DATA_SIZE, data, data_size);
    return size;
}

SIMCONNECT_RECV* zvsw_aligned_copy(ZvswAligned& copy, const std::uint8_t* bytes, std::size_t size)
{
    constexpr std::size_t unit = sizeof(std::max_align_t);
    std::size_t words = ((size < ZVSW_MESSAGE_HEADER ? ZVSW_MESSAGE_HEADER : size) + unit - 1) / unit;
    if (copy.words.size() < words) copy.words.resize(words);
    auto* out = reinterpret_cast<std::uint8_t*>(copy.words.data());
    if (size != 0) std::memcpy(out, bytes, size);
    std::memset(out + size, 0, words * unit - size);
    return reinterpret_cast<SIMCONNECT_RECV*>(out);
}
