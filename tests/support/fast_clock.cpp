// A library for LD_PRELOAD that makes time() run ZV_CLOCK_FACTOR times (default 20) as fast as
// the wall clock from the moment the process loads it, so that a test sees a minute of the
// network's once-a-second work (hellos, peer expiry) in a few seconds. Everything else of the
// process (the built-in simulator's clock, sleeps) keeps real time.
#include <time.h>

#include <cstdlib>

namespace {

struct FastClock {
    double start = 0;
    double factor = 20;
};
FastClock fast_clock;

double real_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

__attribute__((constructor)) void start_fast_clock()
{
    fast_clock.start = real_seconds();
    const char* factor = std::getenv("ZV_CLOCK_FACTOR");
    if (factor != nullptr && std::atof(factor) >= 1) fast_clock.factor = std::atof(factor);
}

}  // namespace

extern "C" time_t time(time_t* out)
{
    double seconds = fast_clock.start + (real_seconds() - fast_clock.start) * fast_clock.factor;
    auto t = static_cast<time_t>(seconds);
    if (out != nullptr) *out = t;
    return t;
}
