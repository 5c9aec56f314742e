// Recording a session (-r FILE): the header from the program's data definition and client events,
// the start and the line that says where the recording goes, the marks of each connection under
// -w, the line of a recording that had to stop, and the end. The recorder is record/writer.h; the
// dispatch procedure hands it every message, the transmission hook every client event.
#pragma once

#include "record/format.h"

// The header of the program's recordings: its title and version, data definition and client events.
ZvrecHeader zvscpl_recording_header();
// Starts recording into `path` and says where ("Recording to FILE ...", or, when FILE exists,
// into FILE with the date and time inserted), or why it cannot. The program goes on either way.
void zvscpl_start_recording(const char* path);
// Under -w: the connection has opened (true) or closed (false).
void zvscpl_record_connection(bool opened);
// Prints, once, why a recording stopped on its own (a full queue, a write error).
void zvscpl_recording_news();
// Ends the recording, writing everything still queued.
void zvscpl_stop_recording();
// For the status line: "off", "on" or "failed".
const char* zvscpl_recording_state();
