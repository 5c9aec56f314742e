// Recording a session (see recording.h).
#include "app/recording.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/identity.h"
#include "flightdata/flightdata.h"
#include "record/writer.h"

namespace {

void record_transmission(FlightEventId id, DWORD data) { zvrec_client_event(id, data); }

}  // namespace

ZvrecHeader zvscpl_recording_header()
{
    ZvrecHeader header;
    header.program = std::string(TITLE_STRING) + " " + VERSION_STRING;
    header.definition_id = 0;
    for (const FlightVariable& row : flightVariables)
        header.rows.push_back({row.name, row.units != nullptr ? row.units : "", static_cast<std::uint32_t>(row.type),
                               static_cast<std::uint32_t>(row.offset)});
    for (const FlightEvent& event : flightEvents) header.events.push_back({event.id, event.name});
    return header;
}

void zvscpl_start_recording(const char* path)
{
    ZvrecStarted started = zvrec_start(path, zvscpl_recording_header());
    if (!started.ok) {
        std::printf("\nUnable to record to %s: %s", started.path.c_str(), std::strerror(started.error));
    } else if (started.renamed) {
        std::printf("\n%s exists, recording to %s ...", path, started.path.c_str());
    } else {
        std::printf("\nRecording to %s ...", started.path.c_str());
    }
    std::fflush(stdout);
    if (started.ok) zvpyxpl_fd_transmit_hook = record_transmission;
}

void zvscpl_record_connection(bool opened) { zvrec_mark(opened ? ZVREC_CONNECTED : ZVREC_DISCONNECTED); }

void zvscpl_recording_news()
{
    std::string line;
    if (!zvrec_take_failure(line)) return;
    std::printf("\n%s", line.c_str());
    std::fflush(stdout);
}

void zvscpl_stop_recording()
{
    zvrec_stop();
    zvscpl_recording_news();  // a failure to finish the file
    zvpyxpl_fd_transmit_hook = nullptr;
}

const char* zvscpl_recording_state()
{
    switch (zvrec_state()) {
    case ZvrecState::On: return "on";
    case ZvrecState::Failed: return "failed";
    default: return "off";
    }
}
