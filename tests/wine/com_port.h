// A pseudo-terminal that Wine shows to Windows programs as a COM port: the test holds the
// master side and plays the unit.
#pragma once

#include <cstddef>
#include <string>

class ComPort {
public:
    // A pseudo-terminal in raw mode, as a serial driver reports a fresh line (no flow control,
    // no translation), linked into the Wine prefix's device folder as COM`number`.
    explicit ComPort(int number);
    ~ComPort();
    ComPort(const ComPort&) = delete;
    ComPort& operator=(const ComPort&) = delete;

    // Bytes from the unit to the program.
    void send(const std::string& bytes);
    // What the program sent, once at least `at_least` bytes have come or `timeout_ms` passed.
    std::string receive(std::size_t at_least, int timeout_ms);
    // The program's side, for its line settings.
    int slave_fd() const { return slave_; }
    // The unit goes away, as an unplugged adapter: the terminal hangs up and the port's name
    // is gone.
    void hang_up();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string link_;
};
