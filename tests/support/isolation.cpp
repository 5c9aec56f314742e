// Network isolation of test processes (see isolation.h).
#include "tests/support/isolation.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "protocol/network.h"

namespace {

bool only_loopback()
{
    // Asks the kernel about the current namespace (sysfs may still show the host's).
    struct if_nameindex* list = if_nameindex();
    if (list == nullptr) return false;
    bool ok = true;
    for (struct if_nameindex* i = list; i->if_index != 0; ++i)
        if (std::strcmp(i->if_name, "lo") != 0) ok = false;
    if_freenameindex(list);
    return ok;
}

// Appends one route attribute holding a 32-bit value (an address or an interface index).
void add_attribute(nlmsghdr& h, unsigned short type, std::uint32_t value)
{
    auto* a = reinterpret_cast<rtattr*>(reinterpret_cast<char*>(&h) + NLMSG_ALIGN(h.nlmsg_len));
    a->rta_type = type;
    a->rta_len = static_cast<unsigned short>(RTA_LENGTH(sizeof value));
    std::memcpy(RTA_DATA(a), &value, sizeof value);
    h.nlmsg_len = NLMSG_ALIGN(h.nlmsg_len) + RTA_ALIGN(a->rta_len);
}

// Routes 224.0.0.0/4 to loopback with 127.0.0.1 as its source address, as a network card gives
// its own: without one, multicast leaves from 0.0.0.0 and its receivers cannot answer the
// sender. The ioctl interface to routes knows no source address, so this speaks rtnetlink.
bool route_multicast_to_loopback()
{
    struct {
        nlmsghdr h;
        rtmsg r;
        char attributes[64];
    } request{};
    request.h.nlmsg_len = NLMSG_LENGTH(sizeof request.r);
    request.h.nlmsg_type = RTM_NEWROUTE;
    // Replaces a route made without a source address.
    request.h.nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK | NLM_F_CREATE | NLM_F_REPLACE;
    request.r.rtm_family = AF_INET;
    request.r.rtm_dst_len = 4;
    request.r.rtm_table = RT_TABLE_MAIN;
    request.r.rtm_protocol = RTPROT_BOOT;
    request.r.rtm_scope = RT_SCOPE_LINK;
    request.r.rtm_type = RTN_UNICAST;
    add_attribute(request.h, RTA_DST, inet_addr("224.0.0.0"));
    add_attribute(request.h, RTA_OIF, if_nametoindex("lo"));
    add_attribute(request.h, RTA_PREFSRC, inet_addr("127.0.0.1"));

    int s = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (s < 0) return false;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    bool ok = sendto(s, &request, request.h.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) ==
              static_cast<ssize_t>(request.h.nlmsg_len);
    // The acknowledgement is an error message whose error is 0.
    struct {
        nlmsghdr h;
        nlmsgerr e;
        char rest[256];
    } answer{};
    ok = ok && recv(s, &answer, sizeof answer, 0) >= static_cast<ssize_t>(NLMSG_LENGTH(sizeof answer.e)) &&
         answer.h.nlmsg_type == NLMSG_ERROR && answer.e.error == 0;
    close(s);
    return ok;
}

// The ports the kernel picks for sockets bound to port 0 are kept below the program's range,
// which lies inside Linux's default one (32768 to 60999): a test's panel socket that drew
// ZVMP_FIRST_PORT would push the node it talks to onto the next port and hear itself.
bool keep_ephemeral_ports_below_the_program()
{
    std::FILE* f = std::fopen("/proc/sys/net/ipv4/ip_local_port_range", "w");
    if (f == nullptr) return false;
    bool ok = std::fprintf(f, "32768 %u\n", ZVMP_FIRST_PORT - 1) > 0;
    return std::fclose(f) == 0 && ok;
}

bool set_up_loopback()
{
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0) return false;
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ioctl(s, SIOCGIFFLAGS, &ifr) == 0;
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP | IFF_RUNNING);
    ok = ok && ioctl(s, SIOCSIFFLAGS, &ifr) == 0;
    close(s);
    return ok && route_multicast_to_loopback() && keep_ephemeral_ports_below_the_program();
}

}  // namespace

bool zvtest_isolate_network()
{
    const char* shared = std::getenv("ZV_TEST_SHARED_NETNS");
    bool own = shared == nullptr || std::strcmp(shared, "1") != 0;
    if (own && unshare(CLONE_NEWNET) == 0 && !set_up_loopback()) {
        std::fprintf(stderr, "cannot set up loopback or its ports in the test's network namespace\n");
        return false;
    }
    if (!only_loopback()) {
        std::fprintf(stderr, "refusing to run: this network namespace has interfaces other than "
                             "loopback; run the tests through scripts/test\n");
        return false;
    }
    return true;
}
