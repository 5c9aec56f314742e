// The serial port that carries the CPFlight unit's text commands. The operations are reached
// through the replaceable table `plat_serial`, which starts out holding the operating system's
// implementation, so tests can observe calls or make one fail. The driver above it is the same
// on every system: it maps the port name to a device path, opens, configures, reads, writes and
// closes through this header only, and learns through it when the device has gone away.
#pragma once

#include <cstddef>

#include "platform/owned.h"

#ifdef _WIN32
#include <windows.h>
using plat_serial_t = HANDLE;
inline const plat_serial_t PLAT_INVALID_SERIAL = INVALID_HANDLE_VALUE;
// Error number reported for a port name that names no device.
inline constexpr int PLAT_SERIAL_NO_DEVICE = ERROR_FILE_NOT_FOUND;
#else
#include <cerrno>
using plat_serial_t = int;
inline constexpr plat_serial_t PLAT_INVALID_SERIAL = -1;
inline constexpr int PLAT_SERIAL_NO_DEVICE = ENOENT;
#endif

struct PlatSerialApi {
    // Opens the device exclusively for reading and writing; PLAT_INVALID_SERIAL on failure,
    // with the reason left for last_error.
    plat_serial_t (*open)(const char* path);
    // Sets 38400 baud, 8 data bits, no parity, one stop bit, raw bytes (no echo, no line
    // editing, no CR/LF translation, NUL passes through), reads that return at once with what
    // is buffered and writes that block until the driver has taken every byte. False when
    // the device refuses (the reason is then left for last_error); the port is still open.
    bool (*configure)(plat_serial_t port);
    // One read of at most `size` bytes: the bytes read, 0 when nothing is waiting, -1 on failure.
    // A device that has gone away may read as nothing waiting, for ever (POSIX).
    long (*read)(plat_serial_t port, void* buffer, std::size_t size);
    // One write: the bytes written or -1 on failure.
    long (*write)(plat_serial_t port, const void* data, std::size_t length);
    void (*close)(plat_serial_t port);
    // True when the device behind the open port has gone away (unplugged, or a pseudo-terminal
    // whose other side closed), asked without reading or writing: POSIX tcgetattr, Windows
    // ClearCommError or GetCommState, failing with an error that plat_serial_error_means_gone
    // accepts.
    bool (*gone)(plat_serial_t port);
    // The system's error number for the last failed operation of this table.
    int (*last_error)();
};

extern PlatSerialApi plat_serial;
// The operating system's implementation, for tests that wrap single operations.
extern const PlatSerialApi plat_serial_os;

// A serial port and its ownership (platform/owned.h).
struct PlatSerialTraits {
    using Handle = plat_serial_t;
    static Handle invalid() noexcept { return PLAT_INVALID_SERIAL; }
    static void close(Handle port) { plat_serial.close(port); }
};
using PlatSerial = PlatOwned<PlatSerialTraits>;

// Whether an error number of a failed read, write or look at the port means that the device has
// gone away: POSIX EIO, ENXIO and ENODEV; Windows ERROR_ACCESS_DENIED, ERROR_BAD_COMMAND,
// ERROR_GEN_FAILURE, ERROR_DEVICE_REMOVED and ERROR_FILE_NOT_FOUND, as reported for USB serial
// adapters that were unplugged, and ERROR_NOT_READY, Wine's translation of EIO.
bool plat_serial_error_means_gone(int error);

// Writes into `path` (at most `size` bytes with the terminator; longer results are cut) the
// device behind a port name "COM" + suffix. Returns false when the name names no device; `path`
// then holds the name itself, for the failure message.
//   POSIX: a suffix beginning with '/' is the device path itself ("COM/dev/ttyUSB0" is
//   /dev/ttyUSB0); a decimal n >= 1 is /dev/ttyS(n-1), as other Windows-compatibility layers
//   number COM ports; nothing else names a device.
//   Windows: "\\.\" + the name, cut to 254 characters (255 bytes with the terminator).
bool plat_serial_device_path(const char* port_name, char* path, std::size_t size);
