// The network client's faults end to end, against a scripted server: each way a connection ends
// (a QUIT, whole or in pieces, a close, a reset, a malformed size) without -w and with it, a
// server that is not there yet, and a server that stops reading while a panel floods the
// program with commands.
#include <signal.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/client_rig.h"
#include "tests/support/scripted_server.h"

namespace {

using rig::WorkDir;

enum class End { Quit, QuitInPieces, Close, Reset, MalformedSize };

void end_connection(scripted::Server& server, End end)
{
    switch (end) {
    case End::Quit: server.send(scripted::quit_message()); break;
    case End::QuitInPieces: server.send_split(scripted::quit_message(), {1, 4, 9}, 30); break;
    case End::Close: server.close_connection(); break;
    case End::Reset: server.reset_connection(); break;
    case End::MalformedSize: server.send(scripted::sized_bytes(8)); break;
    }
}

TEST(ClientFaults, EndsOrReconnectsAfterEachWayTheConnectionEnds)
{
    struct Case {
        const char* name;
        End end;
        bool wait;          // -w
        const char* cause;  // the line printed, or empty
    };
    const Case cases[] = {
        {"quit", End::Quit, false, ""},
        {"quit -w", End::Quit, true, ""},
        {"quit in pieces", End::QuitInPieces, false, ""},
        {"close", End::Close, false, "Flight Simulator closed the connection"},
        {"close -w", End::Close, true, "Flight Simulator closed the connection"},
        {"reset", End::Reset, false, "Flight Simulator reset the connection"},
        {"reset -w", End::Reset, true, "Flight Simulator reset the connection"},
        {"size 8", End::MalformedSize, false,
         "Flight Simulator sent a malformed message (size 8): closing the connection"},
        {"size 8 -w", End::MalformedSize, true,
         "Flight Simulator sent a malformed message (size 8): closing the connection"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        scripted::Server server;
        server.stream_blocks(rig::flight_block, 20);
        WorkDir dir(rig::section("SimConnect", server.port()));
        ChildProcess program(rig::program(dir, c.wait ? std::vector<std::string>{"-w"} : std::vector<std::string>{}));
        ASSERT_TRUE(server.wait_type(ZVSW_REQUEST_DATA_ON_SIM_OBJECT, 1, 5000)) << program.output();
        EXPECT_TRUE(rig::wait_for_output(program, "Connected to Flight Simulator!\n", 2000)) << program.output();
        end_connection(server, c.end);
        const std::string cause = c.cause[0] != '\0' ? std::string("\n") + c.cause : std::string();
        if (!c.wait) {
            int code = 0;
            long long took = rig::time_to_end(program, 1000, code);
            EXPECT_GE(took, 0) << "still running: " << program.output();
            EXPECT_EQ(code, 0);
            EXPECT_TRUE(program.output().ends_with("\nConnected to Flight Simulator!\n" + cause)) << program.output();
            continue;
        }
        EXPECT_TRUE(rig::wait_for_output(program, cause + "\nFlight Simulator closed, waiting ...", 1000))
            << program.output();
        EXPECT_TRUE(server.wait_type(ZVSW_OPEN, 1, 5000, 2)) << program.output();
        EXPECT_TRUE(rig::wait_for_output(program, "Connected to Flight Simulator!\n", 2000, 2)) << program.output();
        EXPECT_EQ(program.stop(SIGTERM, 2000), 0);
    }
}

TEST(ClientFaults, AServerThatIsNotThereEndsAtOnceOrIsWaitedFor)
{
    unsigned port = 0;
    {
        scripted::Server gone;  // a port that was free a moment ago
        port = gone.port();
    }
    WorkDir dir(rig::section("SimConnect.0", port));
    const std::string connecting =
        "\nConnecting to Flight Simulator at 127.0.0.1:" + std::to_string(port) + " (SimConnect.cfg, section 0) ...";

    {
        SCOPED_TRACE("without -w");
        ChildProcess program(rig::program(dir, {}));
        int code = 0;
        long long took = rig::time_to_end(program, 2000, code);
        EXPECT_GE(took, 0);
        EXPECT_LT(took, 1500);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(program.output(), rig::kHeader + connecting) << program.output();
    }
    {
        SCOPED_TRACE("with -w");
        ChildProcess program(rig::program(dir, {"-w"}));
        EXPECT_TRUE(rig::wait_for_output(program, connecting + "\nWaiting for Flight Simulator ...", 2000))
            << program.output();
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        scripted::Server server(port);
        EXPECT_TRUE(server.wait_type(ZVSW_OPEN, 1, 5000)) << program.output();
        EXPECT_TRUE(server.wait_type(ZVSW_REQUEST_DATA_ON_SIM_OBJECT, 1, 2000)) << program.output();
        EXPECT_TRUE(rig::wait_for_output(program, "Connected to Flight Simulator!\n", 2000)) << program.output();
        EXPECT_EQ(program.stop(SIGTERM, 2000), 0);
        EXPECT_EQ(program.output().find("Connecting", program.output().find("Waiting")), std::string::npos)
            << "the progress line comes once per server";
    }
}

// A server that takes the connection and the Open but never answers it: given up after 5 s,
// as after any fault.
TEST(ClientFaults, AnOpenLeftUnansweredIsGivenUpAfterFiveSeconds)
{
    scripted::Server server;
    server.answer_open(false);
    WorkDir dir(rig::section("SimConnect.0", server.port()));
    ChildProcess program(rig::program(dir, {}));
    ASSERT_TRUE(server.wait_type(ZVSW_SUBSCRIBE_TO_SYSTEM_EVENT, 1, 3000)) << program.output();
    long long opened = server.requests().front().at_ms;
    int code = 0;
    EXPECT_GE(rig::time_to_end(program, 8000, code), 0) << program.output();
    long long took = plat_monotonic_ms() - opened;
    EXPECT_EQ(code, 0);
    EXPECT_GE(took, 4900);
    EXPECT_LE(took, 7000);
    EXPECT_TRUE(program.output().ends_with(
        "\nConnected to Flight Simulator!\n\nFlight Simulator did not answer the open within 5 s: closing the connection"))
        << program.output();
    EXPECT_EQ(server.requests().size(), 1 + FLIGHT_VARIABLE_COUNT + FLIGHT_EVENT_COUNT + 1u)
        << "no data request without the open's answer";
}

// One panel floods the program with heading commands while the server reads nothing; the other
// panel's stream goes on, and the program still ends (or reconnects) as soon as it is told.
TEST(ClientFaults, AServerThatStopsReadingHoldsNeitherTheStreamNorTheEnd)
{
    enum class Then { Sigterm, Quit, QuitWait };
    struct Case {
        const char* name;
        Then then;
    };
    const Case cases[] = {{"SIGTERM", Then::Sigterm}, {"QUIT", Then::Quit}, {"QUIT -w", Then::QuitWait}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        scripted::Server server(0, 4096);
        server.stream_blocks(rig::flight_block, 20);
        WorkDir dir(rig::section("SimConnect.0", server.port()));
        std::vector<std::string> args = {"-v", "-v"};
        if (c.then == Then::QuitWait) args.push_back("-w");
        ChildProcess program(rig::program(dir, args));
        ASSERT_TRUE(server.wait_type(ZVSW_REQUEST_DATA_ON_SIM_OBJECT, 1, 5000)) << program.output();
        panel::Client watcher;
        ASSERT_TRUE(rig::start_streaming(watcher).has_value()) << program.output();
        server.reading(false);
        server.longest_block_gap_ms();

        // About 125000 commands, 4.5 MB of requests: more than the sockets' buffers and the
        // client's queue hold. A thread of its own floods, so that the watching thread, which
        // mostly sleeps, sees each packet as it comes.
        std::atomic<bool> flooded{false};
        std::thread flood([&flooded] {
            panel::Client flooder;
            for (int packet = 0; packet < 2500; ++packet) {
                std::vector<panel::Message> commands;
                for (int i = 0; i < 50; ++i) commands.push_back(panel::f32_message(rig::kMcpHeading, static_cast<float>(i)));
                flooder.send(commands, rig::kProgramPort);
                // Paced, so that the program's socket buffer takes most packets.
                if (packet % 40 == 39) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            flooded = true;
        });
        rig::Stream stream;
        while (!flooded) stream.watch(watcher, 50);
        flood.join();
        stream.watch(watcher, 1500);
        EXPECT_LE(stream.longest_gap_ms, 500)
            << "the server's own longest gap between blocks: " << server.longest_block_gap_ms() << " ms\n"
            << program.output();
        EXPECT_GE(stream.count, 30);
        EXPECT_TRUE(rig::wait_for_output(program, "\nFlight Simulator is not reading: ", 2000)) << program.output();

        if (c.then == Then::Sigterm) {
            long long start = plat_monotonic_ms();
            EXPECT_EQ(program.stop(SIGTERM, 1000), 0) << program.output();
            EXPECT_LT(plat_monotonic_ms() - start, 1000);
            continue;
        }
        server.send(scripted::quit_message());
        if (c.then == Then::Quit) {
            int code = 0;
            long long took = rig::time_to_end(program, 1000, code);
            EXPECT_GE(took, 0) << "still running: " << program.output();
            EXPECT_EQ(code, 0);
            continue;
        }
        EXPECT_TRUE(rig::wait_for_output(program, "\nFlight Simulator closed, waiting ...", 1000)) << program.output();
        EXPECT_TRUE(server.wait_type(ZVSW_OPEN, 1, 5000, 2)) << program.output();
        EXPECT_EQ(program.stop(SIGTERM, 2000), 0);
    }
}

}  // namespace
