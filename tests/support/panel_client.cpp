// A hand-made ZVMP panel for the tests (see panel_client.h).
#include "tests/support/panel_client.h"

#include <chrono>
#include <cstring>
#include <stdexcept>

#include "tests/support/test_socket.h"

namespace panel {

namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t get32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

float Message::f32() const
{
    float f = 0;
    if (payload.size() >= 4) std::memcpy(&f, payload.data(), 4);
    return f;
}

double Message::f64() const
{
    double d = 0;
    if (payload.size() >= 8) std::memcpy(&d, payload.data(), 8);
    return d;
}

std::uint32_t Message::word(unsigned int index) const
{
    if (payload.size() < 4 * (index + 1)) return 0;
    return get32(payload.data() + 4 * index);
}

std::vector<std::uint32_t> Packet::ids() const
{
    std::vector<std::uint32_t> out;
    for (const auto& m : messages) out.push_back(m.id);
    return out;
}

const Message* Packet::find(std::uint32_t id) const
{
    for (const auto& m : messages)
        if (m.id == id) return &m;
    return nullptr;
}

bool Packet::is_hello() const { return !messages.empty() && messages[0].id == 0x02010101; }
bool Packet::is_position() const
{
    return !messages.empty() && messages[0].id == 0x27021101 && messages.size() == 20;
}
bool Packet::is_full() const { return !messages.empty() && messages[0].id == 0x27021101 && messages.size() > 20; }
bool Packet::is_speed_limits() const { return !messages.empty() && messages[0].id == 0x26011401; }

std::vector<std::uint8_t> packet_bytes(std::uint32_t node_type, const std::vector<Message>& messages)
{
    std::vector<std::uint8_t> body;
    for (const auto& m : messages) {
        put32(body, m.id);
        body.insert(body.end(), m.payload.begin(), m.payload.end());
    }
    std::vector<std::uint8_t> out;
    put32(out, node_type);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, static_cast<std::uint32_t>(24 + body.size()));
    put32(out, static_cast<std::uint32_t>(messages.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Packet parse(const std::vector<std::uint8_t>& bytes)
{
    Packet p{};
    p.bytes = bytes;
    if (bytes.size() < 24) return p;
    p.node_type = get32(bytes.data());
    p.length = get32(bytes.data() + 16);
    p.msg_count = get32(bytes.data() + 20);
    std::size_t at = 24;
    for (std::uint32_t i = 0; i < p.msg_count && at + 4 <= bytes.size(); ++i) {
        Message m;
        m.id = get32(bytes.data() + at);
        std::size_t n = 4 * ((m.id >> 16) & 0xFF);
        at += 4;
        if (at + n > bytes.size()) break;
        m.payload.assign(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + n));
        at += n;
        p.messages.push_back(std::move(m));
    }
    return p;
}

Message f32_message(std::uint32_t id, float value)
{
    Message m{id, std::vector<std::uint8_t>(4)};
    std::memcpy(m.payload.data(), &value, 4);
    return m;
}

Message word_message(std::uint32_t id, std::uint32_t value)
{
    Message m{id, {}};
    put32(m.payload, value);
    return m;
}

Client::Client(std::uint32_t node_type) : node_type_(node_type)
{
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd_ == PLAT_INVALID_SOCKET) throw std::runtime_error("panel socket");
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) throw std::runtime_error("panel bind");
    port_ = tsock::local_port(fd_);
    int size = 1 << 20;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size);
}

Client::~Client()
{
    if (fd_ != PLAT_INVALID_SOCKET) tsock::close(fd_);
}

void Client::send_raw(const std::vector<std::uint8_t>& bytes, unsigned int to_port)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<std::uint16_t>(to_port));
    tsock::send_to(fd_, bytes.data(), bytes.size(), to);
}

void Client::send(const std::vector<Message>& messages, unsigned int to_port)
{
    send_raw(packet_bytes(node_type_, messages), to_port);
}

void Client::hello(unsigned int to_port) { send({word_message(0x02010101, node_type_)}, to_port); }

void Client::request_stream(unsigned int to_port)
{
    send({word_message(0x02010101, node_type_), Message{0x01000102, {}}}, to_port);
}

void Client::stop_stream(unsigned int to_port)
{
    send({word_message(0x02010101, node_type_), Message{0x01000103, {}}}, to_port);
}

void Client::send_float(std::uint32_t id, float value, unsigned int to_port)
{
    send({f32_message(id, value)}, to_port);
}

std::vector<Packet> Client::drain()
{
    std::vector<Packet> out;
    std::vector<std::uint8_t> buf(2048);
    for (;;) {
        sockaddr_in from{};
        ssize_t n = tsock::recv_now(fd_, buf.data(), buf.size(), &from);
        if (n <= 0) break;
        out.push_back(parse(std::vector<std::uint8_t>(buf.begin(), buf.begin() + n)));
        out.back().from_port = ntohs(from.sin_port);
    }
    return out;
}

std::vector<Packet> Client::receive_for(int timeout_ms)
{
    std::vector<Packet> out;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        if (!tsock::wait_readable(fd_, static_cast<int>(left.count()))) break;
        auto got = drain();
        out.insert(out.end(), got.begin(), got.end());
    }
    return out;
}

std::optional<Packet> start_streaming(Client& client, unsigned int to_port)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        client.request_stream(to_port);
        for (auto& p : client.receive_for(100))
            if (p.is_full()) return p;
    }
    return std::nullopt;
}

}  // namespace panel
