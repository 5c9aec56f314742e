// A Windows program that works the serial back end as a Linux test tells it, under Wine, on a
// COM port that Wine maps to a pseudo-terminal (tests/wine/). One command a line on standard
// input, one answer a line on standard output; ports are numbered in the order opened:
//   open PATH      -> "ok N" or "error CODE"
//   configure N    -> "ok" or "failed"
//   state N        -> the port's DCB and time-outs as the driver reports them
//   write N HEX    -> "wrote COUNT"
//   read N         -> "read HEX" (one read, whatever is waiting)
//   close N        -> "ok"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/serial.h"

namespace {

std::vector<plat_serial_t> ports;

plat_serial_t port_at(const char* arg)
{
    std::size_t i = std::strtoul(arg, nullptr, 10);
    return i < ports.size() ? ports[i] : PLAT_INVALID_SERIAL;
}

std::string hex(const unsigned char* p, std::size_t n)
{
    std::string out;
    char two[3];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(two, sizeof two, "%02x", p[i]);
        out += two;
    }
    return out;
}

std::vector<unsigned char> unhex(const char* s)
{
    std::vector<unsigned char> out;
    for (; s[0] != '\0' && s[1] != '\0'; s += 2) {
        char two[3] = {s[0], s[1], '\0'};
        out.push_back(static_cast<unsigned char>(std::strtoul(two, nullptr, 16)));
    }
    return out;
}

void print_state(plat_serial_t port)
{
    DCB d{};
    d.DCBlength = sizeof d;
    COMMTIMEOUTS t{};
    if (!GetCommState(port, &d) || !GetCommTimeouts(port, &t)) {
        std::printf("failed\n");
        return;
    }
    std::printf("baud=%lu bytesize=%u parity=%u stopbits=%u binary=%u parity_check=%u cts=%u dsr=%u dtr=%u "
                "dsr_sensitivity=%u tx_continue=%u outx=%u inx=%u error_char=%u null=%u rts=%u abort=%u "
                "xon_limit=%u xoff_limit=%u xon=%d xoff=%d error=%d eof=%d event=%d "
                "read_interval=%lu read_multiplier=%lu read_constant=%lu write_multiplier=%lu write_constant=%lu\n",
                d.BaudRate, d.ByteSize, d.Parity, d.StopBits, d.fBinary, d.fParity, d.fOutxCtsFlow, d.fOutxDsrFlow,
                d.fDtrControl, d.fDsrSensitivity, d.fTXContinueOnXoff, d.fOutX, d.fInX, d.fErrorChar, d.fNull,
                d.fRtsControl, d.fAbortOnError, d.XonLim, d.XoffLim, d.XonChar, d.XoffChar, d.ErrorChar, d.EofChar,
                d.EvtChar, t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant);
}

}  // namespace

int main()
{
    char line[4096];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        line[std::strcspn(line, "\r\n")] = '\0';
        char* arg = std::strchr(line, ' ');
        if (arg != nullptr) *arg++ = '\0';
        else arg = line + std::strlen(line);
        const std::string cmd = line;
        if (cmd == "open") {
            plat_serial_t port = plat_serial.open(arg);
            if (port == PLAT_INVALID_SERIAL) {
                std::printf("error %d\n", plat_serial.last_error());
            } else {
                ports.push_back(port);
                std::printf("ok %zu\n", ports.size() - 1);
            }
        } else if (cmd == "configure") {
            std::printf(plat_serial.configure(port_at(arg)) ? "ok\n" : "failed\n");
        } else if (cmd == "state") {
            print_state(port_at(arg));
        } else if (cmd == "write") {
            const char* data = std::strchr(arg, ' ');
            std::vector<unsigned char> bytes = unhex(data != nullptr ? data + 1 : "");
            std::printf("wrote %ld\n", plat_serial.write(port_at(arg), bytes.data(), bytes.size()));
        } else if (cmd == "read") {
            unsigned char buffer[512];
            long n = plat_serial.read(port_at(arg), buffer, sizeof buffer);
            std::printf("read %s\n", n < 0 ? "failed" : hex(buffer, static_cast<std::size_t>(n)).c_str());
        } else if (cmd == "close") {
            plat_serial.close(port_at(arg));
            std::printf("ok\n");
        } else {
            std::printf("unknown\n");
        }
        std::fflush(stdout);
    }
    return 0;
}
