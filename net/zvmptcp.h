// The ZVMP TCP transport: a listening server that takes one client at a time and hands the
// bytes it reads to a hook, and helpers that open and close an outgoing connection. Owns, in its
// state, the listening socket, the accepted connection and its address, how the server was asked
// to open, and the hook; a client from outside the allowed networks (net/zvmpallow.h) is let go
// at once.
#pragma once

#include "net/zvmpsocket.h"
#include "platform/net.h"
// Bytes taken from the connection by one service call.
inline constexpr unsigned int ZVMP_TCP_READ_SIZE = 8292;

// Called with the bytes of one read (valid only during the call), a copy of the client's
// address and the byte count (at least 1). Null unless the application sets it.
using ZvmpTcpDataHook = void (*)(void* data, sockaddr_in* from, long long count);

// The server's state. Assigning a fresh one closes both sockets.
struct ZvmpTcpState {
    PlatSocket zvmp_tcp_server_socket;
    PlatSocket zvmp_tcp_server_client_socket;
    sockaddr_in zvmp_tcp_server_client_addr{};  // all zero while no client is connected
    char zvmp_tcp_init_addr[ZVMP_ADDR_TEXT_SIZE] = "";
    unsigned int zvmp_tcp_init_port = 0;
    ZvmpOpenAttempts open;  // of the listening socket
    ZvmpTcpDataHook zvmp_tcp_server_data_received_callback = nullptr;
};
extern ZvmpTcpState& zvmp_tcp_state;

// The server's names, into zvmp_tcp_state.
extern PlatSocket& zvmp_tcp_server_socket;
extern PlatSocket& zvmp_tcp_server_client_socket;
extern sockaddr_in& zvmp_tcp_server_client_addr;
extern char (&zvmp_tcp_init_addr)[ZVMP_ADDR_TEXT_SIZE];
extern unsigned int& zvmp_tcp_init_port;
extern ZvmpTcpDataHook& zvmp_tcp_server_data_received_callback;

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

