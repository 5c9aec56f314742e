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

ChildProcess::ChildProcess(const std::vector<std::string>& argv)
{
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    out_ = fds[0];
    fcntl(out_, F_SETFL, fcntl(out_, F_GETFL) | O_NONBLOCK);
}

ChildProcess::~ChildProcess()
{
    if (pid_ > 0) stop(SIGKILL, 2000);
    if (out_ >= 0) close(out_);
}

const std::string& ChildProcess::output()
{
    char buf[4096];
    for (;;) {
        ssize_t n = read(out_, buf, sizeof buf);
        if (n <= 0) break;
        output_.append(buf, static_cast<std::size_t>(n));
    }
    return output_;
}

int ChildProcess::stop(int signal, int timeout_ms)
{
    if (pid_ <= 0) return -1;
    kill(pid_, signal);
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    int status = 0;
    for (;;) {
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) break;
        if (r < 0 && errno != EINTR) return -1;
        if (std::chrono::steady_clock::now() >= end) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            pid_ = -1;
            output();
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    output();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
