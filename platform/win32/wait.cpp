// Windows waiting behind platform/wait.h. The loop comes back every millisecond here, as the
// simulator library, the socket and the serial port are all looked at after each wait.
#include "platform/wait.h"

#include <windows.h>

namespace {

unsigned os_wait(const PlatWaitSources&, long long timeout_ms)
{
    Sleep(timeout_ms > 0 ? 1 : 0);
    return 0;
}

}  // namespace

bool plat_wait_prepare_wake() { return true; }
void plat_wait_wake() {}

const PlatWaitApi plat_wait_os = {os_wait};
PlatWaitApi plat_wait = {os_wait};
long long (*plat_wait_sim_due_ms)() = nullptr;
