// Fuzz target: zvsim's request path. Bytes of any content, in reads of any length, into one
// connection's reader, every whole request carried out through the built-in world shared as zvsim
// shares it; turns of the world's clock dispatch to the connection, and a client takes parts of
// what waits for it. Checked: what waits is whole messages, each within the bounds and in the
// connection's protocol (the refusals of requests made before its open: the request's), never
// far beyond the queue's limit; a malformed stream drops the connection.
//
// Input, a run of operations, each a byte and its fields:
//   0 a read of requests: length (2 bytes), the bytes
//   1 a turn: the clock moves on (2 bytes, milliseconds), then the client takes (2 bytes, times 64)
//   2 the connection closes and another opens
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "fuzz/support/fakes.h"
#include "fuzz/support/input.h"
#include "sim/builtin.h"
#include "sim/sim.h"
#include "simwire/wire.h"
#include "tools/zvsim/connection.h"
#include "tools/zvsim/server.h"

using namespace zvfuzz;

namespace {

double clock_now = 1.7e9;
double fuzz_clock() { return clock_now; }

// The open message has been walked past on this connection: what comes after it is in the
// connection's protocol. Before it, the answers to requests made before the open (refusals)
// are in each request's protocol.
bool open_walked = false;

// Walks what waits for the client, message by message, as a client would read it.
void check_queue(const ZvsrvConnection& c)
{
    bool before_open = !open_walked;
    check(zvsw_queue_waiting(c.out) <= 3 * ZVSRV_QUEUE_LIMIT, "the queue grows beyond its limit");
    const std::uint8_t* at = zvsw_queue_front(c.out);
    std::size_t left = zvsw_queue_waiting(c.out);
    while (left > 0) {
        check(left >= ZVSW_MESSAGE_HEADER, "a message cut short");
        std::uint32_t size = zvsw_get_u32(at);
        check(size >= ZVSW_MESSAGE_HEADER && size <= ZVSW_MAX_SIZE && size <= left, "a message of a wrong size");
        std::uint32_t version = zvsw_get_u32(at + 4);
        std::uint32_t id = zvsw_get_u32(at + 8);
        if (id == SIMCONNECT_RECV_ID_OPEN) before_open = false, open_walked = true;
        check(c.handle == nullptr || version == c.protocol || (before_open && id == SIMCONNECT_RECV_ID_EXCEPTION),
              "a message in another protocol");
        at += size;
        left -= size;
    }
}

void close(std::unique_ptr<ZvsrvConnection>& c)
{
    if (c->handle != nullptr) zvsrv_state.backend->close(c->handle);
    c = std::make_unique<ZvsrvConnection>();
    open_walked = false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    install_fakes();
    // The client's socket takes nothing: what is sent waits in the queue for the target to take.
    plat_net.stream_write = [](plat_socket_t, const void*, std::size_t) { return 0L; };
    zvsim_world_reset();
    zvsrv_state = ZvsrvState{};
    zvsrv_state.backend = &zvsim_world_backend;
    clock_now = 1.7e9;
    zvsim_clock = fuzz_clock;
    zvsim_world_share(ZVSRV_MOST_CLIENTS);
    auto c = std::make_unique<ZvsrvConnection>();
    open_walked = false;
    Input in(data, size);
    while (!in.empty()) {
        switch (in.u8() % 3) {
        case 0: {
            std::size_t n = in.u16();
            std::vector<std::uint8_t> bytes = in.bytes(n);
            zvsw_reader_feed(c->reader, bytes.data(), bytes.size());
            zvsrv_take_requests(*c);
            break;
        }
        case 1: {
            clock_now += in.u16() / 1000.0;
            zvsim_world_tick();
            zvsrv_dispatch(*c);
            check_queue(*c);
            std::size_t take = std::min<std::size_t>(in.u16() * 64u, zvsw_queue_waiting(c->out));
            // Whole messages only, so that what is left is walked from a message's start.
            std::size_t whole = 0;
            while (whole < zvsw_queue_waiting(c->out)) {
                std::uint32_t m = zvsw_get_u32(zvsw_queue_front(c->out) + whole);
                if (whole + m > take) break;
                whole += m;
            }
            zvsw_queue_taken(c->out, whole);
            if (zvsw_queue_waiting(c->out) == 0) c->holding_open = false;
            break;
        }
        default: close(c); break;
        }
        if (c->cause != nullptr) close(c);
    }
    check_queue(*c);
    close(c);
    return 0;
}
