// Wall-clock seconds, a monotonic millisecond (and microsecond) count and the millisecond sleep,
// the program's only notions of real time.
// Both are reached through replaceable function pointers so that tests can drive time and
// observe every sleep; they start out pointing at the operating system's implementation.
#pragma once

using plat_time_fn = long long (*)();
using plat_sleep_fn = void (*)(unsigned int ms);
using plat_ms_fn = long long (*)();

// Seconds since the epoch, as the C runtime's time() gives them.
extern plat_time_fn plat_time;
// Suspends the calling thread for about `ms` milliseconds.
extern plat_sleep_fn plat_sleep_ms;
// Milliseconds from an arbitrary start, never going backwards (changes of the system time do
// not move it).
extern plat_ms_fn plat_monotonic_ms;
// Microseconds on the same kind of clock, for time stamps finer than a millisecond.
extern plat_ms_fn plat_monotonic_us;

long long plat_os_time();
void plat_os_sleep_ms(unsigned int ms);
long long plat_os_monotonic_ms();
long long plat_os_monotonic_us();
