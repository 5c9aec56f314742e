// Opening the network's sockets, shared by the UDP network and the TCP server: the platform's
// start-up, at most one attempt per wall-clock second, binding to the first free port of a
// range, and the card that multicast leaves through; and the hook that tells the operator why a
// socket failed, its one piece of state (each caller keeps its own attempts and settings).
#pragma once

#include <cstdint>

#include "platform/net.h"
#include "protocol/network.h"

// Room for a local address as text; at most ZVMP_ADDR_TEXT_SIZE - 1 characters are kept.
inline constexpr unsigned int ZVMP_ADDR_TEXT_SIZE = 64;

enum class ZvmpSocketKind { Udp, Tcp };

// One caller's attempts to open its socket.
struct ZvmpOpenAttempts {
    bool winInitialised = false;      // the platform's socket start-up succeeded once
    long long last_init_attempt = 0;  // wall-clock second of the last attempt
};

// The card that multicast sent on a socket leaves through (IP_MULTICAST_IF), when one is set:
// the local address that names it and that address as it was given.
struct ZvmpMulticastInterface {
    bool set = false;
    std::uint32_t addr = 0;  // network order
    char text[ZVMP_ADDR_TEXT_SIZE] = "";
    bool refusal_shown = false;  // the system's refusal of this address was printed
};

// A new socket bound on `addr` (text, any address when the text is not one) to `port`, or to the
// first free port from ZVMP_FIRST_PORT to ZVMP_LAST_PORT when `port` is 0, with the multicast
// interface applied when one is given; a UDP socket is also handed to plat_wait.watch_socket.
// PLAT_INVALID_SOCKET when the platform does not start, when an attempt was already made in this
// wall-clock second, or when no port is free (reported as "no free UDP port in 59000-59999").
plat_socket_t zvmp_open_socket(ZvmpOpenAttempts& attempts, ZvmpSocketKind kind, const char* addr,
                               unsigned int port, ZvmpMulticastInterface* mcast_if = nullptr);
// Applies a set multicast interface to `s`. When the system refuses it, the socket keeps the
// default card, and the refusal is printed (at every verbosity) once for each address.
void zvmp_apply_multicast_interface(plat_socket_t s, ZvmpMulticastInterface& mcast_if);

// Keeps `src` (null meaning "0.0.0.0") in `dst`, cut to fit; a `src` that is `dst` itself stays
// as it is.
void zvmp_store_init_addr(char (&dst)[ZVMP_ADDR_TEXT_SIZE], const char* src);
// Binds `s` to the first port of [first, last] that is free, on the address given as text (any
// address when the text is not one). On failure closes `s` and returns PLAT_INVALID_SOCKET, with
// the system's error number of the last bind in *bind_error when given.
plat_socket_t zvmp_bind_first_free_port(plat_socket_t s, const char* addr, unsigned int first,
                                        unsigned int last, int* bind_error = nullptr);

// Failures that the network gets over by itself (it retries, or re-opens the socket), told to
// the operator: called with one line of text saying what happened, without a line end, and the
// system's error number behind it (0 when there is none). Null unless the application sets it.
using ZvmpFailureHook = void (*)(const char* what, int error);
struct ZvmpSocketState {
    ZvmpFailureHook zvmp_net_failure_callback = nullptr;
};
extern ZvmpSocketState zvmp_socket_state;
extern ZvmpFailureHook& zvmp_net_failure_callback;
// Calls the failure hook when set.
void zvmp_net_report_failure(const char* what, int error);
