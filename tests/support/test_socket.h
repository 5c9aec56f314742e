// The few socket calls the tests make on their own sockets, the same on POSIX and Winsock:
// waiting for readability, reading without waiting, counting waiting bytes, the bound port and
// closing. Sockets are created and addressed with the ordinary calls (socket, bind, sendto),
// which both systems share.
#pragma once

#include <cstddef>

#include "platform/net.h"

#ifdef _WIN32
using ssize_t = long long;
#else
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tsock {

// Waits up to `timeout_ms` for the socket to be readable.
inline bool wait_readable(plat_socket_t s, int timeout_ms = 2000)
{
#ifdef _WIN32
    WSAPOLLFD p{s, POLLRDNORM, 0};
    return WSAPoll(&p, 1, timeout_ms) == 1;
#else
    pollfd p{s, POLLIN, 0};
    return poll(&p, 1, timeout_ms) == 1;
#endif
}

// One datagram or stream read of what is waiting now, with its sender when `from` is given;
// -1 when nothing is waiting.
inline ssize_t recv_now(plat_socket_t s, void* buffer, std::size_t size, sockaddr_in* from = nullptr)
{
    sockaddr_in ignored{};
    if (from == nullptr) from = &ignored;
#ifdef _WIN32
    int len = sizeof *from;
    if (!wait_readable(s, 0)) return -1;
    return ::recvfrom(s, static_cast<char*>(buffer), static_cast<int>(size), 0, reinterpret_cast<sockaddr*>(from),
                      &len);
#else
    socklen_t len = sizeof *from;
    return ::recvfrom(s, buffer, size, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(from), &len);
#endif
}

inline ssize_t send_to(plat_socket_t s, const void* data, std::size_t length, const sockaddr_in& to)
{
#ifdef _WIN32
    return ::sendto(s, static_cast<const char*>(data), static_cast<int>(length), 0,
                    reinterpret_cast<const sockaddr*>(&to), sizeof to);
#else
    return ::sendto(s, data, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
#endif
}

inline ssize_t send(plat_socket_t s, const void* data, std::size_t length)
{
#ifdef _WIN32
    return ::send(s, static_cast<const char*>(data), static_cast<int>(length), 0);
#else
    return ::send(s, data, length, 0);
#endif
}

// Bytes waiting to be read on a stream socket.
inline int bytes_waiting(plat_socket_t s)
{
#ifdef _WIN32
    u_long n = 0;
    ioctlsocket(s, FIONREAD, &n);
    return static_cast<int>(n);
#else
    int n = 0;
    ioctl(s, FIONREAD, &n);
    return n;
#endif
}

inline unsigned int local_port(plat_socket_t s)
{
    sockaddr_in sa{};
#ifdef _WIN32
    int len = sizeof sa;
#else
    socklen_t len = sizeof sa;
#endif
    getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len);
    return ntohs(sa.sin_port);
}

inline void close(plat_socket_t s)
{
#ifdef _WIN32
    closesocket(s);
#else
    ::close(s);
#endif
}

}  // namespace tsock
