// The network client's side of the platform, faked: a connection that never touches a real
// socket, whose reads come from a script the test writes (bytes, "nothing yet", a close, a
// reset), whose writes are kept and may be refused for want of room, a monotonic clock the
// test moves on, and a wait that passes its whole time at once, so that every case runs the same
// on any machine.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/net.h"
#include "platform/simlink_info.h"
#include "platform/wait.h"
#include "simclient/client.h"
#include "simwire/records.h"

namespace fake {

using Bytes = std::vector<std::uint8_t>;

inline constexpr plat_socket_t SOCKET = 42;

// One read's outcome: bytes, or one of the read results without them.
struct Read {
    Bytes bytes;
    long result = 1;  // 1: the bytes; PLAT_STREAM_EMPTY, 0 (closed) or -1 (failed, with `error`)
    int error = 0;
};

struct Server {
    std::deque<Read> reads;
    Bytes written;
    std::size_t room = SIZE_MAX;  // bytes a write may still take; writes take none once it is 0
    long write_result = 0;        // -1: every write fails with `error`
    int error = 0;
    int connect = 0;         // connect_start's result
    int connect_later = 1;   // connect_result's
    int sockets = 0, closes = 0, nodelay = 0;
    int keepalive[3] = {0, 0, 0};
    long long now_ms = 1000;
    int waits = 0;
    bool stop_in_wait = false;
};

inline Server server;

inline void reads(const Bytes& b) { server.reads.push_back({b, 1, 0}); }
inline void nothing_yet() { server.reads.push_back({{}, PLAT_STREAM_EMPTY, 0}); }
inline void closed() { server.reads.push_back({{}, 0, 0}); }
inline void reset() { server.reads.push_back({{}, -1, ECONNRESET}); }

inline long stream_read(plat_socket_t, void* buffer, std::size_t size)
{
    if (server.reads.empty()) return PLAT_STREAM_EMPTY;
    Read& r = server.reads.front();
    if (r.result != 1) {
        long result = r.result;
        server.error = r.error;
        server.reads.pop_front();
        return result;
    }
    std::size_t n = std::min(size, r.bytes.size());
    std::memcpy(buffer, r.bytes.data(), n);
    r.bytes.erase(r.bytes.begin(), r.bytes.begin() + static_cast<long>(n));
    if (r.bytes.empty()) server.reads.pop_front();
    return static_cast<long>(n);
}

inline long stream_write(plat_socket_t, const void* data, std::size_t length)
{
    if (server.write_result < 0) return -1;
    std::size_t n = std::min(length, server.room);
    server.room -= n;
    const auto* p = static_cast<const std::uint8_t*>(data);
    server.written.insert(server.written.end(), p, p + n);
    return static_cast<long>(n);
}

// Installs the fakes over the operating system's tables, a fresh server and a fresh client.
inline void install()
{
    server = Server{};
    zvcli_reset();
    plat_net = plat_net_os;
    plat_net.startup = [] { return true; };
    plat_net.tcp_socket = [] {
        ++server.sockets;
        return SOCKET;
    };
    plat_net.close = [](plat_socket_t) { ++server.closes; };
    plat_net.set_nonblocking = [](plat_socket_t) { return 0; };
    plat_net.set_nodelay = [](plat_socket_t) { return ++server.nodelay, 0; };
    plat_net.set_keepalive = [](plat_socket_t, int idle, int interval, int probes) {
        server.keepalive[0] = idle;
        server.keepalive[1] = interval;
        server.keepalive[2] = probes;
        return 0;
    };
    plat_net.connect_start = [](plat_socket_t, const sockaddr_in*) { return server.connect; };
    plat_net.connect_result = [](plat_socket_t) { return server.connect_later; };
    plat_net.stream_read = stream_read;
    plat_net.stream_write = stream_write;
    plat_net.last_error = [] { return server.error; };
    plat_monotonic_ms = [] { return server.now_ms; };
    plat_wait.wait = [](const PlatWaitSources&, long long timeout_ms) -> unsigned {
        ++server.waits;
        if (server.stop_in_wait) return PLAT_WAKE_STOP;
        if (timeout_ms > 0) server.now_ms += timeout_ms;
        return 0;
    };
}

// What a SimConnect.cfg naming 127.0.0.1:5000 in section 0 gives the client.
inline void choose_server()
{
    zvcli_state.found = ZVCLI_CONFIG_GOOD;
    zvcli_state.config.file = "SimConnect.cfg";
    zvcli_state.config.address = htonl(INADDR_LOOPBACK);
    zvcli_state.config.port = 5000;
    std::strcpy(plat_sim_link_info.server, "127.0.0.1:5000");
}

// A message as a server sends it, with the KittyHawk protocol in its header.
template <typename Record>
Bytes message(const Record& r)
{
    Bytes b(ZVSW_RECV_OPEN_SIZE);
    b.resize(zvsw_encode_record(b.data(), ZVCLI_PROTOCOL, r));
    return b;
}
inline Bytes data_message(std::uint32_t request_id, std::uint32_t data_size, std::uint8_t fill)
{
    Bytes data(data_size, fill);
    SIMCONNECT_RECV_SIMOBJECT_DATA r{};
    r.dwRequestID = request_id;
    r.dwDefineCount = 1;
    Bytes b(ZVSW_RECV_SIMOBJECT_DATA_SIZE + data_size);
    b.resize(zvsw_encode_record(b.data(), ZVCLI_PROTOCOL, r, data.data(), data_size));
    return b;
}
inline Bytes open_message() { return message(SIMCONNECT_RECV_OPEN{}); }
inline Bytes event_message(DWORD event, DWORD data)
{
    SIMCONNECT_RECV_EVENT e{};
    e.uEventID = event;
    e.dwData = data;
    return message(e);
}
inline Bytes exception_message(DWORD send_id)
{
    SIMCONNECT_RECV_EXCEPTION e{};
    e.dwException = SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED;
    e.dwSendID = send_id;
    e.dwIndex = 1;
    return message(e);
}
inline Bytes quit_message() { return message(SIMCONNECT_RECV_QUIT{}); }
inline Bytes size_only(std::uint32_t size)
{
    Bytes b(4);
    std::memcpy(b.data(), &size, 4);
    return b;
}
inline Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// What the dispatch procedure was handed: each message's bytes as it saw them, its size
// argument, and whether it sat on an 8-byte boundary.
struct Handed {
    std::vector<Bytes> messages;
    std::vector<DWORD> ids;
    bool all_aligned = true;
    bool sizes_agree = true;  // cbData is the message's own dwSize every time
};

inline void CALLBACK keep(SIMCONNECT_RECV* m, DWORD cb, void* context)
{
    auto* h = static_cast<Handed*>(context);
    const auto* p = reinterpret_cast<const std::uint8_t*>(m);
    h->messages.emplace_back(p, p + cb);
    h->ids.push_back(m->dwID);
    h->all_aligned = h->all_aligned && reinterpret_cast<std::uintptr_t>(m) % 8 == 0;
    h->sizes_agree = h->sizes_agree && m->dwSize == cb;
}

}  // namespace fake
