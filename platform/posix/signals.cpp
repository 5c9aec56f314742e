// POSIX signals behind platform/signals.h: the stop requests SIGINT, SIGTERM and SIGHUP (the
// first one also wakes the main loop's wait), and the user signals SIGUSR1 and SIGUSR2.
#include "platform/signals.h"

#include "platform/wait.h"

#include <signal.h>

namespace {

constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

struct SignalState {
    plat_stop_flag* flag = nullptr;
    plat_stop_flag* user1 = nullptr;
    plat_stop_flag* user2 = nullptr;
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

void on_user_signal(int signal)
{
    plat_stop_flag* flag = signal == SIGUSR1 ? state.user1 : state.user2;
    if (flag != nullptr) flag->store(1);
}

bool os_install_user(plat_stop_flag* first, plat_stop_flag* second)
{
    state.user1 = first;
    state.user2 = second;
    struct sigaction action {};
    action.sa_handler = on_user_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGUSR1, &action, nullptr) == 0 && sigaction(SIGUSR2, &action, nullptr) == 0;
}

}  // namespace

const PlatSignalApi plat_signals_os = {os_install_stop, os_finished, os_install_user};
PlatSignalApi plat_signals = plat_signals_os;
