// Child processes for the tests (see child_process.h).
#include "tests/tools/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

extern char** environ;

namespace {

long long now_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv)
{
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0) return;
    if (pipe(err_pipe) != 0) {
        close(out_pipe[0]);
        close(out_pipe[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, out_pipe[0]);
    posix_spawn_file_actions_addclose(&actions, err_pipe[0]);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out_pipe[1]);
    close(err_pipe[1]);
    out_fd_ = out_pipe[0];
    err_fd_ = err_pipe[0];
    fcntl(out_fd_, F_SETFL, O_NONBLOCK);
    fcntl(err_fd_, F_SETFL, O_NONBLOCK);
}

ChildProcess::~ChildProcess()
{
    stop();
    if (out_fd_ >= 0) close(out_fd_);
    if (err_fd_ >= 0) close(err_fd_);
}

void ChildProcess::signal(int sig)
{
    if (pid_ > 0 && !exited_) kill(pid_, sig);
}

void ChildProcess::collect(int timeout_ms)
{
    pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
    if (out_fd_ < 0 || poll(fds, 2, timeout_ms) <= 0) return;
    char buf[4096];
    ssize_t n;
    while ((n = read(out_fd_, buf, sizeof buf)) > 0) out_.append(buf, static_cast<std::size_t>(n));
    while ((n = read(err_fd_, buf, sizeof buf)) > 0) err_.append(buf, static_cast<std::size_t>(n));
}

void ChildProcess::reap(bool block)
{
    if (pid_ <= 0 || exited_) return;
    int st = 0;
    if (waitpid(pid_, &st, block ? 0 : WNOHANG) == pid_) {
        exited_ = true;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
}

int ChildProcess::wait(int timeout_ms)
{
    long long end = now_ms() + timeout_ms;
    for (;;) {
        reap(false);
        if (exited_ || now_ms() >= end) break;
        collect(10);
    }
    collect(0);
    return exited_ ? status_ : -1;
}

bool ChildProcess::wait_for_output(const std::string& text, int timeout_ms)
{
    long long end = now_ms() + timeout_ms;
    while (out_.find(text) == std::string::npos && now_ms() < end) {
        collect(20);
        reap(false);
        if (exited_) break;
    }
    collect(0);
    return out_.find(text) != std::string::npos;
}

void ChildProcess::stop(int grace_ms)
{
    if (pid_ <= 0 || exited_) return;
    signal(SIGTERM);
    if (wait(grace_ms) == -1 && !exited_) {
        kill(pid_, SIGKILL);
        reap(true);
    }
}
