// Who may talk to this node: the networks that senders must come from (none given: everyone),
// the addresses of permanent peers, which are always allowed, and the count of senders and
// datagrams refused. Used by the UDP side for datagrams and peers and by the TCP server for
// connections.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

// An IPv4 network: address and mask in network order, the address already masked.
struct ZvmpNetwork {
    std::uint32_t addr;
    std::uint32_t mask;
};

struct ZvmpAllowState {
    // Set once a network was asked for, valid or not: from then on only those networks and
    // permanent peers are allowed.
    bool restricted = false;
    std::vector<ZvmpNetwork> networks;
    // Address of each permanent peer (network order), with the number of its entries.
    std::unordered_map<std::uint32_t, unsigned int> permanent;
    // Senders refused: datagrams and connections from outside the networks, and new peers
    // beyond the bound on learned peers or their rate.
    unsigned long long refused = 0;
};
extern ZvmpAllowState zvmp_allow_state;

// Four decimal numbers from 0 to 255 joined by dots, as an address in network order; false
// for anything else (no shortened, octal or hexadecimal forms, no leading zeros).
bool zvmp_parse_ipv4(const char* text, std::uint32_t& out);
// "ADDRESS" or "ADDRESS/BITS" (BITS 0 to 32; no BITS: the one address); false when malformed,
// also for a number written with a leading zero.
bool zvmp_parse_network(const char* text, ZvmpNetwork& out);
// A static peer's address (network order) as inet_addr reads it, shortened forms such as
// "127.1" included, or INADDR_NONE when it does not convert or a part of it begins with a zero
// that other digits or letters follow: "010.0.0.1" is 10.0.0.1 to -a and -m but octal 8.0.0.1
// to inet_addr, so it is refused everywhere.
std::uint32_t zvmp_peer_address(const char* text);
// Restricts senders to the networks given so far and this one; 1 when the text was a network,
// 0 when not (the restriction holds all the same).
int zvmp_allow_network(const char* text);
// 1 when a sender with this address (network order) may be heard, else 0.
int zvmp_sender_allowed(std::uint32_t addr);
void zvmp_allow_permanent_added(std::uint32_t addr);
void zvmp_allow_permanent_removed(std::uint32_t addr);
unsigned long long zvmp_number_refused();
