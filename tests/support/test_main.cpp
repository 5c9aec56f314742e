// Entry point of every test program. Tests open sockets and the program multicasts, so each
// test process moves into a network namespace of its own that holds only loopback; that also
// keeps tests that bind the same ports apart when CTest runs them in parallel.
//
// The Windows test programs cannot: Wine's server makes their sockets in the namespace it was
// started in (by scripts/test-windows), which they share and so run one at a time. They refuse
// to run unless Wine shows them nothing but loopback.
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

bool zvtest_isolate_network()
{
    WSADATA wsa{};
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return false;
    if (only_loopback()) return true;
    std::fprintf(stderr, "refusing to run: Wine's network holds interfaces other than loopback; run the Windows "
                         "tests through scripts/test-windows\n");
    return false;
}

}  // namespace
#else
#include <gtest/gtest.h>

#include "tests/support/isolation.h"
#endif

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!testing::GTEST_FLAG(list_tests) && !zvtest_isolate_network()) return 1;
    return RUN_ALL_TESTS();
}
