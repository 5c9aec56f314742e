// Waiting for work: the main loop sleeps here until the message socket is readable, the serial
// port has bytes (POSIX), a stop is requested, or a time runs out. The wait is reached through
// the replaceable table `plat_wait`, which starts out holding the operating system's
// implementation, so tests can drive the loop's time and observe each wait.
#pragma once

#include "platform/net.h"
#include "platform/serial.h"

// What woke a wait, as bits; 0 when the time ran out (or the wait failed).
inline constexpr unsigned PLAT_WAKE_SOCKET = 1;
inline constexpr unsigned PLAT_WAKE_SERIAL = 2;
inline constexpr unsigned PLAT_WAKE_STOP = 4;

// The sources of one wait; an invalid one is not waited on.
struct PlatWaitSources {
    plat_socket_t socket = PLAT_INVALID_SOCKET;
    // Waited on where the port is a descriptor that can be (POSIX); elsewhere ignored, and the
    // caller's timeout must come back for the port often enough.
    plat_serial_t serial = PLAT_INVALID_SERIAL;
};

struct PlatWaitApi {
    // Waits at most `timeout_ms` (0 or less: only looks) until a source is ready or
    // plat_wait_wake is called; returns the PLAT_WAKE_ bits of what is ready.
    unsigned (*wait)(const PlatWaitSources& sources, long long timeout_ms);
};

extern PlatWaitApi plat_wait;
// The operating system's implementation, for tests that wrap it.
extern const PlatWaitApi plat_wait_os;

// Makes the wait in progress, or the next one, return with PLAT_WAKE_STOP. Safe in a signal
// handler and from any thread; the stop handler calls it after raising the stop flag.
void plat_wait_wake();
// Prepares what plat_wait_wake needs; called once before the stop handler is installed.
bool plat_wait_prepare_wake();

// Monotonic milliseconds at which the simulator library next has something to hand over of
// its own accord, for a library that can tell (the built-in simulator, whose frames fall due at
// known times); null, or a result below 0, when it cannot.
extern long long (*plat_wait_sim_due_ms)();
