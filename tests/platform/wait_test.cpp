// The operating system's wait for work: it wakes for each source that is ready, for a stop
// request, and otherwise when its time runs out; a wake-up is reported once, and a source left
// out of the wait does not end it, however ready.
#ifndef _WIN32
#include <unistd.h>
#endif

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
    ASSERT_TRUE(plat_net.startup());
    ASSERT_TRUE(plat_wait_prepare_wake());
    plat_socket_t socket = plat_net.udp_socket();
    ASSERT_EQ(plat_net.bind(socket, plat_inet_addr("127.0.0.1"), 0), 0);
    ASSERT_TRUE(plat_wait.watch_socket(socket));
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = plat_inet_addr("127.0.0.1");
    self.sin_port = htons(static_cast<unsigned short>(tsock::local_port(socket)));
    PlatWaitSources sources;
    sources.socket = socket;
#ifndef _WIN32
    int serial[2];
    ASSERT_EQ(pipe(serial), 0);  // a descriptor like the unit's
    sources.serial = serial[0];
    int hung_up[2];
    ASSERT_EQ(pipe(hung_up), 0);
#endif

    struct Row {
        const char* what;
        std::function<void()> make_ready;
        unsigned woke;
    };
    const Row rows[] = {
        {"a datagram", [&] { plat_net.send_to(socket, "x", 1, &self); }, PLAT_WAKE_SOCKET},
        {"a stop request", [] { plat_wait_wake(); }, PLAT_WAKE_STOP},
        {"two stop requests", [] { plat_wait_wake(), plat_wait_wake(); }, PLAT_WAKE_STOP},
#ifdef _WIN32
        {"the simulator's event", [] { plat_wait_signal(plat_wait_sim_event()); }, PLAT_WAKE_SIM},
        {"all at once, each reported", [&] {
             plat_wait_signal(plat_wait_sim_event());
             plat_wait_wake();
             plat_net.send_to(socket, "x", 1, &self);
             tsock::wait_readable(socket);
         }, PLAT_WAKE_STOP | PLAT_WAKE_SIM | PLAT_WAKE_SOCKET},
#else
        {"the unit's bytes", [&] { ASSERT_EQ(write(serial[1], "K", 1), 1); }, PLAT_WAKE_SERIAL},
        // Reported apart: a port that has hung up reads as empty, and would wake every wait.
        {"the unit hangs up", [&] {
             sources.serial = hung_up[0];
             close(hung_up[1]);
         }, PLAT_WAKE_SERIAL_GONE},
#endif
    };
    for (const Row& row : rows) {
        row.make_ready();
        unsigned woke = 0;
        EXPECT_LT(elapsed_ms([&] { woke = plat_wait.wait(sources, 5000); }), 2500) << row.what;
        EXPECT_EQ(woke, row.woke) << row.what;
        // Read what woke it; a stop or simulator wake-up is taken by the wait itself, once.
        char scratch[8];
        if ((woke & PLAT_WAKE_SOCKET) != 0) {
            EXPECT_EQ(tsock::recv_now(socket, scratch, sizeof scratch), 1);
        }
#ifndef _WIN32
        if ((woke & PLAT_WAKE_SERIAL) != 0) {
            EXPECT_EQ(read(serial[0], scratch, sizeof scratch), 1);
        }
#endif
    }

#ifndef _WIN32
    sources.serial = serial[0];
    close(hung_up[0]);
#endif
    // Nothing ready: the wait lasts its time, and a time of 0 only looks.
    unsigned woke = 1;
    EXPECT_GE(elapsed_ms([&] { woke = plat_wait.wait(sources, 30); }), 25);
    EXPECT_EQ(woke, 0u);
    EXPECT_EQ(plat_wait.wait(sources, 0), 0u);
    // A source left out is not waited on, however ready: the wait still lasts its time.
    plat_net.send_to(socket, "x", 1, &self);
    tsock::wait_readable(socket);
    sources.socket = PLAT_INVALID_SOCKET;
    EXPECT_GE(elapsed_ms([&] { woke = plat_wait.wait(sources, 30); }), 25);
    EXPECT_EQ(woke, 0u);
#ifndef _WIN32
    close(serial[0]);
    close(serial[1]);
#endif
    plat_net.close(socket);
}

}  // namespace
