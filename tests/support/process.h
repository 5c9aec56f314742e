// A child process for end-to-end tests: started with its standard output on a pipe, stopped by
// a signal, and always reaped (killed if still running when the test ends).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Sends `signal` and waits up to `timeout_ms` for the process to end. Returns its exit
    // code, or -1 when it did not end by itself (it is then killed).
    int stop(int signal, int timeout_ms);
    // Everything the process wrote to standard output so far (reads without waiting).
    const std::string& output();

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string output_;
};
