// POSIX error texts behind platform/error.h.
#include "platform/error.h"

#include <cstdio>
#include <cstring>

void plat_error_text(int error, char* out, std::size_t size)
{
    if (out == nullptr || size == 0) return;
    std::snprintf(out, size, "%s", std::strerror(error));
}
