// The dotted-address conversions behind platform/net.h: inet_addr and inet_ntoa, the same on both
// operating systems, and the one reading of an address that the program's options and files use.
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

bool plat_parse_decimal(const char*& p, unsigned int max, unsigned int& out)
{
    if (p[0] == '0' && p[1] >= '0' && p[1] <= '9') return false;
    unsigned int value = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9' && digits < 3) {
        value = value * 10 + static_cast<unsigned int>(*p - '0');
        ++p;
        ++digits;
    }
    if (digits == 0 || (*p >= '0' && *p <= '9') || value > max) return false;
    out = value;
    return true;
}

bool plat_parse_address(const char*& p, std::uint32_t& out)
{
    std::uint32_t host = 0;
    for (int i = 0; i < 4; ++i) {
        unsigned int part;
        if (i > 0 && *p++ != '.') return false;
        if (!plat_parse_decimal(p, 255, part)) return false;
        host = (host << 8) | part;
    }
    out = htonl(host);
    return true;
}

