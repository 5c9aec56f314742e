// The POSIX serial port: which device a port name means, the line a pseudo-terminal gets, and
// one that hangs up.
#include <fcntl.h>
#include <termios.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/serial.h"
#include "tests/cpflight/pty_unit.h"

TEST(SerialPort, PortNameToDevicePath)
{
    struct Row {
        const char* name;
        bool device;
        const char* path;
    };
    const Row rows[] = {
        {"COM1", true, "/dev/ttyS0"},          {"COM3", true, "/dev/ttyS2"},
        {"COM12", true, "/dev/ttyS11"},        {"COM007", true, "/dev/ttyS6"},
        {"COM/dev/ttyUSB0", true, "/dev/ttyUSB0"}, {"COM/dev/pts/3", true, "/dev/pts/3"},
        {"COM0", false, "COM0"},               {"COM", false, "COM"},
        {"COMabc", false, "COMabc"},           {"COM1a", false, "COM1a"},
        {"COM-1", false, "COM-1"},             {"COM+1", false, "COM+1"},
        {"COM 1", false, "COM 1"},             {"COM99999999999", false, "COM99999999999"},
        {"ttyS0", false, "ttyS0"},             {"COMdev/ttyS0", false, "COMdev/ttyS0"},
    };
    for (const Row& row : rows) {
        char path[256] = "unchanged";
        EXPECT_EQ(plat_serial_device_path(row.name, path, sizeof path), row.device) << row.name;
        EXPECT_STREQ(path, row.path) << row.name;
    }
    char small[6];
    EXPECT_TRUE(plat_serial_device_path("COM/dev/ttyUSB0", small, sizeof small));
    EXPECT_STREQ(small, "/dev/");  // cut, never overrun
}

TEST(SerialPort, ConfiguresARawLineThatPassesEveryByte)
{
    PtyUnit unit;
    plat_serial_t port = plat_serial.open(unit.path().c_str());
    ASSERT_NE(port, PLAT_INVALID_SERIAL);
    ASSERT_TRUE(plat_serial.configure(port));

    termios tio{};
    ASSERT_EQ(tcgetattr(port, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B38400);
    EXPECT_EQ(cfgetispeed(&tio), B38400);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | IXON | ISTRIP), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(fcntl(port, F_GETFL) & O_NONBLOCK, 0);  // writes block

    char buffer[32];
    EXPECT_EQ(plat_serial.read(port, buffer, sizeof buffer), 0);  // nothing waiting: at once
    const std::string in("V1\r\n\0\x03\x11\x13\x7fz", 10);
    unit.send(port, in);
    ASSERT_EQ(plat_serial.read(port, buffer, sizeof buffer), static_cast<long>(in.size()));
    EXPECT_EQ(std::string(buffer, in.size()), in);

    const std::string out("K9\r\n\0\n", 6);
    EXPECT_EQ(plat_serial.write(port, out.data(), out.size()), static_cast<long>(out.size()));
    EXPECT_EQ(unit.received(port), out);
    plat_serial.close(port);
}

TEST(SerialPort, OpenIsExclusiveAndReportsTheError)
{
    PtyUnit unit;
    plat_serial_t port = plat_serial.open(unit.path().c_str());
    ASSERT_NE(port, PLAT_INVALID_SERIAL);
    EXPECT_EQ(plat_serial.open(unit.path().c_str()), PLAT_INVALID_SERIAL);
    plat_serial.close(port);
    port = plat_serial.open(unit.path().c_str());
    EXPECT_NE(port, PLAT_INVALID_SERIAL);  // free again once closed
    plat_serial.close(port);

    EXPECT_EQ(plat_serial.open("/nonexistent/ttyS0"), PLAT_INVALID_SERIAL);
    EXPECT_EQ(plat_serial.last_error(), ENOENT);
}

TEST(SerialPort, ConfigureRefusesWhatIsNoTerminal)
{
    plat_serial_t port = plat_serial.open("/dev/null");
    ASSERT_NE(port, PLAT_INVALID_SERIAL);
    EXPECT_FALSE(plat_serial.configure(port));
    EXPECT_FALSE(plat_serial.gone(port));  // no terminal (ENOTTY) is no loss
    plat_serial.close(port);
}

// What an unplugged adapter looks like: the terminal reads as empty, its writes and the look at
// it fail with EIO.
TEST(SerialPort, ATerminalThatHungUpReadsAsEmptyAndIsGone)
{
    PtyUnit unit;
    plat_serial_t port = plat_serial.open(unit.path().c_str());
    ASSERT_TRUE(plat_serial.configure(port));
    EXPECT_FALSE(plat_serial.gone(port));
    unit.hang_up();
    char buffer[8];
    EXPECT_EQ(plat_serial.read(port, buffer, sizeof buffer), 0);
    EXPECT_TRUE(plat_serial.gone(port));
    EXPECT_EQ(plat_serial.last_error(), EIO);
    EXPECT_EQ(plat_serial.write(port, "K999", 5), -1);
    EXPECT_TRUE(plat_serial_error_means_gone(plat_serial.last_error()));
    plat_serial.close(port);
}
