// The Windows build under Wine, driven from Linux: the Win32 serial back end on a COM port that
// Wine maps to a pseudo-terminal, and pyxplugin.exe itself beside the stand-in SimConnect.dll,
// serving a panel on loopback and starting a CPFlight unit, also one that goes away and comes
// back, and recording a flight that the stand-in library then replays. Runs only in
// scripts/test-windows, which names the cross-build (ZV_WIN_BUILD) and starts Wine's server in
// this namespace.
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/panel_client.h"
#include "tests/support/process.h"
#include "tests/wine/com_port.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

constexpr int kComPort = 42;
const std::string kComPath = "\\\\.\\COM42";
constexpr unsigned int kProgramPort = 59000;
constexpr std::uint32_t kMcpHeading = 0x26011603;
constexpr std::uint32_t kNdRange = 0x26011703;

// The cross-build folder, or empty when this run has none.
std::string windows_build()
{
    const char* dir = std::getenv("ZV_WIN_BUILD");
    return dir != nullptr ? dir : "";
}

#define NEED_WINDOWS_BUILD() \
    if (windows_build().empty()) GTEST_SKIP() << "no Windows build (run scripts/test-windows)"

std::vector<std::string> under_wine(const std::string& program, const std::vector<std::string>& args = {})
{
    std::vector<std::string> argv = {ZV_SOURCE_DIR "/scripts/wine-run", program};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

std::string hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::map<std::string, std::string> fields(const std::string& state)
{
    std::map<std::string, std::string> out;
    std::istringstream words(state);
    std::string word;
    while (words >> word) {
        auto eq = word.find('=');
        if (eq != std::string::npos) out[word.substr(0, eq)] = word.substr(eq + 1);
    }
    return out;
}

// Whether a full packet reaches `client` within about five seconds with `id` at `value`.
bool full_packet_shows(panel::Client& client, std::uint32_t id, float value)
{
    for (int i = 0; i < 50; ++i)
        for (const panel::Packet& p : client.receive_for(100)) {
            const panel::Message* m = p.is_full() ? p.find(id) : nullptr;
            if (m != nullptr && m->f32() == value) return true;
        }
    return false;
}

// tests/platform/serial_probe.cpp under Wine, asked one line at a time.
struct SerialProbe : testing::Test {
    std::optional<ChildProcess> process;
    std::size_t answered = 0;

    void SetUp() override
    {
        NEED_WINDOWS_BUILD();
        process.emplace(under_wine(windows_build() + "/serial_probe.exe"), false, true);
    }

    // The probe's answer to `line`, or "" when none comes within 10 s.
    std::string ask(const std::string& line)
    {
        process->input(line + "\n");
        std::size_t eol;
        for (int waited = 0; (eol = process->output().find('\n', answered)) == std::string::npos; waited += 10) {
            if (waited >= 10000) return "";
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::string answer = process->output().substr(answered, eol - answered);
        answered = eol + 1;
        if (!answer.empty() && answer.back() == '\r') answer.pop_back();
        return answer;
    }
};

TEST_F(SerialProbe, ConfiguresTheLineAndKeepsTheDriversOtherSettings)
{
    ComPort com(kComPort);
    ASSERT_EQ(ask("open " + kComPath), "ok 0");
    auto before = fields(ask("state 0"));
    ASSERT_FALSE(before.empty());
    ASSERT_EQ(ask("configure 0"), "ok");
    auto after = fields(ask("state 0"));

    const std::map<std::string, std::string> set = {
        {"baud", "38400"},           {"bytesize", "8"},         {"parity", "0"},
        {"stopbits", "0"},           {"read_interval", "4294967295"}, {"read_multiplier", "0"},
        {"read_constant", "0"},      {"write_multiplier", "0"}, {"write_constant", "0"},
    };
    for (const auto& [name, value] : before) {
        auto wanted = set.find(name);
        EXPECT_EQ(after[name], wanted != set.end() ? wanted->second : value) << name;
    }
    termios tio{};
    ASSERT_EQ(tcgetattr(com.slave_fd(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B38400);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));

    EXPECT_EQ(ask("read 0"), "read ");  // nothing waiting: at once
    const std::string in("V1\r\n\0\x03\x11\x13\x7fz", 10);
    com.send(in);
    std::string got;
    for (int i = 0; i < 100 && got.size() < 2 * in.size(); ++i) got += ask("read 0").substr(5);
    EXPECT_EQ(got, hex(in));

    const std::string out("K9\r\n\0\n", 6);
    EXPECT_EQ(ask("write 0 " + hex(out)), "wrote 6");
    EXPECT_EQ(hex(com.receive(out.size(), 5000)), hex(out));
    EXPECT_EQ(ask("close 0"), "ok");
}

// Wine does not hold devices to the share mode, so a second open of a port in use, which
// Windows refuses, cannot be shown here.
TEST_F(SerialProbe, OpenReportsTheErrorAndClosingFreesThePort)
{
    ComPort com(kComPort);
    ASSERT_EQ(ask("open " + kComPath), "ok 0");
    EXPECT_EQ(ask("close 0"), "ok");
    EXPECT_EQ(ask("open " + kComPath), "ok 1");
    EXPECT_EQ(ask("close 1"), "ok");
    EXPECT_EQ(ask("open \\\\.\\COM43"), "error 2");  // ERROR_FILE_NOT_FOUND
}

// pyxplugin.exe and the stand-in SimConnect.dll side by side in a folder of their own, as a
// user places the program beside the simulator's library.
struct Program : testing::Test {
    fs::path dir;
    void SetUp() override
    {
        NEED_WINDOWS_BUILD();
        const fs::path build = windows_build();
        dir = build / ("run-" + std::to_string(getpid()));
        fs::create_directories(dir);
        fs::copy_file(build / "pyxplugin.exe", dir / "pyxplugin.exe");
        fs::copy_file(build / "standin" / "SimConnect.dll", dir / "SimConnect.dll");
    }
    void TearDown() override
    {
        if (!dir.empty()) fs::remove_all(dir);
    }
    std::string exe() const { return (dir / "pyxplugin.exe").string(); }
};

TEST_F(Program, ServesAPanelAndEndsWithCodeZeroOnCtrlC)
{
    ChildProcess program(under_wine(exe()));
    ASSERT_TRUE(wait_for_output(program, "Connected to Flight Simulator!", 30000)) << program.output();

    panel::Client client(0x81060000);
    client.request_stream(kProgramPort);
    bool hello = false;
    int full = 0;
    for (int i = 0; i < 30 && !(hello && full > 0); ++i)
        for (const panel::Packet& p : client.receive_for(100)) {
            hello = hello || (p.is_hello() && p.node_type == 0x13060000);
            full += p.is_full() ? 1 : 0;
        }
    EXPECT_TRUE(hello);
    EXPECT_GT(full, 0);

    client.send_float(kMcpHeading, 270.0f, kProgramPort);
    EXPECT_TRUE(full_packet_shows(client, kMcpHeading, 270.0f));

    // Ctrl-C reaches the program's console handler, which ends the loop.
    EXPECT_EQ(program.stop(SIGINT, 20000), 0) << program.output();
    EXPECT_EQ(program.output().rfind("Zorvan FS2020 Pyx Plugin 1.0.1", 0), 0u) << program.output();
}

TEST_F(Program, NetworkOptionsAreReportedAndAnAllowedPanelIsServed)
{
    ChildProcess program(under_wine(exe(), {"-p", "0", "-a", "bad", "-a", "127.0.0.0/8", "-m", "10.9.9.9"}));
    ASSERT_TRUE(wait_for_output(program, "Connected to Flight Simulator!", 30000)) << program.output();
    const std::string out = program.output();
    EXPECT_NE(out.find("\nIgnoring -p 0: not a number from 1 to 65535"), std::string::npos) << out;
    EXPECT_NE(out.find("\nIgnoring -a bad: not a network such as 192.168.1.0/24"), std::string::npos) << out;
    EXPECT_NE(out.find("\nMulticast interface 10.9.9.9 is not an address of this computer, using the default"),
              std::string::npos)
        << out;

    panel::Client client(0x81060000);
    client.request_stream(kProgramPort);
    int full = 0;
    for (int i = 0; i < 30 && full == 0; ++i)
        for (const panel::Packet& p : client.receive_for(100)) full += p.is_full() ? 1 : 0;
    EXPECT_GT(full, 0);
    EXPECT_EQ(program.stop(SIGINT, 20000), 0) << program.output();
}

TEST_F(Program, StartsACpflightUnitOnAComPort)
{
    ComPort com(kComPort);
    ChildProcess program(under_wine(exe(), {"-c", std::to_string(kComPort)}));
    // The start-up sequence waits 2 s after "K999" and 5 s after "Q001", then sends the dials.
    const std::string prefix("K999\0Q001\0L0198\0C00\n0\0"s);
    std::string got = com.receive(prefix.size() + 46, 30000);  // through "V05+nnnn"
    EXPECT_EQ(hex(got.substr(0, prefix.size())), hex(prefix));
    std::smatch dials;
    const std::string rest = got.size() > prefix.size() ? got.substr(prefix.size()) : "";
    EXPECT_TRUE(std::regex_search(rest, dials,
                                  std::regex("^V0435000\\0V03\\d{3}\\0V01\\d{3}\\0V06\\d{3}\\0V02\\d{3}\\0"
                                             "V05[+-]\\d{4}\\0")))
        << rest;

    // A key from the unit, on a port the loop's wait cannot wait on: the range selected shows in
    // the panels' full packets.
    panel::Client client(0x81060000);
    client.request_stream(kProgramPort);
    com.send("S003\0"s);
    EXPECT_TRUE(full_packet_shows(client, kNdRange, 40.0f));

    // Ctrl-C through the console handler: the loop ends, and the unit hears "K999" last.
    EXPECT_EQ(program.stop(SIGINT, 20000), 0) << program.output();
    const std::string last = com.receive(1 << 16, 1000);
    EXPECT_EQ(hex(last.size() >= 5 ? last.substr(last.size() - 5) : last), hex("K999\0"s));
    EXPECT_EQ(program.output().find("Unable to open serial port"), std::string::npos) << program.output();
}

// With -w, a unit on a COM port that goes away (its pseudo-terminal hangs up, which Wine shows
// as failing writes and line state, not as a failing ClearCommError) and comes back.
TEST_F(Program, ACpflightUnitThatGoesAwayIsReportedAndStartedAgain)
{
    std::optional<ComPort> com(std::in_place, kComPort);
    ChildProcess program(under_wine(exe(), {"-w", "-c", std::to_string(kComPort)}));
    EXPECT_EQ(hex(com->receive(5, 30000)), hex("K999\0"s));
    com->hang_up();
    const std::string gone = "\nCPFlight unit on " + kComPath + " went away, waiting for it ...";
    EXPECT_TRUE(wait_for_output(program, gone, 10000)) << program.output();

    com.emplace(kComPort);
    EXPECT_EQ(hex(com->receive(5, 10000)), hex("K999\0"s));
    EXPECT_TRUE(wait_for_output(program, "\nCPFlight unit on " + kComPath + " is back", 5000)) << program.output();
    EXPECT_EQ(program.stop(SIGINT, 20000), 0) << program.output();
    EXPECT_EQ(program.output().find("Unable to open serial port"), std::string::npos) << program.output();
}

TEST_F(Program, RecordsAFlightThatTheStandInLibraryReplaysToAPanel)
{
    // Wine reaches the Linux file system through drive Z:.
    const std::string file = "Z:" + (dir / "flight.zvrec").string();
    {
        ChildProcess program(under_wine(exe(), {"-r", file}));
        ASSERT_TRUE(wait_for_output(program, "Connected to Flight Simulator!", 30000)) << program.output();
        EXPECT_NE(program.output().find("\nRecording to " + file + " ..."), std::string::npos) << program.output();
        panel::Client client(0x81060000);
        client.request_stream(kProgramPort);
        client.send_float(kMcpHeading, 123.0f, kProgramPort);
        EXPECT_TRUE(full_packet_shows(client, kMcpHeading, 123.0f));
        EXPECT_EQ(program.stop(SIGINT, 20000), 0) << program.output();
    }
    ASSERT_TRUE(fs::exists(dir / "flight.zvrec"));
    // The replay serves what was recorded, the heading change with it, and ends with the recording.
    ChildProcess program({"/usr/bin/env", "ZVSIM_REPLAY=" + file, ZV_SOURCE_DIR "/scripts/wine-run", exe()});
    ASSERT_TRUE(wait_for_output(program, "Connected to Flight Simulator!", 30000)) << program.output();
    panel::Client client(0x81060000);
    client.request_stream(kProgramPort);
    EXPECT_TRUE(full_packet_shows(client, kMcpHeading, 123.0f));
    EXPECT_EQ(program.wait(30000), 0) << program.output();
}

}  // namespace
