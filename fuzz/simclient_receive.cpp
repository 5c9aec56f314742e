// Fuzz target: the network client's receive path (simclient/), over a faked connection. A
// simulator's bytes of any content, in reads of any length, with nothing waiting, a close or a
// reset between them, the clock moved on, and requests made while the socket takes any part of
// them, through the client's dispatches. Checked: every message handed over sits on an 8-byte
// boundary, is as long as its size field and the size argument say, within the bounds, and is the
// next part of what the simulator sent (nothing lost, invented or reordered), but for the client's
// own QUIT that ends a broken connection, handed over once and last; no dispatch hands over more
// than its limit; nothing comes after a QUIT; the socket is closed once the connection ends.
//
// Input, a run of operations, each a byte and its fields:
//   0 the simulator sends: length (2 bytes), the bytes
//   1 a dispatch
//   2 nothing waits for the next read
//   3 the simulator closes the connection
//   4 the connection is reset
//   5 the clock moves on: milliseconds (2 bytes)
//   6 the socket takes this much more (2 bytes), then a transmission is made
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

#include "fuzz/support/fakes.h"
#include "fuzz/support/input.h"
#include "platform/clock.h"
#include "platform/simlink_info.h"
#include "platform/wait.h"
#include "simclient/client.h"

using namespace zvfuzz;

namespace {

constexpr plat_socket_t SOCKET = 7;

struct Read {
    std::vector<std::uint8_t> bytes;
    long result = 1;  // 1: the bytes; else what the read returns
};

struct Target {
    std::deque<Read> reads;
    std::vector<std::uint8_t> sent;  // everything the simulator sent, in order
    std::size_t handed = 0;          // of it, the bytes handed over as messages
    std::size_t room = 0;            // what the socket still takes
    int error = 0;
    bool quit = false;     // a QUIT was handed over
    bool own_quit = false;
    unsigned in_dispatch = 0;
    bool socket_open = false;
};
Target target;

long stream_read(plat_socket_t s, void* buffer, std::size_t size)
{
    check(s == SOCKET && target.socket_open, "a read of a closed socket");
    if (target.reads.empty()) return PLAT_STREAM_EMPTY;
    Read& r = target.reads.front();
    if (r.result != 1) {
        long result = r.result;
        target.error = ECONNRESET;
        target.reads.pop_front();
        return result;
    }
    std::size_t n = size < r.bytes.size() ? size : r.bytes.size();
    std::memcpy(buffer, r.bytes.data(), n);
    r.bytes.erase(r.bytes.begin(), r.bytes.begin() + static_cast<long>(n));
    if (r.bytes.empty()) target.reads.pop_front();
    return static_cast<long>(n);
}

long stream_write(plat_socket_t s, const void*, std::size_t length)
{
    check(s == SOCKET && target.socket_open, "a write to a closed socket");
    std::size_t n = length < target.room ? length : target.room;
    target.room -= n;
    return static_cast<long>(n);
}

void CALLBACK handed(SIMCONNECT_RECV* m, DWORD cb, void*)
{
    check(!target.quit, "a message after the QUIT");
    check(reinterpret_cast<std::uintptr_t>(m) % 8 == 0, "a message off its boundary");
    check(m->dwSize == cb && cb >= 12 && cb <= ZVSW_MAX_SIZE, "a message's size");
    check(++target.in_dispatch <= ZVCLI_DISPATCH_MESSAGES, "a dispatch over its limit");
    // The client's own QUIT, which ends a broken connection, comes after every message read
    // before the fault.
    if (zvcli_state.faulted && !zvcli_state.quit_pending) {
        check(m->dwID == SIMCONNECT_RECV_ID_QUIT && cb == 12 && !target.own_quit, "a message that was not sent");
        target.own_quit = target.quit = true;
        return;
    }
    check(target.handed + cb <= target.sent.size() && std::memcmp(target.sent.data() + target.handed, m, cb) == 0,
          "a message that was not sent");
    target.handed += cb;
    if (m->dwID == SIMCONNECT_RECV_ID_QUIT) target.quit = true;
}

void dispatch(HANDLE h)
{
    target.in_dispatch = 0;
    check(zvcli_backend.dispatch(h, handed, nullptr) == S_OK, "a dispatch failed");
    if (zvcli_state.faulted) check(!target.socket_open && plat_wait_sim_socket == PLAT_INVALID_SOCKET, "socket left open");
}

void install()
{
    static bool done = false;
    if (done) return;
    done = true;
    install_fakes();
    plat_net.tcp_socket = [] {
        target.socket_open = true;
        return SOCKET;
    };
    plat_net.close = [](plat_socket_t s) {
        check(s == SOCKET && target.socket_open, "a socket closed twice");
        target.socket_open = false;
    };
    plat_net.set_nonblocking = [](plat_socket_t) { return 0; };
    plat_net.set_nodelay = [](plat_socket_t) { return 0; };
    plat_net.set_keepalive = [](plat_socket_t, int, int, int) { return 0; };
    plat_net.connect_start = [](plat_socket_t, const sockaddr_in*) { return 0; };
    plat_net.stream_read = stream_read;
    plat_net.stream_write = stream_write;
    plat_net.last_error = [] { return target.error; };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    install();
    reset_fakes();
    zvcli_reset();
    target = Target{};
    target.room = 1 << 20;
    zvcli_state.found = ZVCLI_CONFIG_GOOD;
    zvcli_state.config.address = htonl(INADDR_LOOPBACK);
    zvcli_state.config.port = 500;
    HANDLE h = nullptr;
    check(zvcli_backend.open(&h, "fuzz", nullptr, 0, nullptr, 0) == S_OK, "the open failed");
    Input in(data, size);
    for (unsigned ops = 0; !in.empty() && ops < 512 && !target.quit; ++ops) {
        switch (in.u8() % 7) {
        case 0: {
            std::vector<std::uint8_t> bytes = in.bytes(in.u16());
            if (bytes.empty()) break;  // a read of nothing would be the close
            target.sent.insert(target.sent.end(), bytes.begin(), bytes.end());
            target.reads.push_back({std::move(bytes), 1});
            break;
        }
        case 1: dispatch(h); break;
        case 2: target.reads.push_back({{}, PLAT_STREAM_EMPTY}); break;
        case 3: target.reads.push_back({{}, 0}); break;
        case 4: target.reads.push_back({{}, -1}); break;
        case 5: fakes.monotonic_ms += in.u16(); break;
        default:
            target.room += in.u16();
            zvcli_backend.transmit(h, 0, 1, 2, 1, SIMCONNECT_EVENT_FLAG_DEFAULT);
            break;
        }
    }
    for (int i = 0; i < 8 && !target.quit; ++i) dispatch(h);
    check(zvcli_backend.close(h) == S_OK && !target.socket_open, "close");
    return 0;
}
