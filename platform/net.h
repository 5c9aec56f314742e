// IPv4 sockets for the message network: UDP and TCP sockets, readability polling with a zero
// timeout, and the dotted-address conversions. The operations are reached through the
// replaceable table `plat_net`, which starts out holding the operating system's implementation,
// so tests can observe calls or make one fail. Addresses and ports inside sockaddr_in are in
// network byte order, as the operating system keeps them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/owned.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using plat_socket_t = SOCKET;
inline constexpr plat_socket_t PLAT_INVALID_SOCKET = INVALID_SOCKET;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
using plat_socket_t = int;
inline constexpr plat_socket_t PLAT_INVALID_SOCKET = -1;
#endif

// Result of recv_from for a datagram the operating system reports but does not deliver
// (one that was too long for the buffer, or an error left behind by an earlier send). It
// costs that one datagram only; the socket stays usable.
inline constexpr long PLAT_RECV_DROPPED = -2;
// Result of stream_read when nothing waits on a stream socket that never blocks.
inline constexpr long PLAT_STREAM_EMPTY = -3;

// Result of send_to for a datagram the system has no room for at the moment (a socket that a
// wait made non-blocking, on Windows): that datagram is lost, the socket stays usable.
inline constexpr long PLAT_SEND_DROPPED = -2;

struct PlatNetApi {
    // Starts the socket library once (Winsock 2.2 on Windows); true on success.
    bool (*startup)();
    // New IPv4 socket, PLAT_INVALID_SOCKET on failure.
    plat_socket_t (*udp_socket)();
    plat_socket_t (*tcp_socket)();
    // Binds to the address (network order) and port (host order); 0 on success.
    int (*bind)(plat_socket_t s, std::uint32_t addr, unsigned int port);
    int (*listen)(plat_socket_t s, int backlog);
    // Accepts one connection, filling `from`; PLAT_INVALID_SOCKET on failure.
    plat_socket_t (*accept)(plat_socket_t s, sockaddr_in* from);
    // Blocking connect; 0 on success.
    int (*connect)(plat_socket_t s, const sockaddr_in* to);
    // One datagram; bytes sent, PLAT_SEND_DROPPED or -1.
    long (*send_to)(plat_socket_t s, const void* data, std::size_t length, const sockaddr_in* to);
    // One datagram of at most `size` bytes; bytes received, -1 on failure or PLAT_RECV_DROPPED.
    long (*recv_from)(plat_socket_t s, void* buffer, std::size_t size, sockaddr_in* from);
    // One read from a stream socket; bytes read, 0 when the peer closed, -1 on failure.
    long (*recv)(plat_socket_t s, void* buffer, std::size_t size);
    // Polls for readability without waiting: 1 readable, 0 not, -1 when the poll fails.
    int (*readable)(plat_socket_t s);
    void (*close)(plat_socket_t s);
    // IP_ADD_MEMBERSHIP for the group (network order) on any interface; 0 on success.
    int (*join_multicast)(plat_socket_t s, std::uint32_t group);
    // The system's error number of the last failed operation (errno, WSAGetLastError).
    int (*last_error)();
    // IP_MULTICAST_IF: multicast sent on the socket leaves through the card holding the local
    // address (network order); 0 on success, -1 when the system refuses the address.
    int (*multicast_interface)(plat_socket_t s, std::uint32_t local_addr);

    // Stream sockets that never block, for the simulator's own protocol (a server's connections,
    // a client's connection to a simulator on another computer).
    // O_NONBLOCK (FIONBIO on Windows); 0 on success.
    int (*set_nonblocking)(plat_socket_t s);
    // TCP_NODELAY: what is written goes out at once; 0 on success.
    int (*set_nodelay)(plat_socket_t s);
    // SO_KEEPALIVE, with the idle time before the first probe, the time between probes and the
    // probes that go unanswered before the connection counts as broken; 0 on success.
    int (*set_keepalive)(plat_socket_t s, int idle_s, int interval_s, int probes);
    // SO_REUSEADDR, so that a server can listen again on a port its last run left in TIME_WAIT.
    int (*set_reuse_address)(plat_socket_t s);
    // Starts a connection on a socket that never blocks: 0 connected, 1 under way, -1 refused
    // or failed (last_error says why).
    int (*connect_start)(plat_socket_t s, const sockaddr_in* to);
    // How a connection under way stands, without waiting: 0 connected, 1 still under way, -1
    // failed (last_error says why).
    int (*connect_result)(plat_socket_t s);
    // One read from a stream socket that never blocks: bytes read, 0 when the peer closed,
    // PLAT_STREAM_EMPTY when nothing waits, -1 on failure (a reset).
    long (*stream_read)(plat_socket_t s, void* buffer, std::size_t size);
    // What the system takes now of `length` bytes: bytes taken (0 when its buffer is full), -1
    // on failure (the peer reset or closed the connection).
    long (*stream_write)(plat_socket_t s, const void* data, std::size_t length);
};

extern PlatNetApi plat_net;
// The operating system's implementation, for tests that wrap single operations.
extern const PlatNetApi plat_net_os;

// A socket and its ownership (platform/owned.h).
struct PlatSocketTraits {
    using Handle = plat_socket_t;
    static Handle invalid() noexcept { return PLAT_INVALID_SOCKET; }
    static void close(Handle s) { plat_net.close(s); }
};
using PlatSocket = PlatOwned<PlatSocketTraits>;

#ifdef _WIN32
// What a failed recvfrom returns, by its WSAGetLastError code: PLAT_RECV_DROPPED for a failure
// that costs the one datagram only, -1 for a failure of the socket.
long plat_recv_failure(int wsa_error);
#endif

// Addresses read one way: four decimal parts from 0 to 255, none with a leading zero (which some
// readers of addresses take for octal). A decimal number from 0 to `max` at `p`, at most three
// digits; and an address at `p` (in network order); each advances `p` past what it read.
bool plat_parse_decimal(const char*& p, unsigned int max, unsigned int& out);
bool plat_parse_address(const char*& p, std::uint32_t& out);

// inet_addr: dotted text to an address in network order; INADDR_NONE when the text is not
// an address (and for "255.255.255.255", which converts to the same value).
std::uint32_t plat_inet_addr(const char* text);
// inet_ntoa: the dotted-decimal text of an address in network order, in a static buffer.
const char* plat_inet_ntoa(std::uint32_t addr);
