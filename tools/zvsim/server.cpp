// zvsim's listening socket, its connections and its loop (see server.h).
#include "tools/zvsim/server.h"

#include <algorithm>
#include <cstdio>

#include "platform/clock.h"
#include "platform/error.h"
#include "sim/builtin.h"
#include "sim/controls.h"
#include "sim/sim.h"
#include "tools/zvsim/connection.h"

ZvsrvState zvsrv_state;

namespace {

constexpr int BACKLOG = 16;

ZvsrvState& server = zvsrv_state;

std::string address_text(std::uint32_t address, unsigned int port)
{
    return std::string(plat_inet_ntoa(address)) + ":" + std::to_string(port);
}

std::string error_text(int error)
{
    char text[256];
    plat_error_text(error, text, sizeof text);
    return text;
}

void announce()
{
    if (server.announced) return;
    server.announced = true;
    std::string what = server.world ? "the built-in world" : "the recording " + server.recording;
    std::printf("zvsim: serving %s on %s\n", what.c_str(), address_text(server.options.address, server.options.port).c_str());
    if ((ntohl(server.options.address) >> 24) != 127)
        std::printf("zvsim: listening beyond this computer: anyone who reaches the port can fly this world\n");
    std::fflush(stdout);
}

bool refusing() { return server.world ? zvsim_world_refusing() : zvsim_offline_now(); }

void accept_all()
{
    for (;;) {
        sockaddr_in from{};
        PlatSocket s(plat_net.accept(server.listener, &from));
        if (!s.is_open()) return;
        std::string peer = address_text(from.sin_addr.s_addr, ntohs(from.sin_port));
        if (server.connections.size() >= ZVSRV_MOST_CLIENTS) {
            if (server.options.verbose > 0)
                zvsrv_say(peer + " refused: " + std::to_string(ZVSRV_MOST_CLIENTS) + " clients are connected");
            continue;  // closed at once
        }
        if (plat_net.set_nonblocking(s) != 0) continue;
        plat_net.set_nodelay(s);
        auto c = std::make_unique<ZvsrvConnection>();
        c->socket = std::move(s);
        c->peer = std::move(peer);
        if (server.options.verbose > 0) zvsrv_say(c->peer + " connected");
        server.connections.push_back(std::move(c));
    }
}

void close_connection(ZvsrvConnection& c)
{
    if (c.handle != nullptr) server.backend->close(c.handle);
    c.handle = nullptr;
    if (server.options.verbose > 0) {
        std::string who = c.name.empty() ? c.peer : c.peer + " (\"" + c.name + "\")";
        zvsrv_say(who + " disconnected: " + c.cause);
    }
}

void forget_dropped()
{
    for (auto& c : server.connections)
        if (c->cause != nullptr) close_connection(*c);
    std::erase_if(server.connections, [](const auto& c) { return c->cause != nullptr; });
}

// Listening while the simulator takes connections, closed (so that connections are refused)
// while it does not.
void keep_listening()
{
    if (refusing()) {
        server.listener.reset();
        return;
    }
    if (server.listener.is_open()) return;
    std::string error;
    if (zvsrv_listen(error, true)) return;
    std::fprintf(stderr, "zvsim: %s\n", error.c_str());
}

// The due time of the backend's next frame or message, within `longest_ms`.
long long timeout_ms(long long longest_ms)
{
    long long now = plat_monotonic_ms();
    long long due = now + longest_ms;
    if (plat_wait_sim_due_ms != nullptr) {
        long long sim = plat_wait_sim_due_ms();
        if (sim >= 0 && sim < due) due = sim;
    }
    for (const auto& c : server.connections)
        if (c->cause != nullptr) due = now;
    return due - now;
}

unsigned wait(long long longest_ms, bool writing_only)
{
    server.waits.clear();
    server.waits.push_back({writing_only ? PLAT_INVALID_SOCKET : server.listener, false, 0});
    for (const auto& c : server.connections)
        server.waits.push_back({c->socket, zvsw_queue_waiting(c->out) > 0, 0});
    PlatWaitSources sources;
    sources.sockets = server.waits.data();
    sources.socket_count = server.waits.size();
    return plat_wait.wait(sources, writing_only ? longest_ms : timeout_ms(longest_ms));
}

}  // namespace

void zvsrv_say(const std::string& line)
{
    std::printf("zvsim: %s\n", line.c_str());
    std::fflush(stdout);
}

bool zvsrv_listen(std::string& error, bool keep)
{
    std::string where = address_text(server.options.address, server.options.port);
    PlatSocket s(plat_net.tcp_socket());
    if (!s.is_open()) {
        error = "cannot make a socket: " + error_text(plat_net.last_error());
        return false;
    }
    plat_net.set_reuse_address(s);
    if (plat_net.bind(s, server.options.address, server.options.port) != 0 ||
        plat_net.listen(s, BACKLOG) != 0 || plat_net.set_nonblocking(s) != 0) {
        error = "cannot listen on " + where + ": " + error_text(plat_net.last_error());
        error += server.options.port < 1024 ? " (ports below 1024 need root: choose another with --port)"
                                            : " (choose another port with --port)";
        return false;
    }
    if (!keep) return true;
    server.listener = std::move(s);
    announce();
    return true;
}

void zvsrv_turn(long long longest_ms)
{
    // One reading of the simulator's clock (zvsim_clock) for the whole turn, so that every
    // client's blocks of a frame are of the same frame.
    server.now = zvsim_os_clock();
    wait(longest_ms, false);
    server.now = zvsim_os_clock();
    if (server.world) zvsim_world_tick();
    keep_listening();
    if (server.listener.is_open() && !server.waits.empty() && (server.waits[0].ready & PLAT_READY_READ)) accept_all();
    for (std::size_t i = 1; i < server.waits.size() && i <= server.connections.size(); ++i)
        if (server.waits[i].ready & PLAT_READY_READ) zvsrv_read(*server.connections[i - 1]);
    for (auto& c : server.connections) {
        zvsrv_dispatch(*c);
        zvsrv_write(*c);
    }
    forget_dropped();
}

void zvsrv_shutdown(long long grace_ms)
{
    server.listener.reset();
    for (auto& c : server.connections)
        if (c->cause == nullptr) zvsrv_queue_quit(*c);
    long long end = plat_monotonic_ms() + grace_ms;
    for (;;) {
        for (auto& c : server.connections) {
            zvsrv_write(*c);
            if (c->cause == nullptr && zvsw_queue_waiting(c->out) == 0) zvsrv_drop(*c, "quit");
        }
        forget_dropped();
        long long left = end - plat_monotonic_ms();
        if (server.connections.empty() || left <= 0) break;
        wait(left, true);
    }
    for (auto& c : server.connections) zvsrv_drop(*c, "closed without its quit message: it did not read");
    forget_dropped();
}
