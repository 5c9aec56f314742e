// Standard output for a log or the journal (-l). The program begins each line with its line break
// and ends none, so a reader that shows whole lines (the journal, a log file followed with tail)
// shows a line only when the next one begins. Once standard output goes through the filter, every
// flush ends the line it leaves open, and the line break that the next line then begins with is
// dropped: the same lines, each whole as soon as it is printed.
#pragma once

#include <string>
#include <string_view>

// The filter's state between two writes.
struct PlatLineEnds {
    // The last write ended a line that the program had left open.
    bool ended_open_line = false;
};

// Appends to `out` what the write `in` becomes.
void plat_end_lines(PlatLineEnds& state, std::string_view in, std::string& out);

// From now on, standard output goes through the filter, its buffer flushed only when the program
// flushes it. False, and nothing changed, where the system cannot do it (Windows).
bool plat_console_end_lines();
