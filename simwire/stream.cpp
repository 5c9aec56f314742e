// The reader of whole messages and the queue of bytes to send, over buffers that are compacted
// in place and grow only when a need is larger than any before.
#include "simwire/stream.h"

#include <cstring>

namespace {

// Room for `want` bytes after `end` in `buffer`, moving [start, end) to the front first when the
// room is short, and growing the buffer only when that is not enough.
std::uint8_t* room(std::vector<std::uint8_t>& buffer, std::size_t& start, std::size_t& end, std::size_t want)
{
    if (start == end) start = end = 0;
    if (buffer.size() - end < want && start != 0) {
        std::memmove(buffer.data(), buffer.data() + start, end - start);
        end -= start;
        start = 0;
    }
    if (buffer.size() - end < want || buffer.empty()) {
        std::size_t grown = buffer.size() < 128 ? 256 : buffer.size() * 2;
        buffer.resize(grown > end + want ? grown : end + want);
    }
    return buffer.data() + end;
}

}  // namespace

std::uint8_t* zvsw_reader_space(ZvswReader& r, std::size_t want)
{
    return room(r.buffer, r.start, r.end, want);
}

void zvsw_reader_filled(ZvswReader& r, std::size_t n)
{
    std::size_t room_left = r.buffer.size() - r.end;
    r.end += n < room_left ? n : room_left;
}

void zvsw_reader_feed(ZvswReader& r, const void* data, std::size_t n)
{
    if (n == 0) return;
    std::memcpy(zvsw_reader_space(r, n), data, n);
    zvsw_reader_filled(r, n);
}

ZvswNext zvsw_reader_next(ZvswReader& r, const std::uint8_t*& message, std::uint32_t& size)
{
    if (r.malformed) return ZVSW_NEXT_MALFORMED;
    if (r.end - r.start < 4) return ZVSW_NEXT_NONE;
    const std::uint8_t* at = r.buffer.data() + r.start;
    std::uint32_t stated = zvsw_get_u32(at);
    if (stated < r.header_size || stated > ZVSW_MAX_SIZE) {
        r.malformed = true;
        r.malformed_size = stated;
        return ZVSW_NEXT_MALFORMED;
    }
    if (r.end - r.start < stated) return ZVSW_NEXT_NONE;
    r.start += stated;
    message = at;
    size = stated;
    return ZVSW_NEXT_MESSAGE;
}

std::uint8_t* zvsw_queue_push(ZvswQueue& q, std::size_t n)
{
    std::uint8_t* p = room(q.buffer, q.start, q.end, n);
    q.end += n;
    return p;
}

std::uint8_t* zvsw_queue_push_within(ZvswQueue& q, std::size_t n, std::size_t limit)
{
    std::size_t waiting = zvsw_queue_waiting(q);
    if (waiting > limit || n > limit - waiting) return nullptr;
    return zvsw_queue_push(q, n);
}

bool zvsw_queue_append(ZvswQueue& q, const void* data, std::size_t n, std::size_t limit)
{
    std::uint8_t* p = zvsw_queue_push_within(q, n, limit);
    if (!p) return false;
    if (n != 0) std::memcpy(p, data, n);
    return true;
}

void zvsw_queue_taken(ZvswQueue& q, std::size_t n)
{
    std::size_t waiting = zvsw_queue_waiting(q);
    q.start += n < waiting ? n : waiting;
    if (q.start == q.end) q.start = q.end = 0;
}
