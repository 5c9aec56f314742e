// A program the tests start as a child process: its standard output and error are collected
// through pipes, and it is always ended and reaped, at the latest when the object goes away
// (SIGTERM, then SIGKILL after a bounded wait).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class ChildProcess {
public:
    // Starts `argv[0]` with the arguments; standard input is /dev/null.
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    void signal(int sig);
    // Waits up to `timeout_ms` for the child to end, collecting its output meanwhile; its exit
    // status, or -1 when it is still running (or was ended by a signal).
    int wait(int timeout_ms);
    // Ends the child (SIGTERM, then SIGKILL after `grace_ms`) and reaps it.
    void stop(int grace_ms = 3000);
    // Collects whatever output is waiting, waiting up to `timeout_ms` for some.
    void collect(int timeout_ms = 0);
    // Collects until the standard output holds `text`, at most `timeout_ms`.
    bool wait_for_output(const std::string& text, int timeout_ms);

    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

private:
    pid_t pid_ = -1;
    int out_fd_ = -1;
    int err_fd_ = -1;
    bool exited_ = false;
    int status_ = -1;
    std::string out_;
    std::string err_;

    void reap(bool block);
};
