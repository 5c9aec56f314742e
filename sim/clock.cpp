// The built-in simulator's default clock: the wall-clock date once, then the monotonic clock,
// so that a change of the system time never moves the simulator backwards.
#include <chrono>

#include "sim/sim.h"

double zvsim_os_clock()
{
    using std::chrono::duration;
    static const double wall_start = duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    static const auto steady_start = std::chrono::steady_clock::now();
    return wall_start + duration<double>(std::chrono::steady_clock::now() - steady_start).count();
}

zvsim_clock_fn zvsim_clock = zvsim_os_clock;
