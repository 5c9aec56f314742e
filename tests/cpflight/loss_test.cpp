// A CPFlight unit whose device goes away, on a fake serial port: which errors of a failed read or
// write mean that it has gone, how else the driver finds out (a look at the port, the loop's
// wait), what it does then with -w (closes without "K999", says so once, looks for the unit
// every 2 s without a line per failure, starts it again once it is back) and without (the port
// stays open, marked lost), and what the status line says.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/pyxplugin.h"
#include "app/report.h"
#include "cpflight/cpflight.h"
#include "platform/clock.h"
#include "platform/serial.h"

namespace {

#ifdef _WIN32
const plat_serial_t kPort = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(7));
#else
constexpr plat_serial_t kPort = 7;
#endif

struct FakeUnit {
    bool present = true;     // the device can be opened
    bool looks_gone = false;  // what a look at the open port says
    int fail_reads = 0;       // the error the next reads fail with; 0: they find nothing
    int fail_writes = 0;      // the same for writes
    int error = 0;
    int opens = 0;
    std::vector<std::string> io;  // what was written, and "close"
};
FakeUnit unit;
long long now_ms = 5000;

const PlatSerialApi kFakeSerial = {
    [](const char*) {
        ++unit.opens;
        if (unit.present) return kPort;
        unit.error = PLAT_SERIAL_NO_DEVICE;
        return PLAT_INVALID_SERIAL;
    },
    [](plat_serial_t) { return true; },
    [](plat_serial_t, void*, std::size_t) -> long {
        unit.error = unit.fail_reads;
        return unit.fail_reads != 0 ? -1 : 0;
    },
    [](plat_serial_t, const void* data, std::size_t length) -> long {
        unit.io.emplace_back(static_cast<const char*>(data), length - 1);
        unit.error = unit.fail_writes;
        return unit.fail_writes != 0 ? -1 : static_cast<long>(length);
    },
    [](plat_serial_t) { unit.io.emplace_back("close"); },
    [](plat_serial_t) { return unit.looks_gone; },
    [] { return unit.error; },
};

struct CpflightLoss : testing::Test {
    void SetUp() override
    {
        plat_serial = kFakeSerial;
        plat_monotonic_ms = [] { return now_ms; };
        std::snprintf(zvpyxcpf_serial_port, sizeof zvpyxcpf_serial_port, "COM7");
        zvxpl_cpflight_enabled = 1;
    }
    // Opens the unit and runs its start-up to the end; returns the port's device path.
    std::string started(bool with_w)
    {
        zvpyxcpf_state.reopen_lost = with_w ? 1 : 0;
        zvpyxcpf_runloop();
        for (int step = 0; step < 2; ++step) {
            now_ms = zvpyxcpf_next_due_ms();
            zvpyxcpf_startup_step();
        }
        EXPECT_TRUE(zvpyxcpf_listening());
        unit.io.clear();
        char path[ZVPYXCPF_SERIAL_PORT_SIZE];
        plat_serial_device_path(zvpyxcpf_serial_port, path, sizeof path);
        return path;
    }
};

TEST_F(CpflightLoss, TheErrorsThatMeanTheDeviceHasGone)
{
    struct Row {
        int error;
        bool gone;
    };
    const Row rows[] = {
#ifdef _WIN32
        {ERROR_ACCESS_DENIED, true}, {ERROR_BAD_COMMAND, true},   {ERROR_GEN_FAILURE, true},
        {ERROR_DEVICE_REMOVED, true}, {ERROR_FILE_NOT_FOUND, true}, {ERROR_NOT_READY, true},
        {ERROR_OPERATION_ABORTED, false}, {ERROR_IO_PENDING, false}, {ERROR_INVALID_PARAMETER, false},
#else
        {EIO, true}, {ENXIO, true}, {ENODEV, true}, {EAGAIN, false}, {EINTR, false}, {EBADF, false},
#endif
    };
    for (const Row& row : rows)
        for (bool on_write : {true, false})
            for (bool with_w : {true, false}) {
                SCOPED_TRACE(std::to_string(row.error) + (on_write ? " write" : " read") + (with_w ? " -w" : ""));
                unit = FakeUnit{};
                const std::string path = started(with_w);
                (on_write ? unit.fail_writes : unit.fail_reads) = row.error;
                // The refresh sends heading and altitude again, then reads.
                zvpyxcpf_hardware.hdg += 1;
                zvpyxcpf_hardware.alt += 1;
                testing::internal::CaptureStdout();
                zvpyxcpf_runloop();
                const std::string printed = testing::internal::GetCapturedStdout();
                const bool closed = row.gone && with_w;
                EXPECT_EQ(zvpyxcpf_lost(), row.gone);
                EXPECT_EQ(zvpyxcpf_fd == PLAT_INVALID_SERIAL, closed);
                EXPECT_EQ(printed, closed ? "\nCPFlight unit on " + path + " went away, waiting for it ..." : "");
                // Closed by a write, the port is not written to again in that refresh.
                std::vector<std::string> io = {"V03000", "V0400000"};
                if (closed && on_write) io.back() = "close";
                if (closed && !on_write) io.push_back("close");
                EXPECT_EQ(unit.io, io);
                zvpyxcpf_close_serial_port();
                zvpyxcpf_fd = PLAT_INVALID_SERIAL;
                // A fresh state forgets the port name and the flag too: set them again.
                zvpyxcpf_state = ZvpyxcpfState{};
                SetUp();
            }
}

// With -w: the loss reported by the loop's wait; opens tried every 2 s without a line, and once
// the unit is back a line and its start-up from "K999".
// A fresh state resets the driver: the port is closed without a word to the unit.
TEST_F(CpflightLoss, AFreshStateClosesThePortWithoutAWordToTheUnit)
{
    started(true);
    zvpyxcpf_state = ZvpyxcpfState{};
    EXPECT_EQ(unit.io, std::vector<std::string>{"close"});
    EXPECT_EQ(zvpyxcpf_fd, PLAT_INVALID_SERIAL);
    EXPECT_EQ(zvxpl_cpflight_enabled, 0);
    EXPECT_FALSE(zvpyxcpf_starting());
}

TEST_F(CpflightLoss, WithWTheUnitIsLookedForEveryTwoSecondsAndStartedAgain)
{
    const std::string path = started(true);
    const long long lost_at = now_ms;
    testing::internal::CaptureStdout();
    unit.present = false;
    zvpyxcpf_port_gone();
    zvpyxcpf_port_gone();  // told twice: one line
    EXPECT_EQ(unit.io, std::vector<std::string>{"close"});  // no "K999"
    EXPECT_FALSE(zvpyxcpf_listening());
    struct Row {
        long long at_ms;  // after the loss
        bool present;
        int opens;  // so far
        bool lost;
        bool waiting;  // the program waits for the simulator: the unit is only drained
    };
    const Row rows[] = {{1, false, 0, true, false},    {1999, false, 0, true, true},
                        {2000, false, 1, true, true},  {3999, false, 1, true, false},
                        {4000, false, 2, true, false}, {5000, true, 2, true, true},
                        {6000, true, 3, false, true},  {6001, true, 3, false, false}};
    for (const Row& row : rows) {
        now_ms = lost_at + row.at_ms;
        unit.present = row.present;
        if (row.waiting)
            zvpyxcpf_drain();
        else
            zvpyxcpf_runloop();
        EXPECT_EQ(unit.opens, 1 + row.opens) << row.at_ms;
        EXPECT_EQ(zvpyxcpf_lost(), row.lost) << row.at_ms;
    }
    EXPECT_TRUE(zvpyxcpf_starting());
    unit.looks_gone = true;  // gone again during its start-up: found by the look at the port
    now_ms += 1;
    zvpyxcpf_runloop();
    EXPECT_FALSE(zvpyxcpf_starting());
    EXPECT_EQ(zvpyxcpf_next_due_ms(), -1);
    const std::string away = "\nCPFlight unit on " + path + " went away, waiting for it ...";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), away + "\nCPFlight unit on " + path + " is back" + away);
    EXPECT_EQ(unit.io, (std::vector<std::string>{"close", "K999", "close"}));
    // The program's end: the port is closed already, nothing is sent.
    zvpyxcpf_close_serial_port();
    EXPECT_EQ(unit.io.size(), 3u);
}

// Without -w nothing closes the port: a loss, by the wait or by a look at the port, only marks
// it lost, and the status line says so.
TEST_F(CpflightLoss, WithoutWThePortStaysOpenAndIsMarkedLost)
{
    started(false);
    testing::internal::CaptureStdout();
    unit.looks_gone = true;
    zvpyxcpf_drain();  // the same look while waiting for the simulator
    EXPECT_TRUE(zvpyxcpf_lost());
    EXPECT_EQ(zvpyxcpf_fd, kPort);
    EXPECT_FALSE(zvpyxcpf_listening());
    now_ms += 60000;
    zvpyxcpf_runloop();
    EXPECT_EQ(unit.opens, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    verbose = ZVSCPL_REPORT_VERBOSITY;
    testing::internal::CaptureStdout();
    zvscpl_report_status(false);
    now_ms += 10000;
    zvscpl_report_status(false);
    EXPECT_NE(testing::internal::GetCapturedStdout().find(" cpflight=lost"), std::string::npos);
    // The program's end still says goodbye; a closed port is no longer lost.
    zvpyxcpf_close_serial_port();
    EXPECT_EQ(unit.io, (std::vector<std::string>{"K999", "close"}));
    EXPECT_FALSE(zvpyxcpf_lost());
}

}  // namespace
