// zvmp-recording info: a summary of a recording.
#include <algorithm>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "platform/SimConnect.h"
#include "platform/text.h"
#include "tools/recording/read.h"
#include "tools/recording/recording.h"

namespace {

// Gaps listed one by one; beyond this many only their number.
constexpr std::size_t GAPS_LISTED = 20;

struct Summary {
    std::uint64_t blocks = 0;
    std::uint64_t received_events = 0;
    std::uint64_t exceptions = 0;
    std::uint64_t other_messages = 0;
    std::uint64_t opens = 0;
    std::uint64_t quits = 0;
    std::uint64_t connected = 0;
    std::uint64_t disconnected = 0;
    std::map<std::uint32_t, std::uint64_t> sent;  // client events by id
    std::uint64_t sent_total = 0;
    std::string simulator;
    bool have_block = false;
    std::uint64_t last_block_us = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> gaps;  // start and length, microseconds
    std::uint64_t gap_count = 0;
};

std::string seconds(std::uint64_t us)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(us) / 1e6);
    return text;
}

std::string identity(const ZvrecRecord& r)
{
    SIMCONNECT_RECV_OPEN open{};
    std::memcpy(&open, r.payload.data(), std::min(r.payload.size(), sizeof open));
    const char* first = open.szApplicationName;
    std::string name(first, std::find(first, first + sizeof open.szApplicationName, '\0'));
    char text[160];
    std::snprintf(text, sizeof text, " %lu.%lu (build %lu.%lu), SimConnect %lu.%lu (build %lu.%lu)",
                  static_cast<unsigned long>(open.dwApplicationVersionMajor),
                  static_cast<unsigned long>(open.dwApplicationVersionMinor),
                  static_cast<unsigned long>(open.dwApplicationBuildMajor),
                  static_cast<unsigned long>(open.dwApplicationBuildMinor),
                  static_cast<unsigned long>(open.dwSimConnectVersionMajor),
                  static_cast<unsigned long>(open.dwSimConnectVersionMinor),
                  static_cast<unsigned long>(open.dwSimConnectBuildMajor),
                  static_cast<unsigned long>(open.dwSimConnectBuildMinor));
    return (name.empty() ? "(no name)" : plat_printable(name)) + text;
}

void count(Summary& s, const ZvrecRecord& r, const ZvrecHeader& header)
{
    switch (r.kind) {
    case ZVREC_CLIENT_EVENT:
        if (r.payload.size() >= 8) ++s.sent[zvrec_u32(r.payload.data())];
        ++s.sent_total;
        return;
    case ZVREC_CONNECTED: ++s.connected; return;
    case ZVREC_DISCONNECTED: ++s.disconnected; return;
    case ZVREC_MESSAGE: break;
    default: return;  // kinds of later versions
    }
    std::size_t size = 0;
    if (zvrtool_block(r, header, size) != nullptr) {
        ++s.blocks;
        if (s.have_block && r.time_us - s.last_block_us > static_cast<std::uint64_t>(ZVRTOOL_GAP_S * 1e6)) {
            ++s.gap_count;
            if (s.gaps.size() < GAPS_LISTED) s.gaps.emplace_back(s.last_block_us, r.time_us - s.last_block_us);
        }
        s.have_block = true;
        s.last_block_us = r.time_us;
        return;
    }
    switch (zvrtool_message_id(r)) {
    case SIMCONNECT_RECV_ID_EXCEPTION: ++s.exceptions; break;
    case SIMCONNECT_RECV_ID_EVENT: ++s.received_events; break;
    case SIMCONNECT_RECV_ID_OPEN:
        if (s.opens++ == 0) s.simulator = identity(r);
        break;
    case SIMCONNECT_RECV_ID_QUIT: ++s.quits; break;
    default: ++s.other_messages; break;
    }
}

std::string event_name(const ZvrecHeader& header, std::uint32_t id)
{
    for (const ZvrecEventName& e : header.events)
        if (e.id == id) return plat_printable(e.name);
    return "event " + std::to_string(id);
}

std::string utc(std::int64_t t)
{
    std::time_t time = static_cast<std::time_t>(t);
    const std::tm* tm = std::gmtime(&time);
    char text[40];
    if (tm == nullptr || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", tm) == 0) return std::to_string(t);
    return text;
}

}  // namespace

int zvrtool_info(const char* path, std::FILE* out, std::FILE* err)
{
    ZvrecReader reader;
    if (!zvrtool_open(reader, path, err)) return ZVRTOOL_DAMAGED;
    const ZvrecHeader& header = reader.header;
    Summary s;
    ZvrecRecord record;
    ZvrecNext next;
    while ((next = zvrec_read_next(reader, record)) == ZvrecNext::Record) count(s, record, header);

    std::size_t block_size = 0;
    for (const ZvrecRow& row : header.rows)
        block_size = std::max<std::size_t>(block_size, row.offset + simconnect_datatype_size(row.type));
    std::fprintf(out, "recording      %s\n", path);
    std::fprintf(out, "program        %s\n", plat_printable(header.program).c_str());
    std::fprintf(out, "started        %s\n", utc(header.wall_start).c_str());
    std::fprintf(out, "duration       %s\n", seconds(reader.last_time_us).c_str());
    std::fprintf(out, "simulator      %s\n", s.opens > 0 ? s.simulator.c_str() : "(no open message)");
    std::fprintf(out, "definition     %lu: %zu variables, %zu bytes\n", static_cast<unsigned long>(header.definition_id),
                 header.rows.size(), block_size);
    std::fprintf(out, "blocks         %llu\n", static_cast<unsigned long long>(s.blocks));
    std::fprintf(out, "events         %llu received\n", static_cast<unsigned long long>(s.received_events));
    std::fprintf(out, "client events  %llu sent", static_cast<unsigned long long>(s.sent_total));
    const char* separator = ": ";
    for (const auto& [id, n] : s.sent) {
        std::fprintf(out, "%s%s %llu", separator, event_name(header, id).c_str(), static_cast<unsigned long long>(n));
        separator = ", ";
    }
    std::fprintf(out, "\nexceptions     %llu\n", static_cast<unsigned long long>(s.exceptions));
    std::fprintf(out, "other messages %llu\n", static_cast<unsigned long long>(s.other_messages));
    std::fprintf(out, "sessions       %llu opened, %llu quit; %llu connected and %llu closed (-w)\n",
                 static_cast<unsigned long long>(s.opens), static_cast<unsigned long long>(s.quits),
                 static_cast<unsigned long long>(s.connected), static_cast<unsigned long long>(s.disconnected));
    std::fprintf(out, "gaps over 1 s  %s\n", s.gap_count == 0 ? "none" : std::to_string(s.gap_count).c_str());
    for (const auto& [at, length] : s.gaps)
        std::fprintf(out, "               at %s, %s without a block\n", seconds(at).c_str(), seconds(length).c_str());
    if (s.gap_count > s.gaps.size())
        std::fprintf(out, "               and %llu more\n", static_cast<unsigned long long>(s.gap_count - s.gaps.size()));
    if (next == ZvrecNext::Broken) {
        std::fprintf(out, "end            broken: it %s\n", reader.broken.c_str());
        return ZVRTOOL_DAMAGED;
    }
    if (reader.end_reason == ZVREC_END_QUEUE_FULL)
        std::fprintf(out, "end            stopped early: the disk did not keep up\n");
    else
        std::fprintf(out, "end            complete\n");
    return ZVRTOOL_OK;
}
