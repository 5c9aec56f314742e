// The allowed networks, the permanent peers' addresses and the refused count.
#include "net/zvmpallow.h"

#include <cstring>

#include "platform/net.h"

ZvmpAllowState zvmp_allow_state;


bool zvmp_parse_ipv4(const char* text, std::uint32_t& out)
{
    if (text == nullptr) return false;
    const char* p = text;
    return plat_parse_address(p, out) && *p == '\0';
}

bool zvmp_parse_network(const char* text, ZvmpNetwork& out)
{
    if (text == nullptr) return false;
    const char* p = text;
    std::uint32_t addr;
    if (!plat_parse_address(p, addr)) return false;
    unsigned int bits = 32;
    if (*p == '/') {
        ++p;
        if (!plat_parse_decimal(p, 32, bits)) return false;
    }
    if (*p != '\0') return false;
    std::uint32_t mask = htonl(bits == 0 ? 0u : ~0u << (32 - bits));
    out = {addr & mask, mask};
    return true;
}

std::uint32_t zvmp_peer_address(const char* text)
{
    if (text == nullptr) return INADDR_NONE;
    // A part that begins with 0 and goes on ("010", "0x1f") is octal or hexadecimal to inet_addr.
    for (const char* part = text; *part != '\0';) {
        if (part[0] == '0' && part[1] != '.' && part[1] != '\0') return INADDR_NONE;
        const char* dot = std::strchr(part, '.');
        if (dot == nullptr) break;
        part = dot + 1;
    }
    return plat_inet_addr(text);
}

int zvmp_allow_network(const char* text)
{
    zvmp_allow_state.restricted = true;
    ZvmpNetwork net;
    if (!zvmp_parse_network(text, net)) return 0;
    zvmp_allow_state.networks.push_back(net);
    return 1;
}

int zvmp_sender_allowed(std::uint32_t addr)
{
    if (!zvmp_allow_state.restricted) return 1;
    for (const ZvmpNetwork& net : zvmp_allow_state.networks)
        if ((addr & net.mask) == net.addr) return 1;
    return zvmp_allow_state.permanent.contains(addr) ? 1 : 0;
}

void zvmp_allow_permanent_added(std::uint32_t addr) { ++zvmp_allow_state.permanent[addr]; }

void zvmp_allow_permanent_removed(std::uint32_t addr)
{
    auto it = zvmp_allow_state.permanent.find(addr);
    if (it == zvmp_allow_state.permanent.end()) return;
    if (--it->second == 0) zvmp_allow_state.permanent.erase(it);
}

unsigned long long zvmp_number_refused() { return zvmp_allow_state.refused; }
