// The pace of the main loop's passes (see pacing.h).
#include "app/pacing.h"

#include <cstdio>

#include "platform/clock.h"

ZvscplPacing zvscpl_pacing;

namespace {

constexpr double SUBSECOND_S = 0.05;
constexpr double SECOND_S = 1.0;
// A clock this far behind the last pass has been set back, not merely jittered.
constexpr double SET_BACK_S = 1.0;
constexpr long long SUBSECOND_MS = 50;
constexpr long long SECOND_MS = 1000;

void watch_the_clock(ZvscplPacing& p, double t)
{
    if (p.blocks == 0) {
        p.blocks = 1;
        p.changes = 0;
        p.last_block_time = t;
        return;
    }
    double step = t - p.last_block_time;
    if (step != 0.0) {
        // Also a clock that went back, and one that is not a number.
        if (!(step >= ZVSCPL_STEPPED_CLOCK_STEP_S)) {
            p.blocks = 0;
            watch_the_clock(p, t);
            return;
        }
        if (p.changes == 0 || step < p.smallest_step) p.smallest_step = step;
        ++p.changes;
        p.last_block_time = t;
    }
    ++p.blocks;
    if (p.blocks >= ZVSCPL_STEPPED_CLOCK_BLOCKS && p.changes >= ZVSCPL_STEPPED_CLOCK_CHANGES &&
        p.changes * 4 < p.blocks) {
        p.follow_blocks = 1;
        std::printf("\nFlight Simulator's clock advances in steps of %.1f s: passes now follow the data blocks",
                    p.smallest_step);
        std::fflush(stdout);
    }
}

}  // namespace

void zvscpl_pacing_start() { zvscpl_pacing = ZvscplPacing{}; }

void zvscpl_pacing_block(double t)
{
    ZvscplPacing& p = zvscpl_pacing;
    p.block_since_pass = 1;
    if (!p.follow_blocks) watch_the_clock(p, t);
}

unsigned zvscpl_pacing_take(double t)
{
    ZvscplPacing& p = zvscpl_pacing;
    if (t == 0.0) return 0;
    unsigned due = 0;
    long long now = plat_monotonic_ms();
    if (p.follow_blocks) {
        if (p.block_since_pass && now - p.last_pass_ms > SUBSECOND_MS) {
            due = ZVSCPL_PASS_SUBSECOND;
            if (now - p.last_second_ms > SECOND_MS) due |= ZVSCPL_PASS_SECOND;
        }
    } else {
        // Strict comparisons: a difference that is not a number runs no pass.
        bool set_back = t < p.lastSubsecondTime - SET_BACK_S;
        if (set_back || t - p.lastSubsecondTime > SUBSECOND_S) {
            due = ZVSCPL_PASS_SUBSECOND;
            if (set_back || t - p.lastSecondTime > SECOND_S) due |= ZVSCPL_PASS_SECOND;
        }
    }
    if (due & ZVSCPL_PASS_SUBSECOND) {
        p.lastSubsecondTime = t;
        p.last_pass_ms = now;
        p.block_since_pass = 0;
    }
    if (due & ZVSCPL_PASS_SECOND) {
        p.lastSecondTime = t;
        p.last_second_ms = now;
    }
    return due;
}
