// Windows stop requests behind platform/signals.h, through SetConsoleCtrlHandler: Ctrl-C and
// Ctrl-Break, closing the console, log-off and shut-down. The handler runs on a thread that
// Windows starts for each request; the first request also wakes the main loop's wait.
#include "platform/signals.h"

#include <windows.h>

#include "platform/wait.h"

namespace {

struct SignalState {
    plat_stop_flag* flag = nullptr;
    HANDLE finished = nullptr;  // manual-reset event, set once the main thread has finished
};
SignalState state;

BOOL WINAPI on_console_request(DWORD type)
{
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        // FALSE hands a second request on to the default handler, which ends the process.
        if (state.flag->exchange(1) != 0) return FALSE;
        plat_wait_wake();
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // Windows ends the process when this returns (or after its own grace period), so the
        // main loop is given the time to close the simulator connection and the serial port.
        state.flag->store(1);
        plat_wait_wake();
        WaitForSingleObject(state.finished, INFINITE);
        return TRUE;
    default: return FALSE;
    }
}

bool os_install_stop(plat_stop_flag* flag)
{
    if (flag == nullptr || !plat_wait_prepare_wake()) return false;
    state.flag = flag;
    if (state.finished == nullptr) state.finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return state.finished != nullptr && SetConsoleCtrlHandler(on_console_request, TRUE) != 0;
}

void os_finished()
{
    if (state.finished != nullptr) SetEvent(state.finished);
}

// Windows has no user signals.
bool os_install_user(plat_stop_flag*, plat_stop_flag*) { return false; }

}  // namespace

const PlatSignalApi plat_signals_os = {os_install_stop, os_finished, os_install_user};
PlatSignalApi plat_signals = plat_signals_os;
