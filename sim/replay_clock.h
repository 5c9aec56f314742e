// The clock of a replay that loops: what its first pass measures of the recording (the first
// record's time, the gap between the first two blocks, the span of "ABSOLUTE TIME"), and how each
// later pass moves the blocks' "ABSOLUTE TIME" on, so that the simulator's clock keeps going
// forward from one pass to the next.
#pragma once

#include <cstdint>
#include <limits>

#include "record/reader.h"

struct ZvsimLoopClock {
    // Where "ABSOLUTE TIME" lies in a block (-1: the definition has none), and what the first
    // pass saw of it: the first and second block's values, the largest; then each loop's shift.
    long abs_offset = -1;
    double abs_first = std::numeric_limits<double>::quiet_NaN();
    double abs_second = std::numeric_limits<double>::quiet_NaN();
    double abs_max = std::numeric_limits<double>::quiet_NaN();
    double abs_shift = 0.0;
    int pass = 0;
    std::uint64_t first_us = 0;  // the recording's first record
    bool first_seen = false;
    std::uint64_t block_gap_us = 0;  // between the first two blocks
    std::uint64_t first_block_us = 0;
};

// The time of a record read, as the first pass measures it.
void zvsim_loop_note(ZvsimLoopClock& c, std::uint64_t time_us);
// The next pass begins, the last one having ended at `last_us`: returns the seconds by which the
// replay's time base moves on (the pass's length and a block's gap); the blocks' time shift
// grows by the span of the pass's clock and a block's step.
double zvsim_loop_next_pass(ZvsimLoopClock& c, std::uint64_t last_us);
// A data block (`r`, a message of the recording's definition `definition_id`): measured on the
// first pass, its "ABSOLUTE TIME" shifted on the others.
void zvsim_loop_retime(ZvsimLoopClock& c, ZvrecRecord& r, std::uint32_t definition_id);
