// A running simulation: the world and its frame clock. Frames fall due ZVSIM_FRAMES_PER_SECOND
// times per second of the simulator's clock (zvsim_clock) from the moment the world starts;
// "ABSOLUTE TIME" counts from the world's date in the steps ZVSIM_CLOCK_STEP asks for.
#pragma once

#include "platform/SimConnect.h"
#include "sim/world.h"

namespace zvsim {

struct Simulation {
    double start = 0.0;   // the simulator clock's reading when the world started
    double date = 0.0;    // the world's date then, seconds since 1970
    long long frame = 0;  // frames since the start
    World world;
};

// A fresh world starting at clock reading `now`, its date `setback_s` behind it.
Simulation start_simulation(double now, double setback_s);

// "ABSOLUTE TIME" at `frame`.
double absolute_time_at(const Simulation& sim, long long frame);

// Brings the world to the frame due at clock reading `now` and returns the frame it was at
// before; a clock that went back changes nothing.
long long advance(Simulation& sim, double now);

// Sets the world's clock back by `seconds`, as a user changing the time of day; the flight goes on.
void set_back(Simulation& sim, double seconds);

// The present count of `period` (frames, or whole seconds of frames).
long long period_now(const Simulation& sim, SIMCONNECT_PERIOD period);

// Milliseconds on the monotonic clock at which the next frame falls due (now when it is due).
long long next_frame_due_ms(const Simulation& sim);

}  // namespace zvsim
