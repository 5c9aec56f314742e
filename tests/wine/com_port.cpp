// Pseudo-terminal COM ports for the runs under Wine (see com_port.h).
#include "tests/wine/com_port.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

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

ComPort::~ComPort() { hang_up(); }

void ComPort::hang_up()
{
    if (master_ < 0) return;
    std::filesystem::remove(link_);
    close(slave_);
    close(master_);
    slave_ = master_ = -1;
}

void ComPort::send(const std::string& bytes)
{
    if (write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("pty write");
}

std::string ComPort::receive(std::size_t at_least, int timeout_ms)
{
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    std::string bytes;
    while (bytes.size() < at_least) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        pollfd p{master_, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
        char chunk[1024];
        ssize_t n = read(master_, chunk, sizeof chunk);
        if (n > 0) bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return bytes;
}
