// Standard output through the line-ending filter (see platform/console.h), as a glibc cookie
// stream in place of stdout that writes to the same descriptor.
#include "platform/console.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace {

// The buffer holds far more than the longest line the program prints, so that the stream hands
// over its text only when the program flushes, never in the middle of a line.
constexpr std::size_t BUFFER_SIZE = 64 * 1024;

struct ConsoleState {
    PlatLineEnds lines;
    int fd = STDOUT_FILENO;
    std::string out;
};
ConsoleState console;

ssize_t write_filtered(void*, const char* data, size_t size)
{
    console.out.clear();
    plat_end_lines(console.lines, std::string_view(data, size), console.out);
    for (std::size_t done = 0; done < console.out.size();) {
        ssize_t n = ::write(console.fd, console.out.data() + done, console.out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(size);
}

}  // namespace

bool plat_console_end_lines()
{
    std::fflush(stdout);
    cookie_io_functions_t functions{};
    functions.write = write_filtered;
    FILE* filtered = fopencookie(nullptr, "w", functions);
    if (filtered == nullptr) return false;
    if (std::setvbuf(filtered, nullptr, _IOFBF, BUFFER_SIZE) != 0) {
        std::fclose(filtered);
        return false;
    }
    console.fd = fileno(stdout);
    // glibc's stdout is a variable the program may set; printf and fputs(..., stdout) read it.
    stdout = filtered;
    return true;
}
