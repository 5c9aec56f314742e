// A child process for end-to-end tests: started with its standard output on a pipe, stopped by
// a signal, and always reaped (killed if still running when the test ends).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class ChildProcess {
public:
    // With `capture_errors`, standard error goes to a pipe too (see errors()); otherwise the
    // child shares the test's. With `with_input`, standard input comes from a pipe (see input()).
    explicit ChildProcess(const std::vector<std::string>& argv, bool capture_errors = false,
                          bool with_input = false);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Sends `signal` and waits up to `timeout_ms` for the process to end. Returns its exit
    // code, or -1 when it did not end by itself (it is then killed).
    int stop(int signal, int timeout_ms);
    // Sends `signal` and returns at once.
    void signal(int signal);
    // Waits up to `timeout_ms` for the process to end by itself. Returns its exit code, or -1
    // when it is still running (it keeps running) or ended by a signal.
    int wait(int timeout_ms);
    // Everything the process wrote to standard output so far (reads without waiting).
    const std::string& output();
    // The same for standard error, when captured.
    const std::string& errors();
    // Writes to the process's standard input (with `with_input`); false when it could not.
    bool input(const std::string& bytes);
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    int in_ = -1;
    std::string output_;
    std::string errors_;

    // Reaps the process if it ends within `timeout_ms`: true with `status` set.
    bool reap(int timeout_ms, int& status);
};

// Waits up to `timeout_ms` until `process` has printed `text` `times` times.
bool wait_for_output(ChildProcess& process, const std::string& text, int timeout_ms, int times = 1);
