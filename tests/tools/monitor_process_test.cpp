// zvmp-monitor as a process against a stand-in for the program (a hand-made ZVMP node of type
// 0x13 on loopback): what it sends, what it shows, and how `send` ends.
#include <signal.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/panel_client.h"
#include "tests/support/process.h"

namespace {

constexpr std::uint32_t PROGRAM_NODE = 0x13060000;
constexpr std::uint32_t HELLO = 0x02010101, REQ_STREAM = 0x01000102, STOP_STREAM = 0x01000103;
constexpr std::uint32_t MCP_HEADING = 0x26011603, COM1_ACTIVE = 0x22011d13, RADIO_BLOCK = 0x2a0c1d31;

std::vector<std::string> monitor_args(unsigned int port, std::vector<std::string> more = {})
{
    std::vector<std::string> args = {ZV_MONITOR_PATH, "--port", std::to_string(port)};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

panel::Packet stream_packet(std::uint32_t node, std::uint32_t last)
{
    return panel::parse(panel::packet_bytes(node, {panel::word_message(HELLO, node), panel::Message{last, {}}}));
}

panel::Message radio_block(std::uint32_t com1)
{
    panel::Message m{RADIO_BLOCK, {}};
    for (int i = 0; i < 12; ++i) {
        panel::Message w = panel::word_message(0, i == 4 ? com1 : 11000u + static_cast<std::uint32_t>(i));
        m.payload.insert(m.payload.end(), w.payload.begin(), w.payload.end());
    }
    return m;
}

// Feeds the monitor data packets every 50 ms for `ms`, collecting what it sends meanwhile.
std::vector<panel::Packet> feed(panel::Client& program, unsigned int monitor_port, ChildProcess& monitor, int ms)
{
    std::vector<panel::Packet> got;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        program.send({panel::f32_message(MCP_HEADING, 270.0f), radio_block(11810)}, monitor_port);
        auto more = program.receive_for(50);
        got.insert(got.end(), more.begin(), more.end());
        monitor.output();
    }
    return got;
}

// The monitor's port, from the first packet it sends (its stream request), at most 3 s.
unsigned int first_contact(panel::Client& program, std::vector<panel::Packet>& got)
{
    for (int i = 0; i < 30 && got.empty(); ++i) got = program.receive_for(100);
    return got.empty() ? 0 : got.front().from_port;
}

}  // namespace

TEST(MonitorProcess, AsksForTheStreamSaysHelloEverySecondAndStopsTheStreamWhenEnded)
{
    struct Case {
        const char* type;
        std::uint32_t node;
        int sig;
    };
    for (const Case c : {Case{"81", 0x81060000, SIGINT}, Case{"84", 0x84060000, SIGTERM}}) {
        SCOPED_TRACE(c.type);
        panel::Client program(PROGRAM_NODE);
        ChildProcess monitor(monitor_args(program.port(), {"--type", c.type}), true);
        std::vector<panel::Packet> got;
        unsigned int port = first_contact(program, got);
        ASSERT_NE(port, 0u);
        EXPECT_EQ(got.front().bytes, stream_packet(c.node, REQ_STREAM).bytes);

        // While data comes, a plain hello each second keeps the monitor a peer.
        std::vector<panel::Packet> later = feed(program, port, monitor, 2300);
        std::vector<std::uint8_t> hello = panel::packet_bytes(c.node, {panel::word_message(HELLO, c.node)});
        int hellos = 0;
        for (const panel::Packet& p : later) {
            EXPECT_EQ(p.from_port, port);
            if (p.bytes == hello) ++hellos;
        }
        EXPECT_GE(hellos, 1);
        EXPECT_LE(hellos, 3);

        EXPECT_EQ(monitor.stop(c.sig, 3000), 0);
        std::vector<panel::Packet> last = program.receive_for(200);
        ASSERT_FALSE(last.empty());
        EXPECT_EQ(last.back().bytes, stream_packet(c.node, STOP_STREAM).bytes);
    }
}

TEST(MonitorProcess, PrintsOneLineOfValuesPerSecondWithThePacketRate)
{
    panel::Client program(PROGRAM_NODE);
    panel::Client stranger(PROGRAM_NODE);
    ChildProcess monitor(monitor_args(program.port()), true);
    std::vector<panel::Packet> got;
    unsigned int port = first_contact(program, got);
    ASSERT_NE(port, 0u);
    // Values from any other address or port are not the program's.
    stranger.send({panel::f32_message(MCP_HEADING, 90.0f)}, port);
    feed(program, port, monitor, 3200);
    ASSERT_EQ(monitor.stop(SIGINT, 3000), 0);

    std::vector<std::string> lines;
    for (std::size_t at = 0, nl; (nl = monitor.output().find('\n', at)) != std::string::npos; at = nl + 1)
        lines.push_back(monitor.output().substr(at, nl - at));
    ASSERT_GE(lines.size(), 3u) << monitor.output();
    EXPECT_LE(lines.size(), 5u) << monitor.output();
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::regex_match(line, std::regex(R"(rate=\d+( [a-z0-9-]+=[^ =]+)*)"))) << line;
        EXPECT_EQ(line.find("hdg=90"), std::string::npos);
    }
    // The busiest line covers a full second of packets every 50 ms or so.
    std::string full;
    int best = -1;
    for (const std::string& line : lines) {
        int r = std::stoi(line.substr(5));
        if (r > best) {
            best = r;
            full = line;
        }
    }
    EXPECT_GE(best, 8) << monitor.output();
    EXPECT_LE(best, 21) << monitor.output();
    EXPECT_NE(full.find(" com1=118.10 "), std::string::npos) << full;
    EXPECT_NE(full.find(" nav1=110.00 nav1s=110.01 "), std::string::npos) << full;
    EXPECT_NE(full.find(" hdg=270"), std::string::npos) << full;
    EXPECT_TRUE(monitor.errors().empty()) << monitor.errors();
}

TEST(MonitorProcess, SendDeliversAllCommandsInOnePacketOnceTheProgramAnswers)
{
    panel::Client program(PROGRAM_NODE);
    ChildProcess send(monitor_args(program.port(), {"send", "hdg", "270", "com1", "118.10", "vs", "-1500"}), true);
    std::vector<panel::Packet> got;
    unsigned int port = first_contact(program, got);
    ASSERT_NE(port, 0u);
    std::vector<std::uint8_t> hello = panel::packet_bytes(0x81060000, {panel::word_message(HELLO, 0x81060000)});
    EXPECT_EQ(got.front().bytes, hello);
    program.hello(port);
    ASSERT_EQ(send.wait(3000), 0) << send.errors();
    // A loaded machine may let the monitor's next hello through first: only commands count.
    std::vector<panel::Packet> commands;
    for (panel::Packet& p : program.receive_for(200))
        if (!p.is_hello()) commands.push_back(std::move(p));
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].bytes,
              panel::packet_bytes(0x81060000, {panel::f32_message(MCP_HEADING, 270.0f),
                                               panel::word_message(COM1_ACTIVE, 11810),
                                               panel::f32_message(0x26011604, -1500.0f)}));
    EXPECT_EQ(send.output(),
              "sent hdg=270 com1=118.10 vs=-1500 to 127.0.0.1:" + std::to_string(program.port()) + "\n");
}

TEST(MonitorProcess, SendEndsWithOneLineAndAFailureStatusOnBadInputOrWithoutAnswer)
{
    panel::Client silent(PROGRAM_NODE);
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* error;
    };
    const Case cases[] = {
        {{"send", "heading", "270"}, 2, "zvmp-monitor: unknown name 'heading'"},
        {{"send", "com1", "1.5"}, 2, "zvmp-monitor: com1: '1.5' is out of range"},
        {{"send", "hdg"}, 2, "zvmp-monitor: hdg needs a value"},
        {{"--type", "99"}, 2, "zvmp-monitor: --type takes 81 or 84"},
        {{"send", "hdg", "270"}, 1, "zvmp-monitor: no program answered at 127.0.0.1:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        ChildProcess send(monitor_args(silent.port(), c.args), true);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(send.wait(6000), c.status);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(send.errors().rfind(c.error, 0), 0u) << send.errors();
        EXPECT_EQ(send.errors().find('\n'), send.errors().size() - 1) << send.errors();
        EXPECT_TRUE(send.output().empty()) << send.output();
    }
    // Nothing but hellos reached the silent node: no command went out unanswered.
    for (const panel::Packet& p : silent.drain()) EXPECT_TRUE(p.is_hello());
}
