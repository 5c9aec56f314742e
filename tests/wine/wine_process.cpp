// Child processes under Wine and pseudo-terminal COM ports for the runs of the Windows build.
#include "tests/wine/wine_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace wine {

namespace {

using Clock = std::chrono::steady_clock;

int ms_left(Clock::time_point end)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

std::string build_dir()
{
    const char* dir = std::getenv("ZV_WIN_BUILD");
    return dir != nullptr ? dir : "";
}

Process::Process(const std::string& program, const std::vector<std::string>& args)
{
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    std::vector<std::string> words = {ZV_SOURCE_DIR "/scripts/wine-run", program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    std::string dir = std::filesystem::path(program).parent_path();

    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(out[1], 2);
        if (chdir(dir.c_str()) != 0) _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    in_ = in[1];
    out_ = out[0];
}

Process::~Process()
{
    if (pid_ > 0 && wait_exit(0) == -1) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (in_ >= 0) close(in_);
    if (out_ >= 0) close(out_);
}

void Process::collect(int timeout_ms)
{
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return;
    char chunk[4096];
    ssize_t n = read(out_, chunk, sizeof chunk);
    if (n > 0) output_.append(chunk, static_cast<std::size_t>(n));
    else std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms > 10 ? 10 : timeout_ms));
}

bool Process::wait_for_output(const std::string& text, int timeout_ms)
{
    auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (output_.find(text) == std::string::npos) {
        if (ms_left(end) == 0) return false;
        collect(ms_left(end));
    }
    return true;
}

std::string Process::ask(const std::string& line, int timeout_ms)
{
    std::string with_end = line + "\n";
    if (write(in_, with_end.data(), with_end.size()) != static_cast<ssize_t>(with_end.size())) return "";
    auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    std::size_t eol;
    while ((eol = output_.find('\n', consumed_)) == std::string::npos) {
        if (ms_left(end) == 0) return "";
        collect(ms_left(end));
    }
    std::string answer = output_.substr(consumed_, eol - consumed_);
    consumed_ = eol + 1;
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    return answer;
}

const std::string& Process::output()
{
    collect(0);
    return output_;
}

void Process::signal(int sig)
{
    if (pid_ > 0) kill(pid_, sig);
}

int Process::wait_exit(int timeout_ms)
{
    if (pid_ <= 0) return -1;
    auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            collect(0);
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (ms_left(end) == 0) return -1;
        collect(ms_left(end) < 20 ? ms_left(end) : 20);
    }
}

ComPort::ComPort(int number)
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) throw std::runtime_error("pty");
    std::string slave = ptsname(master_);
    // Held open here too, so the line keeps its settings between the program's opens.
    slave_ = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (slave_ < 0 || tcgetattr(slave_, &tio) != 0) throw std::runtime_error("pty slave");
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);

    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix == nullptr) throw std::runtime_error("no WINEPREFIX");
    link_ = std::string(prefix) + "/dosdevices/com" + std::to_string(number);
    std::filesystem::remove(link_);
    std::filesystem::create_symlink(slave, link_);
}

ComPort::~ComPort()
{
    std::filesystem::remove(link_);
    close(slave_);
    close(master_);
}

void ComPort::send(const std::string& bytes)
{
    if (write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("pty write");
}

std::string ComPort::receive(std::size_t at_least, int timeout_ms)
{
    std::string bytes;
    auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (bytes.size() < at_least && ms_left(end) > 0) {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, ms_left(end)) <= 0) break;
        char chunk[1024];
        ssize_t n = read(master_, chunk, sizeof chunk);
        if (n > 0) bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return bytes;
}

}  // namespace wine
