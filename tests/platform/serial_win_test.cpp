// The Windows serial port: which device a port name means, and what the back end does with
// something that is no serial device. The line itself is tested on COM ports under Wine
// (tests/wine/).
#include <string>

#include <gtest/gtest.h>

#include "platform/serial.h"

TEST(SerialPortWindows, PortNameToDevicePath)
{
    struct Row {
        const char* name;
        const char* path;
    };
    const Row rows[] = {
        {"COM1", "\\\\.\\COM1"},
        {"COM12", "\\\\.\\COM12"},
        {"COM-v", "\\\\.\\COM-v"},
        {"", "\\\\.\\"},
    };
    for (const Row& row : rows) {
        char path[256] = "unchanged";
        EXPECT_TRUE(plat_serial_device_path(row.name, path, sizeof path)) << row.name;
        EXPECT_STREQ(path, row.path) << row.name;
    }
    char small[7];
    EXPECT_TRUE(plat_serial_device_path("COM12", small, sizeof small));
    EXPECT_STREQ(small, "\\\\.\\CO");  // cut, never overrun
    // A larger buffer does not lift the bound: 254 characters and the terminator.
    std::string long_name = "COM" + std::string(300, '7');
    char wide[512];
    EXPECT_TRUE(plat_serial_device_path(long_name.c_str(), wide, sizeof wide));
    EXPECT_EQ(std::string(wide), ("\\\\.\\" + long_name).substr(0, 254));
    char none[1] = {'x'};
    EXPECT_FALSE(plat_serial_device_path("COM1", none, 0));
    EXPECT_EQ(none[0], 'x');
}

TEST(SerialPortWindows, MissingDeviceAndNoSerialDevice)
{
    EXPECT_EQ(plat_serial.open("\\\\.\\COM98765"), PLAT_INVALID_SERIAL);
    EXPECT_EQ(plat_serial.last_error(), PLAT_SERIAL_NO_DEVICE);

    // The null device opens, but has no line to configure.
    plat_serial_t port = plat_serial.open("NUL");
    ASSERT_NE(port, PLAT_INVALID_SERIAL);
    EXPECT_FALSE(plat_serial.configure(port));
    plat_serial.close(port);
}
