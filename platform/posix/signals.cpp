// POSIX stop requests behind platform/signals.h: SIGINT, SIGTERM and SIGHUP. The first one also
// wakes the main loop's wait.
#include "platform/signals.h"

#include "platform/wait.h"

#include <signal.h>

namespace {

constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

struct SignalState {
    plat_stop_flag* flag = nullptr;
};
SignalState state;

void on_stop_signal(int signal)
{
    if (state.flag->exchange(1) == 0) {
        plat_wait_wake();
        return;
    }
    // The second request: the default action, which for these signals ends the process. The
    // signal is blocked while this handler runs, so it arrives as soon as the handler returns.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    raise(signal);
}

bool os_install_stop(plat_stop_flag* flag)
{
    if (flag == nullptr || !plat_wait_prepare_wake()) return false;
    state.flag = flag;
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool installed = true;
    for (int signal : STOP_SIGNALS) installed = sigaction(signal, &action, nullptr) == 0 && installed;
    return installed;
}

void os_finished() {}

}  // namespace

const PlatSignalApi plat_signals_os = {os_install_stop, os_finished};
PlatSignalApi plat_signals = plat_signals_os;
