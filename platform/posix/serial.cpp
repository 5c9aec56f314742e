// POSIX serial port behind platform/serial.h: termios in raw mode, exclusive by TIOCEXCL and an
// advisory lock, so a second program (or a second open here) cannot share the unit. A terminal
// that has hung up (an unplugged adapter, a pseudo-terminal whose master closed) reads as empty
// for ever, while its writes and ioctls fail with EIO.
#include "platform/serial.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

int last_error = 0;

plat_serial_t os_open(const char* path)
{
    // Non-blocking only while opening, so a line without carrier does not hold the open.
    int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        last_error = errno;
        return PLAT_INVALID_SERIAL;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        last_error = errno;
        ::close(fd);
        return PLAT_INVALID_SERIAL;
    }
    // Refuses further opens of the device by anyone; fails harmlessly on a non-terminal, which
    // configure then rejects.
    ::ioctl(fd, TIOCEXCL);
    return fd;
}

bool configure_line(plat_serial_t port)
{
    termios tio{};
    if (::tcgetattr(port, &tio) != 0) return false;
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    // With neither a minimum count nor a timer a read returns at once with what is there.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, B38400) != 0 || ::cfsetospeed(&tio, B38400) != 0) return false;
    if (::tcsetattr(port, TCSANOW, &tio) != 0) return false;
    int flags = ::fcntl(port, F_GETFL);
    return flags >= 0 && ::fcntl(port, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

bool os_configure(plat_serial_t port)
{
    if (configure_line(port)) return true;
    last_error = errno;
    return false;
}

long os_read(plat_serial_t port, void* buffer, std::size_t size)
{
    ssize_t n;
    do n = ::read(port, buffer, size);
    while (n < 0 && errno == EINTR);
    if (n < 0) last_error = errno;
    return static_cast<long>(n);
}

long os_write(plat_serial_t port, const void* data, std::size_t length)
{
    ssize_t n;
    do n = ::write(port, data, length);
    while (n < 0 && errno == EINTR);
    if (n < 0) last_error = errno;
    return static_cast<long>(n);
}

bool os_gone(plat_serial_t port)
{
    termios tio{};
    if (::tcgetattr(port, &tio) == 0) return false;
    last_error = errno;
    return plat_serial_error_means_gone(last_error);
}

void os_close(plat_serial_t port)
{
    ::ioctl(port, TIOCNXCL);
    ::close(port);
}

int os_last_error() { return last_error; }

// The port number of a suffix of decimal digits; 0 for anything else, and for numbers far
// beyond any port a system has.
unsigned long port_number(const char* s)
{
    constexpr unsigned long LIMIT = 1000000;
    if (*s == '\0') return 0;
    unsigned long n = 0;
    for (; *s != '\0'; ++s) {
        if (*s < '0' || *s > '9') return 0;
        n = n * 10 + static_cast<unsigned long>(*s - '0');
        if (n > LIMIT) return 0;
    }
    return n;
}

}  // namespace

const PlatSerialApi plat_serial_os = {os_open,  os_configure, os_read, os_write,
                                      os_close, os_gone,      os_last_error};
PlatSerialApi plat_serial = plat_serial_os;

bool plat_serial_error_means_gone(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

bool plat_serial_device_path(const char* port_name, char* path, std::size_t size)
{
    if (size == 0) return false;
    const char* suffix = std::strncmp(port_name, "COM", 3) == 0 ? port_name + 3 : nullptr;
    if (suffix != nullptr && suffix[0] == '/') {
        std::snprintf(path, size, "%s", suffix);
        return true;
    }
    unsigned long n = suffix != nullptr ? port_number(suffix) : 0;
    if (n >= 1) {
        std::snprintf(path, size, "/dev/ttyS%lu", n - 1);
        return true;
    }
    std::snprintf(path, size, "%s", port_name);
    return false;
}
