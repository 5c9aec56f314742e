// A Windows program of the cross-build run under Wine (through scripts/wine-run) as a child of
// the test, with its standard input and output on pipes; and a pseudo-terminal that Wine shows
// to Windows programs as a COM port.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace wine {

// The cross-build folder (ZV_WIN_BUILD), or empty when this run has none.
std::string build_dir();

class Process {
public:
    // Starts `program` (a path) with `args`; its working folder is the program's folder.
    Process(const std::string& program, const std::vector<std::string>& args);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Waits up to `timeout_ms` until the output so far holds `text`.
    bool wait_for_output(const std::string& text, int timeout_ms);
    // Writes one line to the program and returns the next line it prints ("" on time-out).
    std::string ask(const std::string& line, int timeout_ms = 10000);
    // Everything printed so far.
    const std::string& output();
    void signal(int sig);
    // The exit code, or -1 when the program has not ended within `timeout_ms`.
    int wait_exit(int timeout_ms);

private:
    void collect(int timeout_ms);

    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    std::string output_;
    std::size_t consumed_ = 0;
};

class ComPort {
public:
    // A pseudo-terminal in raw mode, as a serial driver reports a fresh line (no flow control,
    // no translation), linked into Wine's device folder as COM`number`.
    explicit ComPort(int number);
    ~ComPort();
    ComPort(const ComPort&) = delete;
    ComPort& operator=(const ComPort&) = delete;

    // The unit's side: bytes to the program, and what the program sent within `timeout_ms`
    // once at least `at_least` bytes have come.
    void send(const std::string& bytes);
    std::string receive(std::size_t at_least, int timeout_ms);
    // The line settings of the program's side.
    int slave_fd() const { return slave_; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string link_;
};

}  // namespace wine
