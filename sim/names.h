// Simulator variable, units and event names compare without regard to case.
#pragma once

#include <cctype>

namespace zvsim {

inline bool same_name(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

}  // namespace zvsim
