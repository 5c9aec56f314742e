// The system's text for an error number (errno, GetLastError or WSAGetLastError), for the
// failure lines the program prints at higher verbosity.
#pragma once

#include <cstddef>

// Writes the text, without a line end, into `out` (at most `size` bytes with the terminator).
void plat_error_text(int error, char* out, std::size_t size);
