// The pace of the main loop's passes, on the simulator's clock ("ABSOLUTE TIME" in the record): a
// sub-second pass once it is more than 0.05 s past the last one, the once-a-second data once it is
// more than 1.0 s past the last. A record at 0.0 (nothing since the connection opened or "SimStart"
// cleared it) runs no pass; a clock more than a second behind the last pass (the time of day set
// back, a new flight) starts the pacing afresh. A clock that moves only in steps of 0.5 s or more
// would give a pass a second: once the data blocks show one, the passes follow the blocks on the
// monotonic clock for the rest of the connection. Owns `zvscpl_pacing`.
#pragma once

// What a pass is to carry out, as bits.
inline constexpr unsigned ZVSCPL_PASS_SUBSECOND = 1;
inline constexpr unsigned ZVSCPL_PASS_SECOND = 2;

// A clock moves in steps when, over at least this many blocks in a row, it changed on fewer than
// a quarter of them, at least twice, and every change was a step forward of this much or more.
inline constexpr unsigned ZVSCPL_STEPPED_CLOCK_BLOCKS = 20;
inline constexpr unsigned ZVSCPL_STEPPED_CLOCK_CHANGES = 2;
inline constexpr double ZVSCPL_STEPPED_CLOCK_STEP_S = 0.5;

struct ZvscplPacing {
    // Simulator time of the last sub-second pass and of the last once-a-second pass.
    double lastSubsecondTime = 0.0;
    double lastSecondTime = 0.0;
    // Monotonic milliseconds of the same two passes, which the passes follow once the clock moves
    // in steps.
    long long last_pass_ms = 0;
    long long last_second_ms = 0;
    // The clock watch: blocks in the present run, how many of them changed the time, the last
    // block's time and the smallest step. A change that is not a step forward of at least
    // ZVSCPL_STEPPED_CLOCK_STEP_S starts a new run.
    unsigned blocks = 0;
    unsigned changes = 0;
    double last_block_time = 0.0;
    double smallest_step = 0.0;
    // 1 once the clock was seen to move in steps: passes follow the blocks.
    int follow_blocks = 0;
    // 1 when a block has arrived since the last pass.
    int block_since_pass = 0;
};
extern ZvscplPacing zvscpl_pacing;

// Everything afresh, for a new connection.
void zvscpl_pacing_start();
// A data block with simulator time `t` has replaced the record. Prints, once per connection and at
// every verbosity, the line that says the passes now follow the blocks.
void zvscpl_pacing_block(double t);
// The passes due now, with the record's time `t` (ZVSCPL_PASS_ bits, 0 for none); the times of
// the passes it returns are taken as run.
unsigned zvscpl_pacing_take(double t);
