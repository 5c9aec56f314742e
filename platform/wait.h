// Waiting for work: the main loop sleeps here until the message socket is readable, the serial
// port has bytes, the simulator library signals its event (Windows), a stop is requested, or a
// time runs out. The wait is reached through the replaceable table `plat_wait`, which starts out
// holding the operating system's implementation, so tests can drive the loop's time and observe
// each wait.
#pragma once

#include "platform/net.h"
#include "platform/serial.h"

// What woke a wait, as bits; 0 when the time ran out (or the wait failed).
inline constexpr unsigned PLAT_WAKE_SOCKET = 1;
inline constexpr unsigned PLAT_WAKE_SERIAL = 2;
inline constexpr unsigned PLAT_WAKE_STOP = 4;
inline constexpr unsigned PLAT_WAKE_SIM = 8;
// The serial port's device has gone away (POSIX: a hang-up or error on the descriptor; Windows:
// the port's state cannot be read, for a reason plat_serial_error_means_gone accepts). Reported
// instead of PLAT_WAKE_SERIAL: such a port reads as empty, and would wake every wait.
inline constexpr unsigned PLAT_WAKE_SERIAL_GONE = 16;
// One of the further sockets of the wait is ready (its `ready` says how).
inline constexpr unsigned PLAT_WAKE_SOCKETS = 32;

// How one of the further sockets is ready, as bits: to read (or closed, or failed: the read
// tells which), to write.
inline constexpr unsigned PLAT_READY_READ = 1;
inline constexpr unsigned PLAT_READY_WRITE = 2;

struct PlatWaitSocket {
    plat_socket_t socket = PLAT_INVALID_SOCKET;
    bool write = false;  // waited on for writing too
    unsigned ready = 0;  // set by every wait
};

// Where the serial port cannot be waited on (Windows), a wait looks at it at least this often.
inline constexpr long long PLAT_SERIAL_POLL_MS = 5;

// The sources of one wait; an invalid one is not waited on.
struct PlatWaitSources {
    plat_socket_t socket = PLAT_INVALID_SOCKET;
    // Waited on where the port is a descriptor (POSIX); looked at every PLAT_SERIAL_POLL_MS
    // where it is a synchronous handle (Windows).
    plat_serial_t serial = PLAT_INVALID_SERIAL;
    // Further sockets (POSIX): a server's listening socket and its connections.
    PlatWaitSocket* sockets = nullptr;
    std::size_t socket_count = 0;
};

struct PlatWaitApi {
    // Waits at most `timeout_ms` (0 or less: only looks) until a source is ready or
    // plat_wait_wake is called; returns the PLAT_WAKE_ bits of what is ready. The simulator
    // library's event, where there is one, is always waited on.
    unsigned (*wait)(const PlatWaitSources& sources, long long timeout_ms);
    // Makes a newly opened socket wake the waits that name it; called after every opening.
    // Windows: WSAEventSelect for FD_READ on the wait's socket event, which also makes the
    // socket non-blocking. Elsewhere nothing is needed. False when the system refuses.
    bool (*watch_socket)(plat_socket_t socket);
};

extern PlatWaitApi plat_wait;
// The operating system's implementation, for tests that wrap it.
extern const PlatWaitApi plat_wait_os;

// Makes the wait in progress, or the next one, return with PLAT_WAKE_STOP. Safe in a signal
// handler and from any thread; the stop handler calls it after raising the stop flag.
void plat_wait_wake();
// Prepares what plat_wait_wake needs; called once before the stop handler is installed.
bool plat_wait_prepare_wake();

// The event for the simulator library to signal when it has messages for a dispatch (the event
// handle SimConnect_Open accepts), made on first use and then waited on by every wait; null
// where the platform waits on none (POSIX) or it cannot be made. A wake by it reports
// PLAT_WAKE_SIM.
void* plat_wait_sim_event();

// The library's side of that event, for a simulator library that runs in this process (the
// built-in simulator standing in for the real library): sets `event` now; and, from a thread of
// the platform's own, sets it at monotonic `first_ms` and every `period_ms` after, until
// plat_wait_stop_ticks. One ticking event at a time; false where the platform has no events.
void plat_wait_signal(void* event);
bool plat_wait_start_ticks(void* event, long long first_ms, double period_ms);
void plat_wait_stop_ticks();

// Monotonic milliseconds at which the simulator library next has something to hand over of
// its own accord, for a library that can tell (the built-in simulator, whose frames fall due at
// known times); null, or a result below 0, when it cannot.
extern long long (*plat_wait_sim_due_ms)();

// The socket of a simulator library that speaks to the simulator over the network (POSIX),
// published by the library while it is connected: every wait watches it for reading, and for
// writing while `plat_wait_sim_socket_writing` is set, and a wake by it reports PLAT_WAKE_SIM.
// PLAT_INVALID_SOCKET when there is none.
extern plat_socket_t plat_wait_sim_socket;
extern bool plat_wait_sim_socket_writing;
