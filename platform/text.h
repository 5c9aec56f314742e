// Text from outside the program (a simulator's name, the names in a recording) made safe to
// print on a terminal.
#pragma once

#include <string>
#include <string_view>

// The text with every control character (below 0x20, and 0x7F) as '?', so that no escape
// sequence in it acts on the terminal; every other byte is kept.
std::string plat_printable(std::string_view text);
