// Fuzz target: the codec of the simulator's own protocol (simwire/). Bytes of any content, in
// reads of any length, through a server's reader of requests and a client's reader of messages;
// every request it hands out through the header check and all six decoders, every message
// through the aligned copy; and a queue of bytes to send, filled under limits and taken in
// parts. Checked: a message is exactly as long as its size field says and within the bounds, a
// stream found malformed was so by its size field, nothing is lost or invented between reads
// and messages, a decoder takes a request only when the check passes for its type, a decoded
// request encodes to the same bytes after one round, and the queue hands back what went in.
//
// Input, a run of operations, each a byte and its fields:
//   0 a read of requests: length (2 bytes), the bytes
//   1 a read of messages: length (2 bytes), the bytes
//   2 a read of requests into the reader's own space: room asked (2 bytes), then as 0
//   3 append to the queue: length (2 bytes), limit (2 bytes, times 4)
//   4 the socket takes from the queue: length (2 bytes)
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

#include "fuzz/support/fakes.h"
#include "fuzz/support/input.h"
#include "simwire/records.h"
#include "simwire/requests.h"
#include "simwire/stream.h"

using namespace zvfuzz;

namespace {

struct Target {
    ZvswReader requests{ZVSW_REQUEST_HEADER};
    ZvswReader messages{ZVSW_MESSAGE_HEADER};
    ZvswAligned copy;
    ZvswQueue queue;
    std::deque<std::uint8_t> queued;  // what the queue should hold
    std::size_t fed[2] = {0, 0};       // bytes read into each reader, and handed out of it
    std::size_t handed[2] = {0, 0};
};
Target target;

// Decodes `bytes` as `Request`, and when it takes them, checks that they encode, decode and
// encode again to the same bytes.
template <typename Request>
bool decodes(const std::uint8_t* bytes, std::uint32_t size, std::uint32_t protocol, std::uint32_t send_id)
{
    Request r;
    if (!zvsw_decode_request(bytes, size, r)) return false;
    std::uint8_t once[ZVSW_MAX_REQUEST_SIZE], twice[ZVSW_MAX_REQUEST_SIZE];
    std::uint32_t n = zvsw_encode_request(once, protocol, send_id, r);
    check(n == size, "a decoded request encodes to another size");
    Request again;
    check(zvsw_decode_request(once, n, again), "an encoded request does not decode");
    check(zvsw_encode_request(twice, protocol, send_id, again) == n && std::memcmp(once, twice, n) == 0,
          "a request changes between rounds");
    return true;
}

void request(const std::uint8_t* bytes, std::uint32_t size)
{
    ZvswRequestHeader h;
    check(zvsw_decode_request_header(bytes, size, h) && h.size == size, "request header");
    int taken = decodes<ZvswOpen>(bytes, size, h.protocol, h.send_id) +
                decodes<ZvswMapClientEventToSimEvent>(bytes, size, h.protocol, h.send_id) +
                decodes<ZvswTransmitClientEvent>(bytes, size, h.protocol, h.send_id) +
                decodes<ZvswAddToDataDefinition>(bytes, size, h.protocol, h.send_id) +
                decodes<ZvswRequestDataOnSimObject>(bytes, size, h.protocol, h.send_id) +
                decodes<ZvswSubscribeToSystemEvent>(bytes, size, h.protocol, h.send_id);
    check(taken == (zvsw_request_check(h) == ZVSW_REQUEST_OK ? 1 : 0), "decoders and the check disagree");
}

void message(const std::uint8_t* bytes, std::uint32_t size)
{
    ZvswMessageHeader h;
    check(zvsw_decode_message_header(bytes, size, h) && h.size == size, "message header");
    SIMCONNECT_RECV* m = zvsw_aligned_copy(target.copy, bytes, size);
    check(reinterpret_cast<std::uintptr_t>(m) % alignof(std::max_align_t) == 0, "copy not aligned");
    check(m->dwSize == size && std::memcmp(m, bytes, size) == 0, "copy differs");
}

void drain(int which)
{
    ZvswReader& r = which == 0 ? target.requests : target.messages;
    const std::uint8_t* m;
    std::uint32_t size;
    ZvswNext next;
    while ((next = zvsw_reader_next(r, m, size)) == ZVSW_NEXT_MESSAGE) {
        check(size == zvsw_get_u32(m) && size >= r.header_size && size <= ZVSW_MAX_SIZE, "message bounds");
        target.handed[which] += size;
        if (which == 0) {
            request(m, size);
        } else {
            message(m, size);
        }
    }
    check(target.handed[which] + zvsw_reader_pending(r) == target.fed[which], "bytes lost or invented");
    if (next == ZVSW_NEXT_MALFORMED) {
        check(r.malformed_size < r.header_size || r.malformed_size > ZVSW_MAX_SIZE, "malformed within bounds");
        // The connection closes; the next one starts afresh.
        r = ZvswReader(r.header_size);
        target.fed[which] = target.handed[which] = 0;
    }
}

void read(int which, const std::vector<std::uint8_t>& bytes)
{
    zvsw_reader_feed(which == 0 ? target.requests : target.messages, bytes.data(), bytes.size());
    target.fed[which] += bytes.size();
    drain(which);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    target = Target{};
    Input in(data, size);
    for (unsigned int ops = 0; !in.empty() && ops < 512; ++ops) {
        switch (in.u8() % 5) {
        case 0: read(0, in.bytes(in.u16())); break;
        case 1: read(1, in.bytes(in.u16())); break;
        case 2: {
            std::size_t room = in.u16();
            std::vector<std::uint8_t> bytes = in.bytes(in.u16());
            std::size_t n = bytes.size() < room ? bytes.size() : room;
            std::uint8_t* space = zvsw_reader_space(target.requests, room);
            if (n != 0) std::memcpy(space, bytes.data(), n);
            zvsw_reader_filled(target.requests, n);
            target.fed[0] += n;
            drain(0);
            break;
        }
        case 3: {
            std::vector<std::uint8_t> bytes = in.bytes(in.u16());
            std::size_t limit = static_cast<std::size_t>(in.u16()) * 4;
            bool fits = target.queued.size() + bytes.size() <= limit;
            check(zvsw_queue_append(target.queue, bytes.data(), bytes.size(), limit) == fits, "queue limit");
            if (fits) target.queued.insert(target.queued.end(), bytes.begin(), bytes.end());
            break;
        }
        default: {
            std::size_t n = in.u16();
            std::size_t waiting = zvsw_queue_waiting(target.queue);
            check(waiting == target.queued.size(), "queue count");
            std::size_t taken = n < waiting ? n : waiting;
            const std::uint8_t* front = zvsw_queue_front(target.queue);
            for (std::size_t i = 0; i < taken; ++i) check(front[i] == target.queued[i], "queue bytes");
            zvsw_queue_taken(target.queue, n);
            target.queued.erase(target.queued.begin(), target.queued.begin() + static_cast<long>(taken));
            break;
        }
        }
    }
    return 0;
}
