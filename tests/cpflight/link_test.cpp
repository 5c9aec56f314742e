// The CPFlight serial link: opening and its failures, writing, closing, and the receive pass
// that splits the unit's byte stream into commands.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "cpflight/cpflight.h"
#include "flightdata/flightdata.h"
#include "tests/cpflight/pty_unit.h"
#include "tests/support/simconnect_double.h"

namespace {

std::vector<std::string> opened;
int closes = 0;

plat_serial_t record_open(const char* path)
{
    opened.emplace_back(path);
    return plat_serial_os.open(path);
}
void record_close(plat_serial_t port)
{
    ++closes;
    plat_serial_os.close(port);
}
std::vector<std::string> written;
long fail_write(plat_serial_t, const void*, std::size_t) { return -1; }
long fail_read(plat_serial_t, void*, std::size_t) { return -1; }

std::vector<std::pair<DWORD, DWORD>> sent()
{
    std::vector<std::pair<DWORD, DWORD>> events;
    for (const scd::TransmitCall& t : scd::transmits) events.emplace_back(t.event_id, t.data);
    scd::transmits.clear();
    return events;
}

}  // namespace

TEST(CpflightLink, OpenFailureIsReportedWithPathAndErrorOnEveryCall)
{
    plat_serial.open = record_open;
    zvxpl_cpflight_enabled = 1;
    struct Row {
        const char* port;
        const char* message;
        std::vector<std::string> opened;
    };
    const Row rows[] = {
        {"COM/nonexistent/cpflight",
         "\nUnable to open serial port /nonexistent/cpflight : Error 2\n",
         {"/nonexistent/cpflight", "/nonexistent/cpflight"}},
        {"COMabc", "\nUnable to open serial port COMabc : Error 2\n", {}},
        {"COM0", "\nUnable to open serial port COM0 : Error 2\n", {}},
    };
    for (const Row& row : rows) {
        std::snprintf(zvpyxcpf_serial_port, sizeof zvpyxcpf_serial_port, "%s", row.port);
        opened.clear();
        testing::internal::CaptureStdout();
        zvpyxcpf_runloop();
        zvpyxcpf_runloop();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(row.message) + row.message);
        EXPECT_EQ(opened, row.opened) << row.port;
        EXPECT_EQ(zvpyxcpf_fd, PLAT_INVALID_SERIAL);
    }
}

TEST(CpflightLink, EmptyPortNameMeansCom3)
{
    plat_serial.open = [](const char* path) {
        opened.emplace_back(path);
        return PLAT_INVALID_SERIAL;
    };
    testing::internal::CaptureStdout();
    zvpyxcpf_open_serial_port();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(opened, std::vector<std::string>{"/dev/ttyS2"});
}

TEST(CpflightLink, ConfigureFailureClosesSilentlyAndIsRetried)
{
    plat_serial.open = record_open;
    plat_serial.close = record_close;
    std::snprintf(zvpyxcpf_serial_port, sizeof zvpyxcpf_serial_port, "COM/dev/null");
    zvxpl_cpflight_enabled = 1;
    testing::internal::CaptureStdout();
    zvpyxcpf_runloop();
    zvpyxcpf_runloop();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(opened.size(), 2u);
    EXPECT_EQ(closes, 2);
    EXPECT_EQ(zvpyxcpf_fd, PLAT_INVALID_SERIAL);
}

TEST(CpflightLink, DisabledOrOpenDriverOpensNothing)
{
    PtyUnit unit;
    use_unit(unit);
    plat_serial.open = record_open;
    zvxpl_cpflight_enabled = 0;
    zvpyxcpf_runloop();
    EXPECT_TRUE(opened.empty());

    zvpyxcpf_open_serial_port();
    ASSERT_NE(zvpyxcpf_fd, PLAT_INVALID_SERIAL);
    zvpyxcpf_open_serial_port();
    EXPECT_EQ(opened.size(), 1u);
}

TEST(CpflightLink, WritesWholeCommandsAndSaysGoodbyeOnClose)
{
    PtyUnit unit;
    use_unit(unit);
    zvpyxcpf_open_serial_port();
    ASSERT_NE(zvpyxcpf_fd, PLAT_INVALID_SERIAL);
    EXPECT_EQ(zvpyxcpf_write(zvpyxcpf_fd, "V01\0", 4), 4u);
    EXPECT_EQ(unit.received(zvpyxcpf_fd), std::string("V01\0", 4));

    plat_serial.write = [](plat_serial_t, const void* data, std::size_t length) {
        written.emplace_back(static_cast<const char*>(data), length);
        return static_cast<long>(length);
    };
    plat_serial.close = record_close;
    zvpyxcpf_close_serial_port();
    zvpyxcpf_close_serial_port();  // already closed: nothing
    EXPECT_EQ(written, std::vector<std::string>{std::string("K999\0", 5)});
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(zvpyxcpf_fd, PLAT_INVALID_SERIAL);

    plat_serial.write = fail_write;
    EXPECT_EQ(zvpyxcpf_write(zvpyxcpf_fd, "K999", 5), UINT64_MAX);
}

TEST(CpflightLink, ReceivePassSplitsTheStreamIntoCommands)
{
    PtyUnit unit;
    use_unit(unit);
    zvpyxcpf_open_serial_port();
    ASSERT_NE(zvpyxcpf_fd, PLAT_INVALID_SERIAL);
    const std::string pad506(506, 'x');
    struct Row {
        std::vector<std::string> passes;  // what arrives before each pass
        std::vector<std::pair<DWORD, DWORD>> sent;
        int drained = -1;  // the pass that drops what arrived instead (waiting for the simulator)
    };
    const Row rows[] = {
        {{std::string("K025\0K030\0", 10)},
         {{EVT_AP_HDG_HOLD, 0}, {EVT_AP_PANEL_ALTITUDE_HOLD, 0}}},
        {{std::string("\0K025\0", 6)}, {{EVT_AP_HDG_HOLD, 0}}},
        // A command cut between two passes is completed in the second, once.
        {{"V01", std::string("123\0", 4)}, {{EVT_VOR1_SET, 123}}},
        {{"K025", "", std::string("\0", 1)}, {{EVT_AP_HDG_HOLD, 0}}},
        // 510 characters fit; 511 without a terminator are dropped, also across passes.
        {{"K025" + pad506 + std::string("\0", 1)}, {{EVT_AP_HDG_HOLD, 0}}},
        {{"K025" + pad506 + "x" + std::string("\0", 1), ""}, {}},
        {{"K025" + pad506.substr(300), pad506.substr(0, 301) + std::string("\0", 1), ""}, {}},
        {{std::string("K030\0", 5)}, {{EVT_AP_PANEL_ALTITUDE_HOLD, 0}}},
        // Dropped while waiting: whole commands, the unfinished one, and one begun before.
        {{std::string("K025\0V01", 8), std::string("5\0K030\0", 7)}, {{EVT_AP_PANEL_ALTITUDE_HOLD, 0}}, 0},
        {{"K02", "5", std::string("\0K030\0", 6)}, {{EVT_AP_PANEL_ALTITUDE_HOLD, 0}}, 1},
    };
    for (const Row& row : rows) {
        for (std::size_t i = 0; i < row.passes.size(); ++i) {
            if (!row.passes[i].empty()) unit.send(zvpyxcpf_fd, row.passes[i]);
            if (static_cast<int>(i) == row.drained)
                zvpyxcpf_drain();
            else
                zvpyxcpf_receive_pass();
        }
        EXPECT_EQ(sent(), row.sent) << row.passes.front().substr(0, 12);
    }
}

TEST(CpflightLink, ReadFailureDropsTheUnfinishedCommand)
{
    PtyUnit unit;
    use_unit(unit);
    zvpyxcpf_open_serial_port();
    ASSERT_NE(zvpyxcpf_fd, PLAT_INVALID_SERIAL);
    unit.send(zvpyxcpf_fd, "K02");
    EXPECT_EQ(zvpyxcpf_receive_pass(), 3u);
    EXPECT_EQ(zvpyxcpf_receive_pass(), 0u);  // nothing more waiting
    plat_serial.read = fail_read;
    EXPECT_EQ(zvpyxcpf_receive_pass(), 0u);
    plat_serial.read = plat_serial_os.read;
    unit.send(zvpyxcpf_fd, std::string("5\0K030\0", 7));
    zvpyxcpf_receive_pass();
    EXPECT_EQ(sent(), (std::vector<std::pair<DWORD, DWORD>>{{EVT_AP_PANEL_ALTITUDE_HOLD, 0}}));
}
