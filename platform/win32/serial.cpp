// Windows serial port behind platform/serial.h: a COM device opened exclusively with
// CreateFileA, 38400 baud 8N1 set on top of the driver's own settings, and time-outs under
// which a read returns at once with what is buffered. A device that has gone away is known by
// the errors its operations fail with.
#include "platform/serial.h"

#include <algorithm>
#include <climits>
#include <cstdio>

static_assert(sizeof(DCB) == 28, "the DCB as Windows defines it");

namespace {

// The device path with its terminator is cut to this many bytes, whatever room the caller gives.
constexpr std::size_t DEVICE_PATH_SIZE = 255;

DWORD last_error = 0;

plat_serial_t os_open(const char* path)
{
    HANDLE h = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE) last_error = ::GetLastError();
    return h;
}

bool configure_line(plat_serial_t port)
{
    // Only speed and framing change; flow control, XON/XOFF and the rest stay as the driver
    // reports them.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port, &dcb)) return false;
    dcb.BaudRate = CBR_38400;
    dcb.ByteSize = 8;
    dcb.StopBits = ONESTOPBIT;
    dcb.Parity = NOPARITY;
    if (!::SetCommState(port, &dcb)) return false;

    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;  // with the other read values 0: return at once
    return ::SetCommTimeouts(port, &timeouts) != 0;
}

bool os_configure(plat_serial_t port)
{
    if (configure_line(port)) return true;
    last_error = ::GetLastError();
    return false;
}

long os_read(plat_serial_t port, void* buffer, std::size_t size)
{
    DWORD got = 0;
    if (!::ReadFile(port, buffer, static_cast<DWORD>(size > LONG_MAX ? LONG_MAX : size), &got, nullptr)) {
        last_error = ::GetLastError();
        return -1;
    }
    return static_cast<long>(got);
}

long os_write(plat_serial_t port, const void* data, std::size_t length)
{
    DWORD written = 0;
    if (!::WriteFile(port, data, static_cast<DWORD>(length > LONG_MAX ? LONG_MAX : length), &written, nullptr)) {
        last_error = ::GetLastError();
        return -1;
    }
    return static_cast<long>(written);
}

void os_close(plat_serial_t port) { ::CloseHandle(port); }

// Two looks: an unplugged adapter's driver fails ClearCommError; Wine, whose COM port is a Unix
// terminal, answers ClearCommError for a terminal that has hung up and fails GetCommState.
bool os_gone(plat_serial_t port)
{
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(port, &errors, &status)) {
        last_error = ::GetLastError();
        if (plat_serial_error_means_gone(static_cast<int>(last_error))) return true;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (::GetCommState(port, &dcb)) return false;
    last_error = ::GetLastError();
    return plat_serial_error_means_gone(static_cast<int>(last_error));
}

int os_last_error() { return static_cast<int>(last_error); }

}  // namespace

const PlatSerialApi plat_serial_os = {os_open,  os_configure, os_read, os_write,
                                      os_close, os_gone,      os_last_error};
PlatSerialApi plat_serial = plat_serial_os;

bool plat_serial_error_means_gone(int error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_REMOVED:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_NOT_READY: return true;
    default: return false;
    }
}

bool plat_serial_device_path(const char* port_name, char* path, std::size_t size)
{
    if (size == 0) return false;
    std::snprintf(path, std::min(size, DEVICE_PATH_SIZE), "\\\\.\\%s", port_name);
    return true;
}
