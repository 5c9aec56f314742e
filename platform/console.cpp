// The line-ending filter of standard output (see console.h).
#include "platform/console.h"

void plat_end_lines(PlatLineEnds& state, std::string_view in, std::string& out)
{
    if (in.empty()) return;
    if (state.ended_open_line && in.front() == '\n') in.remove_prefix(1);
    state.ended_open_line = false;
    if (in.empty()) return;
    out.append(in);
    if (in.back() != '\n') {
        out.push_back('\n');
        state.ended_open_line = true;
    }
}
