// Windows error texts behind platform/error.h, from FormatMessageA; Winsock's codes are
// system error codes too.
#include "platform/error.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

void plat_error_text(int error, char* out, std::size_t size)
{
    if (out == nullptr || size == 0) return;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(error), 0, out, static_cast<DWORD>(size), nullptr);
    if (n == 0) {
        std::snprintf(out, size, "error %d", error);
        return;
    }
    // The system's texts end with a full stop and a line end, which the failure line adds itself.
    while (n > 0 && (out[n - 1] == '\r' || out[n - 1] == '\n' || out[n - 1] == ' ' || out[n - 1] == '.')) --n;
    out[n] = '\0';
}
