// The ZVMP TCP server and outgoing-connection helpers. The server is started and polled by
// zvmp_tcp_showtime, which the UDP service calls on every pass; nothing here ever waits on a
// socket except the outgoing connect.
#include "net/zvmptcp.h"

#include "net/zvmpallow.h"

// Never destroyed, as the network's state (net/state.cpp).
ZvmpTcpState& zvmp_tcp_state = *new ZvmpTcpState;
PlatSocket& zvmp_tcp_server_socket = zvmp_tcp_state.zvmp_tcp_server_socket;
PlatSocket& zvmp_tcp_server_client_socket = zvmp_tcp_state.zvmp_tcp_server_client_socket;
sockaddr_in& zvmp_tcp_server_client_addr = zvmp_tcp_state.zvmp_tcp_server_client_addr;
char (&zvmp_tcp_init_addr)[ZVMP_ADDR_TEXT_SIZE] = zvmp_tcp_state.zvmp_tcp_init_addr;
unsigned int& zvmp_tcp_init_port = zvmp_tcp_state.zvmp_tcp_init_port;
ZvmpTcpDataHook& zvmp_tcp_server_data_received_callback = zvmp_tcp_state.zvmp_tcp_server_data_received_callback;

void zvmp_tcp_start_server(const char* addr, unsigned int port)
{
    if (zvmp_tcp_server_socket.is_open()) return;
    zvmp_tcp_init_port = port;
    zvmp_store_init_addr(zvmp_tcp_init_addr, addr);

    plat_socket_t s = zvmp_open_socket(zvmp_tcp_state.open, ZvmpSocketKind::Tcp, zvmp_tcp_init_addr, port);
    if (s == PLAT_INVALID_SOCKET) return;
    // A backlog of 1: a second client waits in it while the first is served.
    if (plat_net.listen(s, 1) != 0) {
        zvmp_net_report_failure("TCP server could not listen", plat_net.last_error());
        plat_net.close(s);
        return;
    }
    zvmp_tcp_server_socket = s;
    zvmp_tcp_server_client_addr = sockaddr_in{};
}

void zvmp_tcp_close_server() { zvmp_tcp_server_socket.reset(); }

void zvmp_tcp_close_server_client()
{
    zvmp_tcp_server_client_socket.reset();
    zvmp_tcp_server_client_addr = sockaddr_in{};
}

int zvmp_tcp_network_server_is_open() { return zvmp_tcp_server_socket.is_open() ? 1 : 0; }

void zvmp_tcp_showtime()
{
    zvmp_tcp_start_server(zvmp_tcp_init_addr, zvmp_tcp_init_port);
    zvmp_tcp_server_accept_incoming();
    zvmp_tcp_server_read_data();
}

plat_socket_t zvmp_tcp_server_accept_incoming()
{
    if (zvmp_tcp_server_client_socket.is_open()) return zvmp_tcp_server_client_socket;
    if (!zvmp_tcp_server_socket.is_open() || !zvmp_tcp_descriptor_has_data_to_read(zvmp_tcp_server_socket))
        return PLAT_INVALID_SOCKET;
    // A failed accept leaves the connection invalid; the next service call tries again.
    zvmp_tcp_server_client_socket = plat_net.accept(zvmp_tcp_server_socket, &zvmp_tcp_server_client_addr);
    // A client from outside the allowed networks is let go at once.
    if (zvmp_tcp_server_client_socket.is_open() && !zvmp_sender_allowed(zvmp_tcp_server_client_addr.sin_addr.s_addr)) {
        ++zvmp_allow_state.refused;
        zvmp_tcp_close_server_client();
    }
    if (!zvmp_tcp_server_client_socket.is_open()) zvmp_tcp_server_client_addr = sockaddr_in{};
    return zvmp_tcp_server_client_socket;
}

int zvmp_tcp_descriptor_has_data_to_read(plat_socket_t fd) { return plat_net.readable(fd) == 1 ? 1 : 0; }

void zvmp_tcp_server_read_data()
{
    if (!zvmp_tcp_server_client_socket.is_open() || !zvmp_tcp_server_socket.is_open() ||
        !zvmp_tcp_descriptor_has_data_to_read(zvmp_tcp_server_client_socket))
        return;
    unsigned char buffer[ZVMP_TCP_READ_SIZE];
    long count = plat_net.recv(zvmp_tcp_server_client_socket, buffer, sizeof buffer);
    if (count <= 0) {
        zvmp_tcp_close_server_client();
        return;
    }
    if (zvmp_tcp_server_data_received_callback != nullptr) {
        sockaddr_in from = zvmp_tcp_server_client_addr;
        zvmp_tcp_server_data_received_callback(buffer, &from, count);
    }
}

plat_socket_t zvmp_tcp_client_connect(const char* addr, unsigned int port)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = plat_inet_addr(addr);
    if (to.sin_addr.s_addr == INADDR_NONE) return PLAT_INVALID_SOCKET;
    plat_socket_t s = plat_net.tcp_socket();
    if (s == PLAT_INVALID_SOCKET) return PLAT_INVALID_SOCKET;
    if (plat_net.connect(s, &to) != 0) {
        plat_net.close(s);
        return PLAT_INVALID_SOCKET;
    }
    return s;
}

void zvmp_tcp_close_client(plat_socket_t* socket)
{
    if (socket == nullptr || *socket == PLAT_INVALID_SOCKET) return;
    plat_net.close(*socket);
    *socket = PLAT_INVALID_SOCKET;
}
