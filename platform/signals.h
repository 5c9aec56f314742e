// The operating system's requests to stop the program: SIGINT, SIGTERM and SIGHUP on POSIX;
// Ctrl-C, Ctrl-Break, closing the console, log-off and shut-down on Windows; and the two user
// signals (POSIX), with which the built-in simulator is told to restart or to set its clock back.
// The operations are
// reached through the replaceable table `plat_signals`, which starts out holding the operating
// system's implementation, so tests can observe the installation.
#pragma once

#include <atomic>

// Set from a signal handler or from the console's handler thread, so it must not need a lock.
// Assigning one flag to another takes its value, so that a module's state holding one can be
// assigned afresh.
struct plat_stop_flag : std::atomic<int> {
    constexpr plat_stop_flag(int value = 0) noexcept : std::atomic<int>(value) {}
    plat_stop_flag& operator=(const plat_stop_flag& other) noexcept
    {
        store(other.load());
        return *this;
    }
};
static_assert(plat_stop_flag::is_always_lock_free, "the stop flag is set from a signal handler");

struct PlatSignalApi {
    // From now on a stop request sets `*flag` to 1 and returns; a request that finds the flag
    // already set ends the process at once the platform's default way (on POSIX the signal's
    // default action, on Windows the default console handler). True when installed.
    bool (*install_stop)(plat_stop_flag* flag);
    // Called by the main thread once it has finished closing everything. Windows ends the
    // process as soon as the handler of a close, log-off or shut-down request returns, so that
    // handler waits for this; elsewhere it does nothing.
    void (*finished)();
    // From now on SIGUSR1 sets `*first` and SIGUSR2 sets `*second` to 1, and the process goes
    // on. False where the platform has no such signals (Windows) or the system refuses.
    bool (*install_user)(plat_stop_flag* first, plat_stop_flag* second);
};

extern PlatSignalApi plat_signals;
// The operating system's implementation, for tests that wrap single operations.
extern const PlatSignalApi plat_signals_os;
