// POSIX waiting for work behind platform/wait.h: poll on the socket, the serial descriptor, the
// simulator library's socket, any further sockets, and the read end of a pipe that the stop
// handler writes to.
#include "platform/wait.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <climits>
#include <vector>

namespace {

struct WaitState {
    int wake_read = -1;
    int wake_write = -1;
    std::vector<pollfd> fds;  // reused by every wait
};
WaitState state;

bool make_nonblocking(int fd)
{
    int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 &&
           fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

void drain_wake()
{
    char scratch[64];
    while (read(state.wake_read, scratch, sizeof scratch) > 0) {
    }
}

unsigned os_wait(const PlatWaitSources& sources, long long timeout_ms)
{
    std::vector<pollfd>& fds = state.fds;
    fds.clear();
    auto add = [&](int fd, short events) {
        if (fd < 0) return -1;
        fds.push_back({fd, events, 0});
        return static_cast<int>(fds.size() - 1);
    };
    int socket_at = add(sources.socket, POLLIN);
    int serial_at = add(sources.serial, POLLIN);
    int sim_at = add(plat_wait_sim_socket, static_cast<short>(POLLIN | (plat_wait_sim_socket_writing ? POLLOUT : 0)));
    int wake_at = add(state.wake_read, POLLIN);
    std::size_t more_at = fds.size();
    for (std::size_t i = 0; i < sources.socket_count; ++i) {
        PlatWaitSocket& s = sources.sockets[i];
        s.ready = 0;
        // A socket that is not there still takes its place, so that the places match.
        fds.push_back({s.socket, static_cast<short>(POLLIN | (s.write ? POLLOUT : 0)), 0});
    }
    int timeout = timeout_ms <= 0 ? 0 : timeout_ms > INT_MAX ? INT_MAX : static_cast<int>(timeout_ms);
    // A signal ends the poll early (EINTR): that reads as a time that ran out.
    if (poll(fds.data(), fds.size(), timeout) <= 0) return 0;
    // An error or hang-up on the socket counts as ready, so that the reader meets it and deals
    // with it; on the serial port it means the device has gone.
    auto ready = [&](int at) { return at >= 0 && fds[at].revents != 0; };
    unsigned woke = 0;
    if (ready(socket_at)) woke |= PLAT_WAKE_SOCKET;
    if (ready(serial_at))
        woke |= (fds[serial_at].revents & (POLLHUP | POLLERR)) != 0 ? PLAT_WAKE_SERIAL_GONE : PLAT_WAKE_SERIAL;
    if (ready(sim_at)) woke |= PLAT_WAKE_SIM;
    if (ready(wake_at)) {
        drain_wake();
        woke |= PLAT_WAKE_STOP;
    }
    for (std::size_t i = 0; i < sources.socket_count; ++i) {
        short got = fds[more_at + i].revents;
        if (got == 0 || sources.sockets[i].socket < 0) continue;
        PlatWaitSocket& s = sources.sockets[i];
        if (got & (POLLIN | POLLHUP | POLLERR)) s.ready |= PLAT_READY_READ;
        if (got & (POLLOUT | POLLERR)) s.ready |= s.write ? PLAT_READY_WRITE : 0;
        if (s.ready != 0) woke |= PLAT_WAKE_SOCKETS;
    }
    return woke;
}

// poll is handed the socket at every wait.
bool os_watch_socket(plat_socket_t) { return true; }

}  // namespace

bool plat_wait_prepare_wake()
{
    if (state.wake_read >= 0) return true;
    int fds[2];
    if (pipe(fds) != 0) return false;
    if (!make_nonblocking(fds[0]) || !make_nonblocking(fds[1])) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    state.wake_read = fds[0];
    state.wake_write = fds[1];
    return true;
}

void plat_wait_wake()
{
    if (state.wake_write < 0) return;
    char byte = 1;
    // A full pipe already holds a wake-up.
    ssize_t written = write(state.wake_write, &byte, 1);
    (void)written;
}

// The built-in simulator reports its due times through plat_wait_sim_due_ms instead of an event.
void* plat_wait_sim_event() { return nullptr; }
void plat_wait_signal(void*) {}
bool plat_wait_start_ticks(void*, long long, double) { return false; }
void plat_wait_stop_ticks() {}

const PlatWaitApi plat_wait_os = {os_wait, os_watch_socket};
PlatWaitApi plat_wait = plat_wait_os;
long long (*plat_wait_sim_due_ms)() = nullptr;
plat_socket_t plat_wait_sim_socket = PLAT_INVALID_SOCKET;
bool plat_wait_sim_socket_writing = false;
