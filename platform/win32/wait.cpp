// Windows waiting for work behind platform/wait.h: WaitForMultipleObjects on three auto-reset
// events, the one the stop handler sets, the one the simulator library signals and the one
// Winsock sets when the watched socket has a datagram (WSAEventSelect). A COM port is a
// synchronous handle that cannot be waited on, so a wait that names one looks at its input
// queue every PLAT_SERIAL_POLL_MS. Also owns the ticks with which the built-in simulator, as the
// stand-in library, signals its frames.
#include "platform/wait.h"

#include <windows.h>

#include <cmath>

namespace {

struct WaitState {
    HANDLE stop = nullptr;
    HANDLE sim = nullptr;
    HANDLE socket = nullptr;
};
WaitState state;

struct TickState {
    HANDLE thread = nullptr;
    HANDLE stop = nullptr;  // manual-reset: set to end the thread
    HANDLE event = nullptr;
    long long first_ms = 0;
    double period_ms = 0.0;
};
TickState ticks;

// Longest single wait; a longer timeout is waited in turns.
constexpr DWORD LONGEST_SLICE_MS = 0x7FFFFFFF;

HANDLE auto_reset_event(HANDLE& event)
{
    if (event == nullptr) event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return event;
}

long long now_ms() { return static_cast<long long>(GetTickCount64()); }

// What the port's input queue says: PLAT_WAKE_SERIAL when bytes wait, PLAT_WAKE_SERIAL_GONE when
// the device has gone, 0 otherwise. A port whose state cannot be read for another reason counts
// as ready, so that the reader meets the error.
unsigned serial_state(plat_serial_t port)
{
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port, &errors, &status))
        return plat_serial_error_means_gone(static_cast<int>(GetLastError())) ? PLAT_WAKE_SERIAL_GONE : PLAT_WAKE_SERIAL;
    return status.cbInQue > 0 ? PLAT_WAKE_SERIAL : 0;
}

unsigned os_wait(const PlatWaitSources& sources, long long timeout_ms)
{
    HANDLE handles[3];
    unsigned bits[3];
    DWORD count = 0;
    auto add = [&](HANDLE event, unsigned bit) {
        if (event == nullptr) return;
        handles[count] = event;
        bits[count++] = bit;
    };
    add(state.stop, PLAT_WAKE_STOP);
    add(state.sim, PLAT_WAKE_SIM);
    if (sources.socket != PLAT_INVALID_SOCKET) add(state.socket, PLAT_WAKE_SOCKET);
    const bool serial = sources.serial != PLAT_INVALID_SERIAL;
    const long long end = now_ms() + (timeout_ms > 0 ? timeout_ms : 0);
    for (;;) {
        unsigned woke = serial ? serial_state(sources.serial) : 0;
        long long left = end - now_ms();
        long long longest = serial ? PLAT_SERIAL_POLL_MS : LONGEST_SLICE_MS;
        DWORD slice = woke != 0 || left <= 0 ? 0 : static_cast<DWORD>(left < longest ? left : longest);
        DWORD r = count > 0 ? WaitForMultipleObjects(count, handles, FALSE, slice) : WAIT_FAILED;
        if (r == WAIT_FAILED) Sleep(slice);
        if (r < WAIT_OBJECT_0 + count) {
            // The wait takes only the first event set; the others are taken here, so that one
            // wake reports everything ready and no event is left to end the next wait at once.
            DWORD first = r - WAIT_OBJECT_0;
            woke |= bits[first];
            for (DWORD i = first + 1; i < count; ++i)
                if (WaitForSingleObject(handles[i], 0) == WAIT_OBJECT_0) woke |= bits[i];
        }
        // Wine, at least, can leave the socket's event set after the datagram that set it has been
        // read; a wake for a socket with nothing to read is no wake.
        if ((woke & PLAT_WAKE_SOCKET) != 0 && plat_net_os.readable(sources.socket) == 0) woke &= ~PLAT_WAKE_SOCKET;
        if (woke != 0 || slice == 0) return woke;
    }
}

bool os_watch_socket(plat_socket_t socket)
{
    if (auto_reset_event(state.socket) == nullptr) return false;
    return WSAEventSelect(socket, state.socket, FD_READ) == 0;
}

// Sets the ticking event at every tick; a tick missed (the thread held up) is skipped rather than
// made up, since the event holds one signal at most.
DWORD WINAPI tick(void*)
{
    auto due = [](long long k) { return ticks.first_ms + std::llround(static_cast<double>(k) * ticks.period_ms); };
    for (long long k = 0;; ++k) {
        long long now = now_ms();
        if (due(k) < now)
            k = static_cast<long long>(std::ceil(static_cast<double>(now - ticks.first_ms) / ticks.period_ms));
        long long ahead = due(k) - now;
        if (WaitForSingleObject(ticks.stop, ahead > 0 ? static_cast<DWORD>(ahead) : 0) != WAIT_TIMEOUT) return 0;
        SetEvent(ticks.event);
    }
}

}  // namespace

bool plat_wait_prepare_wake() { return auto_reset_event(state.stop) != nullptr; }

// SetEvent may be called from the console handler's thread.
void plat_wait_wake()
{
    if (state.stop != nullptr) SetEvent(state.stop);
}

void* plat_wait_sim_event() { return auto_reset_event(state.sim); }

void plat_wait_signal(void* event)
{
    if (event != nullptr) SetEvent(event);
}

bool plat_wait_start_ticks(void* event, long long first_ms, double period_ms)
{
    plat_wait_stop_ticks();
    if (event == nullptr || !(period_ms >= 1.0 && period_ms <= 1e9)) return false;
    if (ticks.stop == nullptr) ticks.stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (ticks.stop == nullptr || !ResetEvent(ticks.stop)) return false;
    ticks.event = event;
    ticks.first_ms = first_ms;
    ticks.period_ms = period_ms;
    ticks.thread = CreateThread(nullptr, 0, tick, nullptr, 0, nullptr);
    return ticks.thread != nullptr;
}

void plat_wait_stop_ticks()
{
    if (ticks.thread == nullptr) return;
    SetEvent(ticks.stop);
    WaitForSingleObject(ticks.thread, INFINITE);
    CloseHandle(ticks.thread);
    ticks.thread = nullptr;
}

const PlatWaitApi plat_wait_os = {os_wait, os_watch_socket};
PlatWaitApi plat_wait = plat_wait_os;
long long (*plat_wait_sim_due_ms)() = nullptr;
// The programs that wait on further sockets or a simulator's socket (zvsim, the client of a
// simulator on another computer) are built for Linux: the Windows wait watches neither.
plat_socket_t plat_wait_sim_socket = PLAT_INVALID_SOCKET;
bool plat_wait_sim_socket_writing = false;
