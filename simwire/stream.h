// The byte stream in both directions: a reader that takes bytes as the socket gives them
// (parts of messages, several messages at once) and hands out whole messages, and the queue of
// bytes that wait for a non-blocking socket to take them. Each keeps its state in its struct,
// one per connection; a fresh struct resets it. Buffers grow to the largest need and are then
// reused (unread or unsent bytes move to the front), so the steady state allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "simwire/wire.h"

// ---- Reading: complete messages out of the stream.
//
//   ZvswReader r(ZVSW_REQUEST_HEADER);   // a server's, reading requests (ZVSW_MESSAGE_HEADER:
//                                         // a client's, reading messages)
//   std::uint8_t* space = zvsw_reader_space(r, 65536);
//   n = recv(fd, space, 65536, 0); zvsw_reader_filled(r, n);   // or zvsw_reader_feed(r, data, n)
//   const std::uint8_t* m; std::uint32_t size;
//   while ((got = zvsw_reader_next(r, m, size)) == ZVSW_NEXT_MESSAGE) handle(m, size);
//   if (got == ZVSW_NEXT_MALFORMED) close the connection (r.malformed_size says why).
//
// A message is malformed when its size field is below header_size or above ZVSW_MAX_SIZE,
// which the reader decides from that field alone as soon as its 4 bytes are there, after
// handing out every message before it. The stream cannot be read past it: every later
// zvsw_reader_next says ZVSW_NEXT_MALFORMED again.
struct ZvswReader {
    explicit ZvswReader(std::uint32_t smallest) : header_size(smallest) {}
    std::uint32_t header_size;  // the smallest message: ZVSW_REQUEST_HEADER or ZVSW_MESSAGE_HEADER
    std::vector<std::uint8_t> buffer;
    std::size_t start = 0;  // the unread bytes are [start, end)
    std::size_t end = 0;
    bool malformed = false;
    std::uint32_t malformed_size = 0;  // the size field that was malformed
};

enum ZvswNext {
    ZVSW_NEXT_NONE,       // no whole message yet: read more
    ZVSW_NEXT_MESSAGE,    // one, in `message` and `size`
    ZVSW_NEXT_MALFORMED,  // the stream is unusable: close it
};

// Room for at least `want` more bytes at the end of the unread ones; valid until the next call
// on `r`. Messages handed out before are invalid once it is called.
std::uint8_t* zvsw_reader_space(ZvswReader& r, std::size_t want);
// `n` bytes were written into the space (at most the `want` asked for).
void zvsw_reader_filled(ZvswReader& r, std::size_t n);
// The two above with a copy of `n` bytes.
void zvsw_reader_feed(ZvswReader& r, const void* data, std::size_t n);
// The next whole message: `message` points at its `size` bytes (its size field's), which stay
// valid until zvsw_reader_space or zvsw_reader_feed is next called on `r`.
ZvswNext zvsw_reader_next(ZvswReader& r, const std::uint8_t*& message, std::uint32_t& size);
// Bytes received and not yet handed out (a part of the next message, or more).
inline std::size_t zvsw_reader_pending(const ZvswReader& r) { return r.end - r.start; }

// ---- Writing: bytes that wait for the socket.
//
//   if (std::uint8_t* p = zvsw_queue_push_within(q, ZVSW_RECV_EVENT_SIZE, 1 << 20))
//       zvsw_encode_record(p, version, event);        // or zvsw_queue_append(q, bytes, n, limit)
//   n = send(fd, zvsw_queue_front(q), zvsw_queue_waiting(q), 0); zvsw_queue_taken(q, n);
//
// Whole messages go in; the socket takes any part of them. What waits, and what to drop when
// too much does, is the caller's to decide: zvsw_queue_waiting says how much, and the _within
// forms append only what fits under a limit.
struct ZvswQueue {
    std::vector<std::uint8_t> buffer;
    std::size_t start = 0;  // the waiting bytes are [start, end)
    std::size_t end = 0;
};

inline std::size_t zvsw_queue_waiting(const ZvswQueue& q) { return q.end - q.start; }
// The waiting bytes, zvsw_queue_waiting(q) of them, first to send first.
inline const std::uint8_t* zvsw_queue_front(const ZvswQueue& q) { return q.buffer.data() + q.start; }
// `n` more bytes at the end, for the caller to fill at once; valid until the next call on `q`.
std::uint8_t* zvsw_queue_push(ZvswQueue& q, std::size_t n);
// The same, or nothing (null, the queue as it was) when waiting + n would be above `limit`.
std::uint8_t* zvsw_queue_push_within(ZvswQueue& q, std::size_t n, std::size_t limit);
// A copy of `n` bytes at the end when waiting + n is at most `limit`; whether it went in.
bool zvsw_queue_append(ZvswQueue& q, const void* data, std::size_t n, std::size_t limit = SIZE_MAX);
// The socket took the first `n` waiting bytes (at most zvsw_queue_waiting(q)).
void zvsw_queue_taken(ZvswQueue& q, std::size_t n);
