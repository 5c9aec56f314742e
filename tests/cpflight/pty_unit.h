// A pseudo-terminal pair in the place of a CPFlight unit: the test holds the master side and
// plays the unit; the program opens the other side by its path.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cpflight/cpflight.h"
#include "platform/serial.h"

class PtyUnit {
public:
    PtyUnit();
    ~PtyUnit();
    PtyUnit(const PtyUnit&) = delete;
    PtyUnit& operator=(const PtyUnit&) = delete;

    const std::string& path() const { return path_; }
    // Port name under which the driver opens this unit.
    std::string port_name() const { return "COM" + path_; }
    // Sends bytes to the program; returns once all of them can be read from `port`.
    void send(plat_serial_t port, std::string_view bytes);
    // Everything the program has written to `port` since the last call, in order.
    std::string received(plat_serial_t port);
    // For a unit opened by another process: everything it writes until it closes the port (or
    // `timeout_ms` pass); `on_first_bytes` runs once the first bytes have come.
    std::string read_until_closed(int timeout_ms, const std::function<void()>& on_first_bytes);
    // For a unit opened by another process: what it writes within `ms`, each chunk with the
    // steady-clock milliseconds at which it came.
    std::vector<std::pair<long long, std::string>> timed_reads(int ms);
    // For a unit opened by another process: what it writes until `text` has come (or
    // `timeout_ms` pass).
    std::string read_until(std::string_view text, int timeout_ms);
    // The unit goes away, as an unplugged adapter: the other side hangs up.
    void hang_up();

private:
    int master_;
    std::string path_;
};

// Points the CPFlight driver at `unit`, as the command line does for "-c <path>".
inline void use_unit(const PtyUnit& unit)
{
    std::snprintf(zvpyxcpf_serial_port, sizeof zvpyxcpf_serial_port, "%s",
                  unit.port_name().c_str());
    zvxpl_cpflight_enabled = 1;
}
