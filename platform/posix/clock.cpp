// POSIX clock and sleep behind platform/clock.h.
#include "platform/clock.h"

#include <cerrno>
#include <ctime>

long long plat_os_time() { return static_cast<long long>(std::time(nullptr)); }

void plat_os_sleep_ms(unsigned int ms)
{
    timespec req{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    timespec rem{};
    while (nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
}

long long plat_os_monotonic_ms()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

long long plat_os_monotonic_us()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

plat_time_fn plat_time = plat_os_time;
plat_sleep_fn plat_sleep_ms = plat_os_sleep_ms;
plat_ms_fn plat_monotonic_ms = plat_os_monotonic_ms;
plat_ms_fn plat_monotonic_us = plat_os_monotonic_us;
