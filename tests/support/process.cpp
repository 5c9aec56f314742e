// Child processes for end-to-end tests (see process.h).
#include "tests/support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

void read_waiting(int fd, std::string& into)
{
    char buf[4096];
    for (;;) {
        ssize_t n = fd >= 0 ? read(fd, buf, sizeof buf) : 0;
        if (n <= 0) break;
        into.append(buf, static_cast<std::size_t>(n));
    }
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, bool capture_errors, bool with_input)
{
    int fds[2];
    int errs[2] = {-1, -1};
    int ins[2] = {-1, -1};
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    if (capture_errors && pipe(errs) != 0) throw std::runtime_error("pipe");
    if (with_input && pipe(ins) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        if (capture_errors) {
            dup2(errs[1], STDERR_FILENO);
            close(errs[0]);
            close(errs[1]);
        }
        if (with_input) {
            dup2(ins[0], STDIN_FILENO);
            close(ins[0]);
            close(ins[1]);
        }
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    out_ = fds[0];
    fcntl(out_, F_SETFL, fcntl(out_, F_GETFL) | O_NONBLOCK);
    if (capture_errors) {
        close(errs[1]);
        err_ = errs[0];
        fcntl(err_, F_SETFL, fcntl(err_, F_GETFL) | O_NONBLOCK);
    }
    if (with_input) {
        close(ins[0]);
        in_ = ins[1];
    }
}

ChildProcess::~ChildProcess()
{
    if (pid_ > 0) stop(SIGKILL, 2000);
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
    if (in_ >= 0) close(in_);
}

bool ChildProcess::input(const std::string& bytes)
{
    return in_ >= 0 && write(in_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

const std::string& ChildProcess::output()
{
    read_waiting(out_, output_);
    return output_;
}

const std::string& ChildProcess::errors()
{
    read_waiting(err_, errors_);
    return errors_;
}

bool ChildProcess::reap(int timeout_ms, int& status)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        // Reading as it goes keeps a chatty child from blocking on a full pipe.
        output();
        errors();
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) break;
        if (r < 0 && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    output();
    errors();
    return true;
}

int ChildProcess::wait(int timeout_ms)
{
    int status = 0;
    if (pid_ <= 0 || !reap(timeout_ms, status)) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ChildProcess::signal(int signal)
{
    if (pid_ > 0) kill(pid_, signal);
}

int ChildProcess::stop(int signal, int timeout_ms)
{
    if (pid_ <= 0) return -1;
    kill(pid_, signal);
    int status = 0;
    if (!reap(timeout_ms, status)) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        pid_ = -1;
        output();
        errors();
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool wait_for_output(ChildProcess& process, const std::string& text, int timeout_ms, int times)
{
    auto count = [&] {
        int n = 0;
        const std::string& out = process.output();
        for (auto at = out.find(text); at != std::string::npos; at = out.find(text, at + 1)) ++n;
        return n;
    };
    for (int waited = 0; count() < times; waited += 10) {
        if (waited >= timeout_ms) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}
