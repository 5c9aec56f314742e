// Network isolation of test processes (see isolation.h).
#include "tests/support/isolation.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

bool set_up_loopback()
{
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0) return false;
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ioctl(s, SIOCGIFFLAGS, &ifr) == 0;
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP | IFF_RUNNING);
    ok = ok && ioctl(s, SIOCSIFFLAGS, &ifr) == 0;

    rtentry rt{};
    auto* dst = reinterpret_cast<sockaddr_in*>(&rt.rt_dst);
    dst->sin_family = AF_INET;
    dst->sin_addr.s_addr = inet_addr("224.0.0.0");
    auto* mask = reinterpret_cast<sockaddr_in*>(&rt.rt_genmask);
    mask->sin_family = AF_INET;
    mask->sin_addr.s_addr = inet_addr("240.0.0.0");
    char dev[] = "lo";
    rt.rt_dev = dev;
    rt.rt_flags = RTF_UP;
    // An existing route (a namespace set up by the test script) is fine too.
    ok = ok && (ioctl(s, SIOCADDRT, &rt) == 0 || errno == EEXIST);
    close(s);
    return ok;
}

}  // namespace

bool zvtest_isolate_network()
{
    const char* shared = std::getenv("ZV_TEST_SHARED_NETNS");
    bool own = shared == nullptr || std::strcmp(shared, "1") != 0;
    if (own && unshare(CLONE_NEWNET) == 0 && !set_up_loopback()) {
        std::fprintf(stderr, "cannot bring up loopback in the test's network namespace\n");
        return false;
    }
    if (!only_loopback()) {
        std::fprintf(stderr, "refusing to run: this network namespace has interfaces other than "
                             "loopback; run the tests through scripts/test\n");
        return false;
    }
    return true;
}
