// POSIX sockets behind platform/net.h.
#include "platform/net.h"

#include <fcntl.h>
#include <netinet/tcp.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool os_startup()
{
    // A send on a TCP connection the peer has closed must fail, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

plat_socket_t os_udp_socket() { return ::socket(AF_INET, SOCK_DGRAM, 0); }
plat_socket_t os_tcp_socket() { return ::socket(AF_INET, SOCK_STREAM, 0); }

int os_bind(plat_socket_t s, std::uint32_t addr, unsigned int port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    sa.sin_addr.s_addr = addr;
    return ::bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : -1;
}

int os_listen(plat_socket_t s, int backlog) { return ::listen(s, backlog) == 0 ? 0 : -1; }

plat_socket_t os_accept(plat_socket_t s, sockaddr_in* from)
{
    socklen_t len = sizeof(sockaddr_in);
    return ::accept(s, reinterpret_cast<sockaddr*>(from), &len);
}

int os_connect(plat_socket_t s, const sockaddr_in* to)
{
    return ::connect(s, reinterpret_cast<const sockaddr*>(to), sizeof(sockaddr_in)) == 0 ? 0 : -1;
}

long os_send_to(plat_socket_t s, const void* data, std::size_t length, const sockaddr_in* to)
{
    return static_cast<long>(
        ::sendto(s, data, length, 0, reinterpret_cast<const sockaddr*>(to), sizeof(sockaddr_in)));
}

long os_recv_from(plat_socket_t s, void* buffer, std::size_t size, sockaddr_in* from)
{
    iovec iov{buffer, size};
    msghdr msg{};
    msg.msg_name = from;
    msg.msg_namelen = sizeof(sockaddr_in);
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    // MSG_DONTWAIT: a datagram that poll announced may still be discarded (a bad checksum),
    // and a blocking read would then wait for the next one.
    ssize_t n = ::recvmsg(s, &msg, MSG_DONTWAIT);
    if (n < 0) return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? PLAT_RECV_DROPPED : -1;
    // A datagram too long for the buffer is dropped whole rather than handed on cut short.
    if (msg.msg_flags & MSG_TRUNC) return PLAT_RECV_DROPPED;
    return static_cast<long>(n);
}

long os_recv(plat_socket_t s, void* buffer, std::size_t size)
{
    return static_cast<long>(::recv(s, buffer, size, 0));
}

int os_readable(plat_socket_t s)
{
    // poll rather than select: select cannot watch descriptors numbered FD_SETSIZE or above.
    pollfd p{s, POLLIN, 0};
    int r = ::poll(&p, 1, 0);
    if (r < 0) return -1;
    return (r > 0 && (p.revents & (POLLIN | POLLERR | POLLHUP))) ? 1 : 0;
}

void os_close(plat_socket_t s) { ::close(s); }

int os_join_multicast(plat_socket_t s, std::uint32_t group)
{
    ip_mreq mreq{};
    mreq.imr_multiaddr.s_addr = group;
    mreq.imr_interface.s_addr = htonl(INADDR_ANY);
    return ::setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &mreq, sizeof mreq) == 0 ? 0 : -1;
}

int os_last_error() { return errno; }

int os_multicast_interface(plat_socket_t s, std::uint32_t local_addr)
{
    in_addr a{};
    a.s_addr = local_addr;
    return ::setsockopt(s, IPPROTO_IP, IP_MULTICAST_IF, &a, sizeof a) == 0 ? 0 : -1;
}

int os_set_nonblocking(plat_socket_t s)
{
    int flags = ::fcntl(s, F_GETFL);
    return flags >= 0 && ::fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0 ? 0 : -1;
}

int set_int_option(plat_socket_t s, int level, int name, int value)
{
    return ::setsockopt(s, level, name, &value, sizeof value) == 0 ? 0 : -1;
}

int os_set_nodelay(plat_socket_t s) { return set_int_option(s, IPPROTO_TCP, TCP_NODELAY, 1); }

int os_set_keepalive(plat_socket_t s, int idle_s, int interval_s, int probes)
{
    int failed = set_int_option(s, SOL_SOCKET, SO_KEEPALIVE, 1);
#ifdef TCP_KEEPIDLE
    failed |= set_int_option(s, IPPROTO_TCP, TCP_KEEPIDLE, idle_s);
    failed |= set_int_option(s, IPPROTO_TCP, TCP_KEEPINTVL, interval_s);
    failed |= set_int_option(s, IPPROTO_TCP, TCP_KEEPCNT, probes);
#else
    (void)idle_s, (void)interval_s, (void)probes;
#endif
    return failed != 0 ? -1 : 0;
}

int os_set_reuse_address(plat_socket_t s) { return set_int_option(s, SOL_SOCKET, SO_REUSEADDR, 1); }

int os_connect_start(plat_socket_t s, const sockaddr_in* to)
{
    if (::connect(s, reinterpret_cast<const sockaddr*>(to), sizeof(sockaddr_in)) == 0) return 0;
    return errno == EINPROGRESS || errno == EINTR ? 1 : -1;
}

int os_connect_result(plat_socket_t s)
{
    pollfd p{s, POLLOUT, 0};
    int r = ::poll(&p, 1, 0);
    if (r < 0) return -1;
    if (r == 0) return 1;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return -1;
    if (error == 0) return 0;
    errno = error;
    return -1;
}

long os_stream_read(plat_socket_t s, void* buffer, std::size_t size)
{
    ssize_t n = ::recv(s, buffer, size, MSG_DONTWAIT);
    if (n >= 0) return static_cast<long>(n);
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? PLAT_STREAM_EMPTY : -1;
}

long os_stream_write(plat_socket_t s, const void* data, std::size_t length)
{
    // MSG_NOSIGNAL: a peer that has gone makes this fail, not the process end.
    ssize_t n = ::send(s, data, length, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) return static_cast<long>(n);
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
}

}  // namespace

const PlatNetApi plat_net_os = {
    os_startup, os_udp_socket, os_tcp_socket, os_bind,     os_listen,   os_accept,
    os_connect, os_send_to,    os_recv_from,  os_recv,     os_readable, os_close,
    os_join_multicast, os_last_error, os_multicast_interface,
    os_set_nonblocking, os_set_nodelay, os_set_keepalive, os_set_reuse_address,
    os_connect_start, os_connect_result, os_stream_read, os_stream_write,
};

PlatNetApi plat_net = plat_net_os;
