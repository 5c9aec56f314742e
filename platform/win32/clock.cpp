// Windows clock and sleep behind platform/clock.h: the C runtime's time(), GetTickCount64(),
// QueryPerformanceCounter() and Sleep().
#include "platform/clock.h"

#include <windows.h>

#include <ctime>

long long plat_os_time() { return static_cast<long long>(std::time(nullptr)); }

void plat_os_sleep_ms(unsigned int ms) { Sleep(ms); }

long long plat_os_monotonic_ms() { return static_cast<long long>(GetTickCount64()); }

long long plat_os_monotonic_us()
{
    LARGE_INTEGER count{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    // Whole seconds and the remainder apart, so that the product cannot overflow.
    long long per_second = frequency.QuadPart > 0 ? frequency.QuadPart : 1;
    return count.QuadPart / per_second * 1000000 + count.QuadPart % per_second * 1000000 / per_second;
}

plat_time_fn plat_time = plat_os_time;
plat_sleep_fn plat_sleep_ms = plat_os_sleep_ms;
plat_ms_fn plat_monotonic_ms = plat_os_monotonic_ms;
plat_ms_fn plat_monotonic_us = plat_os_monotonic_us;
