// A panel application as the tests play it: a UDP socket on loopback that speaks ZVMP by hand
// (built here byte by byte, independent of the program's own packet code), says hello, asks for
// the stream, sends commands and collects the packets it receives.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/net.h"

namespace panel {

struct Message {
    std::uint32_t id;
    std::vector<std::uint8_t> payload;

    float f32() const;
    double f64() const;
    std::uint32_t word(unsigned int index = 0) const;
};

struct Packet {
    std::uint32_t node_type;
    std::uint32_t length;
    std::uint32_t msg_count;
    std::vector<Message> messages;
    std::vector<std::uint8_t> bytes;
    unsigned int from_port = 0;  // the sender's port, for packets received

    std::vector<std::uint32_t> ids() const;
    const Message* find(std::uint32_t id) const;
    // The first message decides: hello, position (20 messages), full, speed limits, other.
    bool is_hello() const;
    bool is_position() const;
    bool is_full() const;
    bool is_speed_limits() const;
};

class Client {
public:
    // Binds an ephemeral UDP port on 127.0.0.1; `node_type` goes into every packet header.
    explicit Client(std::uint32_t node_type = 0x81060000);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    unsigned int port() const { return port_; }

    // One datagram to 127.0.0.1:`to_port`.
    void send_raw(const std::vector<std::uint8_t>& bytes, unsigned int to_port);
    // A packet of (id, payload) messages with this client's header.
    void send(const std::vector<Message>& messages, unsigned int to_port);
    void hello(unsigned int to_port);
    // Hello followed by a stream request, in one packet.
    void request_stream(unsigned int to_port);
    void stop_stream(unsigned int to_port);
    void send_float(std::uint32_t id, float value, unsigned int to_port);

    // Every datagram waiting now, without blocking.
    std::vector<Packet> drain();
    // Waits up to `timeout_ms` for datagrams; returns what arrived.
    std::vector<Packet> receive_for(int timeout_ms);

private:
    plat_socket_t fd_ = PLAT_INVALID_SOCKET;
    unsigned int port_ = 0;
    std::uint32_t node_type_;
};

std::vector<std::uint8_t> packet_bytes(std::uint32_t node_type, const std::vector<Message>& messages);
Packet parse(const std::vector<std::uint8_t>& bytes);
Message f32_message(std::uint32_t id, float value);
Message word_message(std::uint32_t id, std::uint32_t value);

// Asks the program at `to_port` for the stream until a full packet comes (the program may still
// be starting), 50 times at most, 100 ms apart: that packet.
std::optional<Packet> start_streaming(Client& client, unsigned int to_port);

}  // namespace panel
