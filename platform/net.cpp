// The dotted-address conversions behind platform/net.h; inet_addr and inet_ntoa are the same
// on both operating systems.
#include "platform/net.h"

std::uint32_t plat_inet_addr(const char* text)
{
    if (text == nullptr) return INADDR_NONE;
    return ::inet_addr(text);
}

const char* plat_inet_ntoa(std::uint32_t addr)
{
    in_addr a{};
    a.s_addr = addr;
    return ::inet_ntoa(a);
}
