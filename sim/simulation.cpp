// The running simulation's frame clock (see simulation.h).
#include "sim/simulation.h"

#include <algorithm>
#include <cmath>

#include "platform/clock.h"
#include "sim/controls.h"
#include "sim/sim.h"

namespace zvsim {

namespace {

// A step after a long pause integrates the gap in at most this many steps.
constexpr long long MAX_STEPS_PER_ADVANCE = 300;

long long frame_at(const Simulation& sim, double now)
{
    // A clock within a thousandth of a frame of a frame counts as there, whatever the rounding.
    double frames = (now - sim.start) * ZVSIM_FRAMES_PER_SECOND + 1e-3;
    if (!(frames > 0.0)) return 0;  // before the start, or not a number
    return frames < 1e15 ? static_cast<long long>(frames) : 1000000000000000LL;
}

}  // namespace

Simulation start_simulation(double now, double setback_s)
{
    Simulation sim;
    sim.start = now;
    sim.date = now - setback_s;
    sim.world = initial_world(sim.date);
    sim.world.absolute_time = absolute_time_at(sim, 0);
    return sim;
}

double absolute_time_at(const Simulation& sim, long long frame)
{
    double t = UNIX_EPOCH_IN_SIM_SECONDS + sim.date + static_cast<double>(frame) / ZVSIM_FRAMES_PER_SECOND;
    double step = zvsim_controls_load().clock_step_s;
    return step > 0.0 ? std::floor(t / step) * step : t;
}

long long advance(Simulation& sim, double now)
{
    long long before = sim.frame;
    long long frame = frame_at(sim, now);
    if (frame <= before) return before;
    long long frames = frame - before;
    long long steps = std::min(frames, MAX_STEPS_PER_ADVANCE);
    double dt = static_cast<double>(frames) / ZVSIM_FRAMES_PER_SECOND / static_cast<double>(steps);
    for (long long i = 0; i < steps; ++i) step(sim.world, dt);
    sim.world.absolute_time = absolute_time_at(sim, frame);
    sim.frame = frame;
    return before;
}

void set_back(Simulation& sim, double seconds)
{
    sim.date -= seconds;
    sim.world.absolute_time = absolute_time_at(sim, sim.frame);
}

long long period_now(const Simulation& sim, SIMCONNECT_PERIOD period)
{
    return period == SIMCONNECT_PERIOD_SECOND ? sim.frame / ZVSIM_FRAMES_PER_SECOND : sim.frame;
}

long long next_frame_due_ms(const Simulation& sim)
{
    long long now = plat_monotonic_ms();
    double due = sim.start + static_cast<double>(sim.frame + 1) / ZVSIM_FRAMES_PER_SECOND;
    double ahead_ms = (due - zvsim_clock()) * 1000.0;
    if (!(ahead_ms > 0.0)) return now;
    return now + (ahead_ms < 1e9 ? static_cast<long long>(ahead_ms) + 1 : 1000000000LL);
}

}  // namespace zvsim
