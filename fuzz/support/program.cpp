// Program helpers of the fuzz targets (see program.h).
#include "fuzz/support/program.h"

#include <cstring>

#include "app/getopt.h"
#include "app/pacing.h"
#include "app/pyxplugin.h"
#include "app/report.h"
#include "app/simnotes.h"
#include "cpflight/cpflight.h"
#include "fuzz/support/fakes.h"
#include "fuzz/support/network.h"
#include "tests/support/simconnect_double.h"

namespace zvfuzz {

void reset_program()
{
    static bool installed = (install_fakes(), true);
    (void)installed;
    // Each module's state afresh, one line each; what a module holds open is closed through the
    // fakes, so they are reset last.
    reset_network();
    zvpyxcpf_state = ZvpyxcpfState{};
    zvpyxpl_fd_record = ZvpyxplRecord{};
    zvpyxpl_fd_held = ZvpyxplHeld{};
    zvpyxpl_fd_sent = ZvpyxplSentState{};
    zvopt::state = zvopt::State{};
    zvscpl_state = ZvscplState{};
    zvscpl_report = ZvscplReport{};
    zvscpl_pacing = ZvscplPacing{};
    zvscpl_notes = ZvscplNotes{};
    scd::reset();
    reset_fakes();
    verbose = 0;
}

void enable_cpflight()
{
    std::strcpy(zvpyxcpf_serial_port, "COM1");
    zvxpl_cpflight_enabled = 1;
}

void run_cpflight_pass()
{
    zvpyxcpf_runloop();
    // The unit's start-up pauses pass at once: the clock jumps to each step that is due.
    for (int step = 0; step < 2 && zvpyxcpf_starting(); ++step) {
        fakes.monotonic_ms = zvpyxcpf_state.startup_due_ms;
        zvpyxcpf_startup_step();
    }
}

void check_transmissions()
{
    for (const scd::TransmitCall& t : scd::transmits) {
        check(t.object_id == SIMCONNECT_OBJECT_ID_USER, "command not for the user aircraft");
        check(t.event_id >= 1 && t.event_id <= 58, "command with an event id out of the table");
        check(t.group_id == SIMCONNECT_GROUP_PRIORITY_HIGHEST, "command not at the highest priority");
        check(t.flags == SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY, "command without the priority flag");
    }
    scd::transmits.clear();
    scd::calls.clear();
    scd::requests.clear();
}

void poke_record(FlightData& record, std::size_t offset, const std::uint8_t* bytes, std::size_t size)
{
    auto* at = reinterpret_cast<std::uint8_t*>(&record);
    offset %= sizeof record;
    if (size > sizeof record - offset) size = sizeof record - offset;
    if (size > 0) std::memcpy(at + offset, bytes, size);
}

}  // namespace zvfuzz
