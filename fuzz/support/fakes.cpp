// The fake platform of the fuzz targets (see fakes.h).
#include "fuzz/support/fakes.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/zvmpnet.h"
#include "platform/clock.h"
#include "platform/serial.h"
#include "platform/signals.h"

namespace zvfuzz {

Fakes fakes;

namespace {

// Descriptor numbers no real socket or device of this process is likely to have, so that a
// call that slipped past the fakes would fail rather than touch something.
constexpr plat_socket_t FIRST_FAKE_SOCKET = 900'000;
constexpr plat_serial_t FAKE_SERIAL = 900'999;
plat_socket_t next_socket = FIRST_FAKE_SOCKET;

bool take(unsigned int& failures)
{
    if (failures == 0) return false;
    --failures;
    return true;
}

bool net_startup() { return true; }

plat_socket_t net_udp_socket()
{
    if (take(fakes.fail_sockets)) return PLAT_INVALID_SOCKET;
    ++fakes.sockets_open;
    return next_socket++;
}

plat_socket_t net_tcp_socket() { return PLAT_INVALID_SOCKET; }
int net_bind(plat_socket_t, std::uint32_t, unsigned int) { return 0; }
int net_listen(plat_socket_t, int) { return -1; }
plat_socket_t net_accept(plat_socket_t, sockaddr_in*) { return PLAT_INVALID_SOCKET; }
int net_connect(plat_socket_t, const sockaddr_in*) { return -1; }

long net_send_to(plat_socket_t s, const void* data, std::size_t length, const sockaddr_in* to)
{
    check(s >= FIRST_FAKE_SOCKET && s < next_socket, "send on a socket that was never opened");
    check(data != nullptr && to != nullptr, "send without data or destination");
    check(length <= ZVMP_PKT_BUFFER_SIZE, "datagram sent above the packet buffer size");
    if (length >= ZVMP_PKT_HEADER_SIZE) {
        zvmp_pkt_s header;
        std::memcpy(&header, data, ZVMP_PKT_HEADER_SIZE);
        check(header.length == length, "datagram sent with a length field that is not its size");
    }
    // Every byte sent is read, so a send from beyond its buffer shows under AddressSanitizer.
    auto* bytes = static_cast<const std::uint8_t*>(data);
    volatile std::uint8_t sum = 0;
    for (std::size_t i = 0; i < length; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
    ++fakes.datagrams_sent;
    if (fakes.keep_sent) fakes.sent.emplace_back(bytes, bytes + length);
    if (take(fakes.fail_sends)) return -1;
    return static_cast<long>(length);
}

long net_recv_from(plat_socket_t, void* buffer, std::size_t size, sockaddr_in* from)
{
    if (take(fakes.fail_receives)) return -1;
    if (fakes.datagrams.empty()) return PLAT_RECV_DROPPED;
    Datagram d = std::move(fakes.datagrams.front());
    fakes.datagrams.pop_front();
    // As the operating system back ends do: a datagram longer than the buffer is dropped whole.
    if (d.bytes.size() > size) return PLAT_RECV_DROPPED;
    if (!d.bytes.empty()) std::memcpy(buffer, d.bytes.data(), d.bytes.size());
    if (from != nullptr) *from = d.from;
    return static_cast<long>(d.bytes.size());
}

long net_recv(plat_socket_t, void*, std::size_t) { return -1; }
int net_readable(plat_socket_t) { return fakes.datagrams.empty() && fakes.fail_receives == 0 ? 0 : 1; }

void net_close(plat_socket_t s)
{
    check(s >= FIRST_FAKE_SOCKET && s < next_socket, "close of a socket that was never opened");
    --fakes.sockets_open;
}

int net_join_multicast(plat_socket_t, std::uint32_t) { return 0; }
// Every failure reports an input-output error.
int net_last_error() { return EIO; }
int net_multicast_interface(plat_socket_t, std::uint32_t) { return 0; }

const PlatNetApi FAKE_NET = {
    net_startup, net_udp_socket, net_tcp_socket, net_bind, net_listen, net_accept, net_connect,
    net_send_to, net_recv_from,  net_recv,       net_readable, net_close, net_join_multicast, net_last_error,
    net_multicast_interface,
};

plat_serial_t serial_open(const char*)
{
    check(!fakes.serial_open, "serial port opened twice");
    if (fakes.serial_gone) {
        fakes.serial_error = ENOENT;
        return PLAT_INVALID_SERIAL;
    }
    fakes.serial_open = true;
    return FAKE_SERIAL;
}

bool serial_configure(plat_serial_t port) { return port == FAKE_SERIAL; }

long serial_read(plat_serial_t port, void* buffer, std::size_t size)
{
    check(port == FAKE_SERIAL && fakes.serial_open, "read from a serial port that is not open");
    // As a terminal that has hung up: nothing to read, for ever.
    if (fakes.serial.empty() || fakes.serial_gone) return 0;
    SerialChunk& c = fakes.serial.front();
    if (c.fail) {
        fakes.serial.pop_front();
        fakes.serial_error = EAGAIN;
        return -1;
    }
    std::size_t n = c.bytes.size() < size ? c.bytes.size() : size;
    std::memcpy(buffer, c.bytes.data(), n);
    c.bytes.erase(c.bytes.begin(), c.bytes.begin() + static_cast<std::ptrdiff_t>(n));
    if (c.bytes.empty()) fakes.serial.pop_front();
    return static_cast<long>(n);
}

long serial_write(plat_serial_t port, const void* data, std::size_t length)
{
    check(port == FAKE_SERIAL && fakes.serial_open, "write to a serial port that is not open");
    check(data != nullptr && length > 0, "empty serial write");
    auto* text = static_cast<const char*>(data);
    check(text[length - 1] == '\0', "serial write not NUL-terminated");
    check(std::strlen(text) == length - 1, "serial write with a NUL inside its text");
    ++fakes.serial_writes;
    if (fakes.serial_gone || take(fakes.fail_serial_writes)) {
        fakes.serial_error = fakes.serial_gone ? EIO : EAGAIN;
        return -1;
    }
    return static_cast<long>(length);
}

void serial_close(plat_serial_t port)
{
    check(port == FAKE_SERIAL && fakes.serial_open, "close of a serial port that is not open");
    fakes.serial_open = false;
}

bool serial_gone(plat_serial_t port)
{
    check(port == FAKE_SERIAL && fakes.serial_open, "look at a serial port that is not open");
    if (fakes.serial_gone) fakes.serial_error = EIO;
    return fakes.serial_gone;
}

int serial_last_error() { return fakes.serial_error; }

const PlatSerialApi FAKE_SERIAL_API = {serial_open,  serial_configure, serial_read,      serial_write,
                                       serial_close, serial_gone,      serial_last_error};

long long fake_time() { return fakes.now; }
long long fake_monotonic_ms() { return fakes.monotonic_ms; }
void fake_sleep(unsigned int ms)
{
    fakes.slept_ms += ms;
    fakes.monotonic_ms += ms;
}

bool fake_install_stop(plat_stop_flag*) { return true; }
void fake_finished() {}
// The built-in simulator's signals are never raised by a fuzz target.
bool fake_install_user(plat_stop_flag*, plat_stop_flag*) { return true; }

const PlatSignalApi FAKE_SIGNALS = {fake_install_stop, fake_finished, fake_install_user};

}  // namespace

void install_fakes()
{
    plat_net = FAKE_NET;
    plat_serial = FAKE_SERIAL_API;
    plat_signals = FAKE_SIGNALS;
    plat_time = fake_time;
    plat_monotonic_ms = fake_monotonic_ms;
    plat_sleep_ms = fake_sleep;
}

void reset_fakes()
{
    fakes = Fakes{};
}

void queue_datagram(const char* addr, std::uint16_t port, const std::uint8_t* data, std::size_t size)
{
    Datagram d;
    d.from.sin_family = AF_INET;
    d.from.sin_port = htons(port);
    d.from.sin_addr.s_addr = inet_addr(addr);
    d.bytes.assign(data, data + size);
    fakes.datagrams.push_back(std::move(d));
}

void check(bool ok, const char* what)
{
    if (ok) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

}  // namespace zvfuzz
