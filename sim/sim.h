// The built-in simulator's one interface beside the SimConnect functions: its clock. Frames
// fall due, and the simulator's date advances, by this clock alone, so a test that replaces it
// drives the simulator frame by frame.
#pragma once

using zvsim_clock_fn = double (*)();

// Seconds since 1970-01-01 00:00 UTC, never going backwards while the program runs.
extern zvsim_clock_fn zvsim_clock;

// The default: the wall-clock date read once, advanced by the monotonic clock after that.
double zvsim_os_clock();

// Frames the simulator delivers per second of its clock. Just above 30, so that two frames
// span more than the 0.05 s the program waits between publications: it then publishes
// 18 times a second, near its nominal twenty, rather than 15.
inline constexpr int ZVSIM_FRAMES_PER_SECOND = 36;
