// What the program tells the operator about the simulator (see simnotes.h).
#include "app/simnotes.h"

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/identity.h"
#include "app/report.h"
#include "flightdata/flightdata.h"
#include "platform/simlink_info.h"
#include "platform/text.h"

ZvscplNotes zvscpl_notes;

namespace {

// SIMCONNECT_EXCEPTION in order, as the SDK numbers it.
constexpr std::array<const char*, 32> EXCEPTION_NAMES = {
    "NONE",
    "ERROR",
    "SIZE_MISMATCH",
    "UNRECOGNIZED_ID",
    "UNOPENED",
    "VERSION_MISMATCH",
    "TOO_MANY_GROUPS",
    "NAME_UNRECOGNIZED",
    "TOO_MANY_EVENT_NAMES",
    "EVENT_ID_DUPLICATE",
    "TOO_MANY_MAPS",
    "TOO_MANY_OBJECTS",
    "TOO_MANY_REQUESTS",
    "WEATHER_INVALID_PORT",
    "WEATHER_INVALID_METAR",
    "WEATHER_UNABLE_TO_GET_OBSERVATION",
    "WEATHER_UNABLE_TO_CREATE_STATION",
    "WEATHER_UNABLE_TO_REMOVE_STATION",
    "INVALID_DATA_TYPE",
    "INVALID_DATA_SIZE",
    "DATA_ERROR",
    "INVALID_ARRAY",
    "CREATE_OBJECT_FAILED",
    "LOAD_FLIGHTPLAN_FAILED",
    "OPERATION_INVALID_FOR_OBJECT_TYPE",
    "ILLEGAL_OPERATION",
    "ALREADY_SUBSCRIBED",
    "INVALID_ENUM",
    "DEFINITION_ERROR",
    "DUPLICATE_ID",
    "DATUM_ID",
    "OUT_OF_BOUNDS",
};
static_assert(EXCEPTION_NAMES.size() == SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS + 1);

}  // namespace

void zvscpl_notes_start()
{
    zvscpl_notes = ZvscplNotes{};
    zvpyxpl_fd_sent_reset();
}

const char* zvscpl_exception_name(DWORD exception)
{
    return exception < EXCEPTION_NAMES.size() ? EXCEPTION_NAMES[exception] : nullptr;
}

void zvscpl_note_open(const SIMCONNECT_RECV_OPEN& open)
{
    if (verbose < ZVSCPL_REPORT_VERBOSITY) return;
    // The name as text that cannot upset a terminal, whether or not the simulator terminated it.
    std::string_view raw(open.szApplicationName, sizeof open.szApplicationName - 1);
    std::string name = plat_printable(raw.substr(0, raw.find('\0')));
    std::printf("\nFlight Simulator: %s %lu.%lu build %lu.%lu, SimConnect %lu.%lu", name.c_str(),
                static_cast<unsigned long>(open.dwApplicationVersionMajor),
                static_cast<unsigned long>(open.dwApplicationVersionMinor),
                static_cast<unsigned long>(open.dwApplicationBuildMajor),
                static_cast<unsigned long>(open.dwApplicationBuildMinor),
                static_cast<unsigned long>(open.dwSimConnectVersionMajor),
                static_cast<unsigned long>(open.dwSimConnectVersionMinor));
    if (plat_sim_link_info.server[0] != '\0') std::printf(" at %s", plat_sim_link_info.server);
    std::fflush(stdout);
}

void zvscpl_note_exception(const SIMCONNECT_RECV_EXCEPTION& exception)
{
    const ZvpyxplSent* sent = zvpyxpl_fd_sent_find(exception.dwSendID);
    if (verbose == 0 || sent == nullptr) return;
    char what[160];
    switch (sent->kind) {
    case ZvpyxplSentKind::Variable:
        if (sent->units != nullptr)
            std::snprintf(what, sizeof what, "variable \"%s\" (%s)", sent->name, sent->units);
        else
            std::snprintf(what, sizeof what, "variable \"%s\"", sent->name);
        break;
    case ZvpyxplSentKind::SystemEvent: std::snprintf(what, sizeof what, "system event \"%s\"", sent->name); break;
    case ZvpyxplSentKind::DataRequest: std::snprintf(what, sizeof what, "the data request"); break;
    default: std::snprintf(what, sizeof what, "event \"%s\"", sent->name); break;
    }
    char reason[32];
    if (const char* name = zvscpl_exception_name(exception.dwException))
        std::snprintf(reason, sizeof reason, "%s", name);
    else
        std::snprintf(reason, sizeof reason, "exception %lu", static_cast<unsigned long>(exception.dwException));
    char line[224];
    std::snprintf(line, sizeof line, "Flight Simulator refused %s: %s", what, reason);
    if (!zvscpl_report_due(line)) return;
    std::printf("%s\n", line);
    std::fflush(stdout);
}

void zvscpl_note_short_block(std::size_t bytes)
{
    if (zvscpl_notes.short_block_told) return;
    zvscpl_notes.short_block_told = 1;
    std::printf("\nFlight Simulator sends %zu-byte data blocks where %zu are expected: panels receive no flight data",
                bytes, sizeof(FlightData));
    std::fflush(stdout);
}
