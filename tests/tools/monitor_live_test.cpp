// zvmp-monitor against the program itself: build/pyxplugin on the built-in simulator, both
// started as processes in the test's network namespace, with a panel socket as a witness of
// what the program publishes.
#include <signal.h>

#include <chrono>
#include <optional>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "protocol/messages.h"
#include "tests/support/panel_client.h"
#include "tests/support/process.h"
#include "tools/monitor/catalogue.h"

namespace {

constexpr unsigned int PROGRAM_PORT = 59000;

// The next full packet the panel receives within `ms`, asking for the stream meanwhile (the
// program may still be starting).
std::optional<panel::Packet> next_full(panel::Client& panel, int ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        panel.request_stream(PROGRAM_PORT);
        for (const panel::Packet& p : panel.receive_for(100))
            if (p.is_full()) return p;
    }
    return std::nullopt;
}

std::string shown(std::uint32_t id, const std::uint8_t* payload)
{
    return zvmon_format(*zvmon_entry_by_id(id), payload);
}

// The n-th complete line of the monitor's output that holds `text` (n from 1), waiting up to
// `ms`; "" when none comes.
std::string nth_line_with(ChildProcess& monitor, const std::string& text, int n, int ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const std::string& out = monitor.output();
        int found = 0;
        for (std::size_t at = 0, nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1) {
            std::string line = out.substr(at, nl - at);
            if (line.find(text) != std::string::npos && ++found == n) return line;
        }
        if (std::chrono::steady_clock::now() >= end) return "";
        monitor.wait(100);
    }
}

}  // namespace

TEST(MonitorLive, ShowsWhatTheProgramPublishesAndSendsItAHeading)
{
    ChildProcess program({ZV_PROGRAM_PATH});
    panel::Client panel(0x81060000);
    std::optional<panel::Packet> before = next_full(panel, 10000);
    ASSERT_TRUE(before) << program.output();
    const panel::Message* heading = before->find(zvmsg::MCP_HEADING);
    const panel::Message* radios = before->find(zvmsg::RADIO_BLOCK);
    ASSERT_TRUE(heading && radios);
    ASSERT_NE(heading->f32(), 270.0f) << "the simulator starts on the heading this test sets";

    ChildProcess monitor({ZV_MONITOR_PATH}, true);
    // A line of a full second of data (the first may cover part of a second only), with the
    // heading and COM1 that the panel sees.
    std::string line = nth_line_with(monitor, " hdg=", 2, 8000);
    ASSERT_FALSE(line.empty()) << monitor.output() << monitor.errors();
    std::smatch rate;
    ASSERT_TRUE(std::regex_search(line, rate, std::regex(R"(^rate=(\d+) )"))) << line;
    EXPECT_GE(std::stoi(rate[1]), 10) << line;
    EXPECT_LE(std::stoi(rate[1]), 21) << line;
    EXPECT_NE(line.find(" hdg=" + shown(zvmsg::MCP_HEADING, heading->payload.data()) + " "), std::string::npos)
        << line;
    EXPECT_NE(line.find(" com1=" + shown(zvmsg::COM1_ACTIVE, radios->payload.data() + 16) + " "), std::string::npos)
        << line;
    EXPECT_NE(line.find(" com1=118.10 "), std::string::npos) << line;

    ChildProcess send({ZV_MONITOR_PATH, "send", "hdg", "270"}, true);
    ASSERT_EQ(send.wait(5000), 0) << send.errors();
    EXPECT_EQ(send.output(), "sent hdg=270 to 127.0.0.1:59000\n");

    // The program publishes the new heading, to the panel and to the monitor.
    bool published = false;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!published && std::chrono::steady_clock::now() < end) {
        std::optional<panel::Packet> p = next_full(panel, 500);
        published = p && p->find(zvmsg::MCP_HEADING) && p->find(zvmsg::MCP_HEADING)->f32() == 270.0f;
    }
    EXPECT_TRUE(published);
    EXPECT_FALSE(nth_line_with(monitor, " hdg=270 ", 1, 2500).empty()) << monitor.output();

    EXPECT_EQ(monitor.stop(SIGINT, 3000), 0);
    EXPECT_TRUE(monitor.errors().empty()) << monitor.errors();
    EXPECT_EQ(program.stop(SIGTERM, 5000), 0);
}
