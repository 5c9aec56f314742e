// The operating system's wait for work: it wakes for each source that is ready, for a stop
// request, and otherwise when its time runs out; a wake-up is reported once.
#include <unistd.h>

#include <chrono>
#include <functional>

#include <gtest/gtest.h>

#include "platform/net.h"
#include "platform/wait.h"
#include "tests/support/test_socket.h"

namespace {

long long elapsed_ms(const std::function<void()>& run)
{
    auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

TEST(Wait, WakesForEachSourceAndOtherwiseAtItsTimeout)
{
    ASSERT_TRUE(plat_wait_prepare_wake());
    plat_socket_t socket = plat_net.udp_socket();
    ASSERT_EQ(plat_net.bind(socket, plat_inet_addr("127.0.0.1"), 0), 0);
    sockaddr_in self{};
    socklen_t length = sizeof self;
    ASSERT_EQ(getsockname(socket, reinterpret_cast<sockaddr*>(&self), &length), 0);
    int serial[2];
    ASSERT_EQ(pipe(serial), 0);  // a descriptor like the unit's
    PlatWaitSources sources;
    sources.socket = socket;
    sources.serial = serial[0];

    struct Row {
        const char* what;
        std::function<void()> make_ready;
        unsigned woke;
    };
    const Row rows[] = {
        {"a datagram", [&] { plat_net.send_to(socket, "x", 1, &self); }, PLAT_WAKE_SOCKET},
        {"the unit's bytes", [&] { ASSERT_EQ(write(serial[1], "K", 1), 1); }, PLAT_WAKE_SERIAL},
        {"a stop request", [] { plat_wait_wake(); }, PLAT_WAKE_STOP},
        {"two stop requests", [] { plat_wait_wake(), plat_wait_wake(); }, PLAT_WAKE_STOP},
    };
    for (const Row& row : rows) {
        row.make_ready();
        unsigned woke = 0;
        EXPECT_LT(elapsed_ms([&] { woke = plat_wait.wait(sources, 5000); }), 2500) << row.what;
        EXPECT_EQ(woke, row.woke) << row.what;
        // Read what woke it; a stop wake-up is taken by the wait itself, once.
        char scratch[8];
        if (woke == PLAT_WAKE_SOCKET) {
            EXPECT_EQ(tsock::recv_now(socket, scratch, sizeof scratch), 1);
        }
        if (woke == PLAT_WAKE_SERIAL) {
            EXPECT_EQ(read(serial[0], scratch, sizeof scratch), 1);
        }
    }

    // Nothing ready: the wait lasts its time, and a time of 0 only looks.
    unsigned woke = 1;
    EXPECT_GE(elapsed_ms([&] { woke = plat_wait.wait(sources, 30); }), 25);
    EXPECT_EQ(woke, 0u);
    EXPECT_EQ(plat_wait.wait(sources, 0), 0u);
    // A source left out is not waited on, however ready.
    plat_net.send_to(socket, "x", 1, &self);
    tsock::wait_readable(socket);
    sources.socket = PLAT_INVALID_SOCKET;
    EXPECT_EQ(plat_wait.wait(sources, 0), 0u);
    close(serial[0]);
    close(serial[1]);
    plat_net.close(socket);
}

}  // namespace
