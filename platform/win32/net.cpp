// Winsock 2 behind platform/net.h. Winsock is started once, at version 2.2, and never shut down.
#include "platform/net.h"

#include <climits>

namespace {

bool os_startup()
{
    static bool started = false;
    if (!started) {
        WSADATA data{};
        started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    return started;
}

plat_socket_t os_udp_socket() { return ::socket(AF_INET, SOCK_DGRAM, 0); }
plat_socket_t os_tcp_socket() { return ::socket(AF_INET, SOCK_STREAM, 0); }

int os_bind(plat_socket_t s, std::uint32_t addr, unsigned int port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<u_short>(port));
    sa.sin_addr.s_addr = addr;
    return ::bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : -1;
}

int os_listen(plat_socket_t s, int backlog) { return ::listen(s, backlog) == 0 ? 0 : -1; }

plat_socket_t os_accept(plat_socket_t s, sockaddr_in* from)
{
    int len = sizeof(sockaddr_in);
    return ::accept(s, reinterpret_cast<sockaddr*>(from), &len);
}

int os_connect(plat_socket_t s, const sockaddr_in* to)
{
    return ::connect(s, reinterpret_cast<const sockaddr*>(to), sizeof(sockaddr_in)) == 0 ? 0 : -1;
}

long os_send_to(plat_socket_t s, const void* data, std::size_t length, const sockaddr_in* to)
{
    if (length > INT_MAX) return -1;
    int n = ::sendto(s, static_cast<const char*>(data), static_cast<int>(length), 0,
                     reinterpret_cast<const sockaddr*>(to), sizeof(sockaddr_in));
    if (n != SOCKET_ERROR) return n;
    // The message socket is non-blocking (platform/wait.h): a full send buffer costs the one
    // datagram.
    return ::WSAGetLastError() == WSAEWOULDBLOCK ? PLAT_SEND_DROPPED : -1;
}

long os_recv_from(plat_socket_t s, void* buffer, std::size_t size, sockaddr_in* from)
{
    int len = sizeof(sockaddr_in);
    int n = ::recvfrom(s, static_cast<char*>(buffer), static_cast<int>(size > INT_MAX ? INT_MAX : size), 0,
                       reinterpret_cast<sockaddr*>(from), &len);
    return n != SOCKET_ERROR ? n : plat_recv_failure(::WSAGetLastError());
}

long os_recv(plat_socket_t s, void* buffer, std::size_t size)
{
    return ::recv(s, static_cast<char*>(buffer), static_cast<int>(size > INT_MAX ? INT_MAX : size), 0);
}

int os_readable(plat_socket_t s)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval zero{0, 0};
    int r = ::select(0, &set, nullptr, nullptr, &zero);
    if (r == SOCKET_ERROR) return -1;
    return (r > 0 && FD_ISSET(s, &set)) ? 1 : 0;
}

void os_close(plat_socket_t s) { ::closesocket(s); }

int os_join_multicast(plat_socket_t s, std::uint32_t group)
{
    ip_mreq mreq{};
    mreq.imr_multiaddr.s_addr = group;
    mreq.imr_interface.s_addr = htonl(INADDR_ANY);
    return ::setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&mreq), sizeof mreq) == 0
               ? 0
               : -1;
}

int os_last_error() { return ::WSAGetLastError(); }

int os_multicast_interface(plat_socket_t s, std::uint32_t local_addr)
{
    in_addr a{};
    a.s_addr = local_addr;
    return ::setsockopt(s, IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<const char*>(&a), sizeof a) == 0 ? 0 : -1;
}

// The stream operations, for completeness: the programs that speak the simulator's protocol over
// TCP (zvsim, the client of a simulator on another computer) are built for Linux.
int os_set_nonblocking(plat_socket_t s)
{
    u_long on = 1;
    return ::ioctlsocket(s, FIONBIO, &on) == 0 ? 0 : -1;
}

int set_int_option(plat_socket_t s, int level, int name, int value)
{
    return ::setsockopt(s, level, name, reinterpret_cast<const char*>(&value), sizeof value) == 0 ? 0 : -1;
}

int os_set_nodelay(plat_socket_t s) { return set_int_option(s, IPPROTO_TCP, TCP_NODELAY, 1); }
int os_set_keepalive(plat_socket_t s, int, int, int) { return set_int_option(s, SOL_SOCKET, SO_KEEPALIVE, 1); }
int os_set_reuse_address(plat_socket_t s) { return set_int_option(s, SOL_SOCKET, SO_REUSEADDR, 1); }

int os_connect_start(plat_socket_t s, const sockaddr_in* to)
{
    if (::connect(s, reinterpret_cast<const sockaddr*>(to), sizeof(sockaddr_in)) == 0) return 0;
    return ::WSAGetLastError() == WSAEWOULDBLOCK ? 1 : -1;
}

int os_connect_result(plat_socket_t s)
{
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval zero{0, 0};
    int r = ::select(0, nullptr, &writable, &failed, &zero);
    if (r == SOCKET_ERROR || FD_ISSET(s, &failed)) return -1;
    return FD_ISSET(s, &writable) ? 0 : 1;
}

long os_stream_read(plat_socket_t s, void* buffer, std::size_t size)
{
    int n = ::recv(s, static_cast<char*>(buffer), static_cast<int>(size > INT_MAX ? INT_MAX : size), 0);
    if (n != SOCKET_ERROR) return n;
    return ::WSAGetLastError() == WSAEWOULDBLOCK ? PLAT_STREAM_EMPTY : -1;
}

long os_stream_write(plat_socket_t s, const void* data, std::size_t length)
{
    int n = ::send(s, static_cast<const char*>(data), static_cast<int>(length > INT_MAX ? INT_MAX : length), 0);
    if (n != SOCKET_ERROR) return n;
    return ::WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

}  // namespace

long plat_recv_failure(int wsa_error)
{
    switch (wsa_error) {
    // The datagram was longer than the buffer: Winsock discards the rest, and the cut datagram
    // is dropped whole rather than handed on.
    case WSAEMSGSIZE:
    // An ICMP "port unreachable" for an earlier send (a peer whose panel is not running): the
    // report of that one send, not a fault of this socket.
    case WSAECONNRESET:
    case WSAEWOULDBLOCK:
        return PLAT_RECV_DROPPED;
    default:
        return -1;
    }
}

const PlatNetApi plat_net_os = {
    os_startup, os_udp_socket, os_tcp_socket, os_bind,     os_listen,   os_accept,
    os_connect, os_send_to,    os_recv_from,  os_recv,     os_readable, os_close,
    os_join_multicast, os_last_error, os_multicast_interface,
    os_set_nonblocking, os_set_nodelay, os_set_keepalive, os_set_reuse_address,
    os_connect_start, os_connect_result, os_stream_read, os_stream_write,
};

PlatNetApi plat_net = plat_net_os;
