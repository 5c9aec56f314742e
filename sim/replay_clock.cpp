// The clock of a replay that loops (see replay_clock.h).
#include "sim/replay_clock.h"

#include <cmath>
#include <cstring>

#include "platform/SimConnect.h"
#include "sim/sim.h"

namespace {

// The wall-clock gap between two loops when the recording does not show one.
constexpr std::uint64_t DEFAULT_GAP_US = 1000000 / ZVSIM_FRAMES_PER_SECOND;
// Where a data message holds its definition id (SIMCONNECT_RECV_SIMOBJECT_DATA's dwDefineID).
constexpr std::size_t DEFINE_ID_AT = 20;

}  // namespace

void zvsim_loop_note(ZvsimLoopClock& c, std::uint64_t time_us)
{
    if (c.pass != 0 || c.first_seen) return;
    c.first_seen = true;
    c.first_us = time_us;
}

double zvsim_loop_next_pass(ZvsimLoopClock& c, std::uint64_t last_us)
{
    std::uint64_t gap = c.block_gap_us > 0 ? c.block_gap_us : DEFAULT_GAP_US;
    std::uint64_t span = last_us > c.first_us ? last_us - c.first_us : 0;
    if (std::isfinite(c.abs_first) && std::isfinite(c.abs_max)) {
        double step = c.abs_second - c.abs_first;
        if (!(step > 0.0 && step < 60.0)) step = 1.0 / ZVSIM_FRAMES_PER_SECOND;
        c.abs_shift += c.abs_max - c.abs_first + step;
    }
    ++c.pass;
    return static_cast<double>(span + gap) / 1e6;
}

void zvsim_loop_retime(ZvsimLoopClock& c, ZvrecRecord& r, std::uint32_t definition_id)
{
    if (c.abs_offset < 0 || r.payload.size() < sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA)) return;
    if (zvrec_u32(r.payload.data() + DEFINE_ID_AT) != definition_id) return;
    std::size_t size = r.payload.size() - SIMOBJECT_DATA_HEADER_SIZE;
    std::size_t at = static_cast<std::size_t>(c.abs_offset);
    if (at + sizeof(double) > size) return;
    std::uint8_t* time = r.payload.data() + SIMOBJECT_DATA_HEADER_SIZE + at;
    double t;
    std::memcpy(&t, time, sizeof t);
    if (c.pass == 0) {
        if (!std::isfinite(t)) return;
        if (std::isnan(c.abs_first)) {
            c.abs_first = t;
            c.first_block_us = r.time_us;
        } else if (std::isnan(c.abs_second)) {
            c.abs_second = t;
            c.block_gap_us = r.time_us - c.first_block_us;
        }
        if (!(t <= c.abs_max)) c.abs_max = t;
        return;
    }
    t += c.abs_shift;
    std::memcpy(time, &t, sizeof t);
}
