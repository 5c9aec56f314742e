// The ZVMP TCP transport: a listening server that takes one client at a time and hands the
// bytes it reads to a hook, and helpers that open and close an outgoing connection. Owns the
// listening socket, the accepted connection and its address; a client from outside the allowed
// networks (net/zvmpallow.h) is let go at once. Also holds the socket-opening steps that the UDP
// side of the network shares with the server.
#pragma once

#include "platform/net.h"

// Room for a local address as text; at most ZVMP_ADDR_TEXT_SIZE - 1 characters are kept.
inline constexpr unsigned int ZVMP_ADDR_TEXT_SIZE = 64;
// Port range searched when no port is asked for.
inline constexpr unsigned int ZVMP_FIRST_PORT = 59000;
inline constexpr unsigned int ZVMP_LAST_PORT = 59999;
// Bytes taken from the connection by one service call.
inline constexpr unsigned int ZVMP_TCP_READ_SIZE = 8292;

extern plat_socket_t zvmp_tcp_server_socket;
extern plat_socket_t zvmp_tcp_server_client_socket;
extern sockaddr_in zvmp_tcp_server_client_addr;
extern char zvmp_tcp_init_addr[ZVMP_ADDR_TEXT_SIZE];
extern unsigned int zvmp_tcp_init_port;

// Called with the bytes of one read (valid only during the call), a copy of the client's
// address and the byte count (at least 1). Null unless the application sets it.
extern void (*zvmp_tcp_server_data_received_callback)(void* data, sockaddr_in* from, long long count);

// Opens and listens if the server is closed, at most one attempt per wall-clock second.
// `addr` null means "0.0.0.0"; `port` 0 means the first free port from 59000 to 59999.
void zvmp_tcp_start_server(const char* addr, unsigned int port);
void zvmp_tcp_close_server();
void zvmp_tcp_close_server_client();
int zvmp_tcp_network_server_is_open();
// The service: start the server if needed, accept a waiting client, read once.
void zvmp_tcp_showtime();
plat_socket_t zvmp_tcp_server_accept_incoming();
// 1 when the socket is readable now (a listening socket: a connection waits), else 0.
int zvmp_tcp_descriptor_has_data_to_read(plat_socket_t fd);
void zvmp_tcp_server_read_data();
// A connected socket to the dotted IPv4 address and port, or PLAT_INVALID_SOCKET. Blocks
// until the connection is made or refused.
plat_socket_t zvmp_tcp_client_connect(const char* addr, unsigned int port);
// Closes *socket unless it is already invalid, and marks it invalid.
void zvmp_tcp_close_client(plat_socket_t* socket);

// Shared with the UDP side. Keeps `src` (null meaning "0.0.0.0") in `dst`, cut to fit; a
// `src` that is `dst` itself stays as it is.
void zvmp_store_init_addr(char (&dst)[ZVMP_ADDR_TEXT_SIZE], const char* src);
// Binds `s` to the first port of [first, last] that is free, on the address given as text (any
// address when the text is not one). On failure closes `s` and returns PLAT_INVALID_SOCKET.
plat_socket_t zvmp_bind_first_free_port(plat_socket_t s, const char* addr, unsigned int first,
                                        unsigned int last);
