// Entry point of every test program. Tests open sockets and the program multicasts, so each
// test process moves into a network namespace of its own that holds only loopback, with
// multicast routed to it; that also keeps tests that bind the same ports apart when CTest
// runs them in parallel. Where no namespace can be made, the process must already be in one
// that holds nothing but loopback, or it refuses to run.
//
// Two kinds of test share their namespace instead, and so run one at a time: the Windows
// programs, whose sockets Wine's server makes in the namespace it was started in, and the
// Linux programs that drive the Windows program under that server (ZV_TEST_SHARED_NETNS=1).
// Both still refuse to run unless that namespace holds only loopback.
#ifdef _WIN32
#include <winsock2.h>
#include <iphlpapi.h>

#include <cstdio>
#include <vector>

#include <gtest/gtest.h>

namespace {

bool only_loopback()
{
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = GetAdaptersAddresses(AF_UNSPEC, 0, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()),
                                      &size);
    }
    if (result != ERROR_SUCCESS) return false;
    for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a != nullptr; a = a->Next)
        if (a->IfType != IF_TYPE_SOFTWARE_LOOPBACK) return false;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    WSADATA wsa{};
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
    if (!testing::GTEST_FLAG(list_tests) && !only_loopback()) {
        std::fprintf(stderr, "refusing to run: Wine's network holds interfaces other than loopback; run the "
                             "Windows tests through scripts/test-windows\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
#else
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

#include <gtest/gtest.h>

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

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!testing::GTEST_FLAG(list_tests)) {
        const char* shared = std::getenv("ZV_TEST_SHARED_NETNS");
        bool own = shared == nullptr || std::strcmp(shared, "1") != 0;
        if (own && unshare(CLONE_NEWNET) == 0 && !set_up_loopback()) {
            std::fprintf(stderr, "cannot bring up loopback in the test's network namespace\n");
            return 1;
        }
        if (!only_loopback()) {
            std::fprintf(stderr, "refusing to run: this network namespace has interfaces other than "
                                 "loopback; run the tests through scripts/test\n");
            return 1;
        }
    }
    return RUN_ALL_TESTS();
}
#endif
