// Helpers for the network tests: replaceable clocks, the test's own loopback sockets, datagram
// building from 32-bit words, and a recorder of the datagrams the network sends.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/zvmpallow.h"
#include "net/zvmpnet.h"
#include "platform/clock.h"
#include "platform/net.h"
#include "tests/support/test_socket.h"

namespace nt {

using Bytes = std::vector<std::uint8_t>;

// ---- Clocks ----

// Seconds on both clocks: the wall clock reads clock_s + wall_step_s, the monotonic clock
// clock_s * 1000 milliseconds, so that a step of the wall clock leaves the monotonic one alone.
inline long long clock_s = 1000;
inline long long wall_step_s = 0;
inline long long fake_time() { return clock_s + wall_step_s; }
inline long long fake_monotonic_ms() { return clock_s * 1000; }
inline void use_fake_clock(long long now)
{
    clock_s = now;
    plat_time = fake_time;
    plat_monotonic_ms = fake_monotonic_ms;
}

// ---- Bytes ----

inline void append_word(Bytes& out, std::uint32_t w)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(w >> (8 * i)));
}

inline Bytes words(const std::vector<std::uint32_t>& ws)
{
    Bytes out;
    for (std::uint32_t w : ws) append_word(out, w);
    return out;
}

inline std::uint32_t float_word(float f)
{
    std::uint32_t w;
    std::memcpy(&w, &f, sizeof w);
    return w;
}

// A header packet holding `body`; its length field is the real size unless one is given.
inline Bytes packet(std::uint32_t node_type, std::uint32_t msg_count, const std::vector<std::uint32_t>& body,
                    long long length = -1)
{
    std::uint32_t real = static_cast<std::uint32_t>(24 + 4 * body.size());
    Bytes out = words({node_type, 0, 0, 0, length < 0 ? real : static_cast<std::uint32_t>(length), msg_count});
    Bytes rest = words(body);
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

// A message id of `n` payload words followed by n words of filler.
inline std::vector<std::uint32_t> message_of_words(std::uint32_t id_without_length, std::uint32_t n)
{
    std::vector<std::uint32_t> out{id_without_length | (n << 16)};
    for (std::uint32_t i = 0; i < n; ++i) out.push_back(0xA0000000 + i);
    return out;
}

inline Bytes packet_bytes(const zvmp_pkt_s* pkt)
{
    auto* p = reinterpret_cast<const std::uint8_t*>(pkt);
    return Bytes(p, p + pkt->length);
}

// ---- Sockets ----

using tsock::local_port;
using tsock::wait_readable;

inline sockaddr_in loopback(unsigned int port, const char* addr = "127.0.0.1")
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    sa.sin_addr.s_addr = inet_addr(addr);
    return sa;
}

// A UDP socket of the test, bound on 127.0.0.1 (port 0: any free port).
struct UdpEnd {
    plat_socket_t fd = PLAT_INVALID_SOCKET;
    unsigned int port = 0;
    explicit UdpEnd(unsigned int want = 0, const char* addr = "127.0.0.1")
    {
        fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in sa = loopback(want, addr);
        if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) ADD_FAILURE() << "test bind " << want;
        port = local_port(fd);
    }
    ~UdpEnd() { tsock::close(fd); }
    UdpEnd(const UdpEnd&) = delete;
    UdpEnd& operator=(const UdpEnd&) = delete;

    void send(const Bytes& b, unsigned int to_port, const char* to_addr = "127.0.0.1") const
    {
        sockaddr_in to = loopback(to_port, to_addr);
        ASSERT_EQ(tsock::send_to(fd, b.data(), b.size(), to), static_cast<ssize_t>(b.size()));
    }
    // The next datagram, or an empty result when none comes within the timeout.
    Bytes receive(int timeout_ms = 2000) const
    {
        if (!wait_readable(fd, timeout_ms)) return {};
        Bytes b(2048);
        ssize_t n = tsock::recv_now(fd, b.data(), b.size());
        b.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return b;
    }
};

// ---- The network under test ----

// This system's node on the first free port of the range, with the clock replaced.
inline void open_node(long long now = 1000)
{
    use_fake_clock(now);
    zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
    ASSERT_TRUE(zvmp_network_is_open());
}

// ---- Recording sends ----

struct Sent {
    std::string addr;
    unsigned int port;
    Bytes bytes;
};
inline std::vector<Sent> sends;
// Index of the send that fails (-1: none).
inline int failing_send = -1;

inline long recording_send_to(plat_socket_t s, const void* data, std::size_t length, const sockaddr_in* to)
{
    auto* p = static_cast<const std::uint8_t*>(data);
    sends.push_back({inet_ntoa(to->sin_addr), ntohs(to->sin_port), Bytes(p, p + length)});
    if (static_cast<int>(sends.size()) - 1 == failing_send) return -1;
    return plat_net_os.send_to(s, data, length, to);
}

inline void record_sends() { plat_net.send_to = recording_send_to; }

inline std::vector<std::string> destinations()
{
    std::vector<std::string> out;
    for (const Sent& s : sends) out.push_back(s.addr + ":" + std::to_string(s.port));
    return out;
}

// ---- Messages delivered to the hook ----

struct Delivered {
    std::uint32_t id;
    Bytes payload;
    std::string from;
};
inline std::vector<Delivered> delivered;

inline void record_message(unsigned int id, void* data, sockaddr_in* from)
{
    auto* p = static_cast<const std::uint8_t*>(data);
    delivered.push_back({id, Bytes(p, p + zvmp_msg_payload_size(id)),
                         from ? std::string(inet_ntoa(from->sin_addr)) + ":" + std::to_string(ntohs(from->sin_port))
                              : std::string()});
}

inline std::vector<std::uint32_t> delivered_ids()
{
    std::vector<std::uint32_t> out;
    for (const Delivered& d : delivered) out.push_back(d.id);
    return out;
}

}  // namespace nt
