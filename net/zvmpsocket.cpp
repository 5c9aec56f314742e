// Opening the network's sockets: start-up, one attempt a second, the first free port, the
// multicast interface, and the message socket made to wake the main loop's wait.
#include "net/zvmpsocket.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/wait.h"

ZvmpSocketState zvmp_socket_state;
ZvmpFailureHook& zvmp_net_failure_callback = zvmp_socket_state.zvmp_net_failure_callback;

void zvmp_net_report_failure(const char* what, int error)
{
    if (zvmp_net_failure_callback != nullptr) zvmp_net_failure_callback(what, error);
}

plat_socket_t zvmp_open_socket(ZvmpOpenAttempts& attempts, ZvmpSocketKind kind, const char* addr,
                               unsigned int port, ZvmpMulticastInterface* mcast_if)
{
    if (!attempts.winInitialised) {
        if (!plat_net.startup()) return PLAT_INVALID_SOCKET;
        attempts.winInitialised = true;
    }
    long long now = plat_time();
    if (now == attempts.last_init_attempt) return PLAT_INVALID_SOCKET;
    attempts.last_init_attempt = now;

    plat_socket_t s = kind == ZvmpSocketKind::Udp ? plat_net.udp_socket() : plat_net.tcp_socket();
    if (s == PLAT_INVALID_SOCKET) return PLAT_INVALID_SOCKET;
    unsigned int first = port != 0 ? port : ZVMP_FIRST_PORT;
    unsigned int last = port != 0 ? port : ZVMP_LAST_PORT;
    int error = 0;
    s = zvmp_bind_first_free_port(s, addr, first, last, &error);
    if (s == PLAT_INVALID_SOCKET) {
        char what[64];
        std::snprintf(what, sizeof what, "no free %s port in %u-%u", kind == ZvmpSocketKind::Udp ? "UDP" : "TCP",
                      first, last);
        zvmp_net_report_failure(what, error);
        return s;
    }
    if (mcast_if != nullptr) zvmp_apply_multicast_interface(s, *mcast_if);
    // The main loop waits on the message socket; a socket it cannot wait on is still read in
    // every pass.
    if (kind == ZvmpSocketKind::Udp && !plat_wait.watch_socket(s))
        zvmp_net_report_failure("UDP socket cannot wake the main loop; read in passes only", plat_net.last_error());
    return s;
}

void zvmp_apply_multicast_interface(plat_socket_t s, ZvmpMulticastInterface& mcast_if)
{
    if (!mcast_if.set || plat_net.multicast_interface(s, mcast_if.addr) == 0 || mcast_if.refusal_shown) return;
    mcast_if.refusal_shown = true;
    std::printf("\nMulticast interface %s is not an address of this computer, using the default", mcast_if.text);
    std::fflush(stdout);
}

void zvmp_store_init_addr(char (&dst)[ZVMP_ADDR_TEXT_SIZE], const char* src)
{
    if (src == nullptr) src = "0.0.0.0";
    if (src == dst) return;
    std::size_t n = strnlen(src, ZVMP_ADDR_TEXT_SIZE - 1);
    std::memmove(dst, src, n);
    dst[n] = '\0';
}

plat_socket_t zvmp_bind_first_free_port(plat_socket_t s, const char* addr, unsigned int first,
                                        unsigned int last, int* bind_error)
{
    std::uint32_t bind_addr = plat_inet_addr(addr);
    if (bind_addr == INADDR_NONE) bind_addr = 0;
    // Ports above 65535 do not exist; they are not tried rather than wrapped onto others.
    last = std::min(last, 0xFFFFu);
    for (unsigned int port = first; port <= last; ++port) {
        if (plat_net.bind(s, bind_addr, port) == 0) return s;
        if (bind_error != nullptr) *bind_error = plat_net.last_error();
    }
    plat_net.close(s);
    return PLAT_INVALID_SOCKET;
}
