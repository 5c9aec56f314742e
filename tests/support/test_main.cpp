// Entry point of every test program. Tests open sockets and the program multicasts, so each
// test process moves into a network namespace of its own that holds only loopback; that also
// keeps tests that bind the same ports apart when CTest runs them in parallel.
#include <gtest/gtest.h>

#include "tests/support/isolation.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!testing::GTEST_FLAG(list_tests) && !zvtest_isolate_network()) return 1;
    return RUN_ALL_TESTS();
}
