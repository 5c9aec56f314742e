// The operator's status line and failure lines (see report.h).
#include "app/report.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/identity.h"
#include "app/recording.h"
#include "cpflight/cpflight.h"
#include "net/zvmpallow.h"
#include "net/zvmpnet.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/simlink_info.h"
#include "protocol/network.h"
#include "record/writer.h"

ZvscplReport zvscpl_report;

namespace {

unsigned long long per_second(unsigned long long count, long long elapsed_ms)
{
    return elapsed_ms > 0 ? count * 1000 / static_cast<unsigned long long>(elapsed_ms) : count;
}

// Refused so far: bad datagrams, and senders and connections the allowed networks or the
// bound on learned peers turned away.
unsigned long long refused() { return zvmp_net_state.packets_refused + zvmp_number_refused(); }

const char* cpflight_state()
{
    if (zvxpl_cpflight_enabled == 0) return "off";
    if (zvpyxcpf_lost()) return "lost";
    return zvpyxcpf_fd != PLAT_INVALID_SERIAL ? "open" : "closed";
}

}  // namespace

void zvscpl_report_status(bool connected)
{
    zvscpl_recording_news();
    ZvscplReport& r = zvscpl_report;
    const PlatSimLinkInfo& link = plat_sim_link_info;
    if (verbose >= ZVSCPL_REPORT_VERBOSITY && link.unsent > r.unsent_told &&
        zvscpl_report_due("Flight Simulator is not reading")) {
        std::printf("\nFlight Simulator is not reading: %llu commands dropped unsent so far", link.unsent);
        std::fflush(stdout);
        r.unsent_told = link.unsent;
    }
    long long now = plat_monotonic_ms();
    if (r.last_status_ms < 0) {
        r.last_status_ms = now;
        r.sent_then = zvmp_net_state.packets_sent;
        r.refused_then = refused();
        r.commands_then = r.commands;
        r.dropped_then = r.dropped;
        r.unsent_then = plat_sim_link_info.unsent;
        return;
    }
    long long elapsed = now - r.last_status_ms;
    if (elapsed < ZVSCPL_REPORT_PERIOD_MS || verbose < ZVSCPL_REPORT_VERBOSITY) return;

    unsigned int peers = 0;
    unsigned int permanent = 0;
    for (const zvmp_net_tgt_list_s* e = zvmp_peer_list(); e != nullptr; e = e->next) {
        ++peers;
        if (e->flags & ZVMP_TGT_PERMANENT) ++permanent;
    }
    std::time_t t = static_cast<std::time_t>(plat_time());
    char clock[16] = "--:--:--";
    if (const std::tm* local = std::localtime(&t); local != nullptr)
        std::strftime(clock, sizeof clock, "%H:%M:%S", local);
    std::printf("\nstatus %s sim=%s peers=%u permanent=%u streaming_full=%u streaming_position=%u sent_per_s=%llu "
                "commands_per_s=%llu dropped=%llu refused=%llu cpflight=%s recording=%s recorded_kb=%lld",
                clock, connected ? "connected" : "waiting", peers, permanent,
                zvmp_number_of_stream_clients_of_type(ZVMP_NODE_FULL_PANEL),
                zvmp_number_of_stream_clients_of_type(ZVMP_NODE_POSITION_PANEL),
                per_second(zvmp_net_state.packets_sent - r.sent_then, elapsed),
                per_second(r.commands - r.commands_then, elapsed), r.dropped - r.dropped_then,
                refused() - r.refused_then, cpflight_state(), zvscpl_recording_state(), zvrec_bytes_written() / 1024);
    // A simulator reached over the network: what it did not take, and where it is.
    if (link.server[0] != '\0') std::printf(" sim_unsent=%llu sim_at=%s", link.unsent - r.unsent_then, link.server);
    std::fflush(stdout);
    r.last_status_ms = now;
    r.sent_then = zvmp_net_state.packets_sent;
    r.refused_then = refused();
    r.commands_then = r.commands;
    r.dropped_then = r.dropped;
    r.unsent_then = plat_sim_link_info.unsent;
}

bool zvscpl_report_due(const char* cause)
{
    ZvscplReport& r = zvscpl_report;
    long long now = plat_monotonic_ms();
    ZvscplReport::Failure* slot = nullptr;
    for (unsigned int i = 0; i < r.failure_count && slot == nullptr; ++i)
        if (std::strncmp(r.failures[i].cause, cause, sizeof r.failures[i].cause - 1) == 0) slot = &r.failures[i];
    if (slot != nullptr && now - slot->at_ms < ZVSCPL_REPORT_PERIOD_MS) return false;
    if (slot == nullptr) {
        // The table fills only with more kinds of failure than it holds; the oldest gives way.
        constexpr unsigned int size = sizeof r.failures / sizeof r.failures[0];
        unsigned int i = 0;
        if (r.failure_count < size)
            i = r.failure_count++;
        else
            for (unsigned int j = 1; j < size; ++j)
                if (r.failures[j].at_ms < r.failures[i].at_ms) i = j;
        slot = &r.failures[i];
        std::snprintf(slot->cause, sizeof slot->cause, "%s", cause);
    }
    slot->at_ms = now;
    return true;
}

void zvscpl_report_failure(const char* what, int error)
{
    if (verbose < ZVSCPL_REPORT_VERBOSITY || what == nullptr || !zvscpl_report_due(what)) return;
    if (error != 0) {
        char reason[256];
        plat_error_text(error, reason, sizeof reason);
        std::printf("\n%s: %s", what, reason);
    } else {
        std::printf("\n%s", what);
    }
    std::fflush(stdout);
}
