// Pseudo-terminal unit for the serial tests. Bytes cross a pseudo-terminal through a kernel
// work queue, so delivery is awaited: input until the reading side counts it, output until a
// marker byte written behind it comes through.
#include "tests/cpflight/pty_unit.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include <gtest/gtest.h>

namespace {
constexpr char MARKER = '\xff';  // never part of a command
constexpr int WAIT_LIMIT_MS = 5000;
}  // namespace

PtyUnit::PtyUnit() : master_(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK))
{
    // Not inherited by the program under test, so that closing it here hangs the unit up.
    if (master_ < 0 || fcntl(master_, F_SETFD, FD_CLOEXEC) != 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        std::abort();
    path_ = ptsname(master_);
}

PtyUnit::~PtyUnit()
{
    if (master_ >= 0) close(master_);
}

void PtyUnit::send(plat_serial_t port, std::string_view bytes)
{
    int before = 0;
    ioctl(port, FIONREAD, &before);
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    int waiting = 0;
    for (int ms = 0; ms < WAIT_LIMIT_MS; ++ms) {
        ioctl(port, FIONREAD, &waiting);
        if (waiting >= before + static_cast<int>(bytes.size())) return;
        usleep(1000);
    }
    FAIL() << "input did not arrive";
}

std::string PtyUnit::received(plat_serial_t port)
{
    EXPECT_EQ(write(port, &MARKER, 1), 1);
    std::string bytes;
    pollfd p{master_, POLLIN, 0};
    while (poll(&p, 1, WAIT_LIMIT_MS) > 0) {
        char chunk[256];
        ssize_t n = read(master_, chunk, sizeof chunk);
        if (n <= 0) break;
        bytes.append(chunk, static_cast<std::size_t>(n));
        if (bytes.back() == MARKER) {
            bytes.pop_back();
            return bytes;
        }
    }
    ADD_FAILURE() << "output did not arrive";
    return bytes;
}

std::string PtyUnit::read_until_closed(int timeout_ms, const std::function<void()>& on_first_bytes)
{
    std::string bytes;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < end) {
        char chunk[256];
        ssize_t n = read(master_, chunk, sizeof chunk);
        if (n > 0) {
            if (bytes.empty()) on_first_bytes();
            bytes.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        // The master reads EIO once no one holds the other side: before the program has opened
        // it, or after it has closed it.
        if (n < 0 && errno == EIO && !bytes.empty()) return bytes;
        usleep(2000);
    }
    ADD_FAILURE() << "the port was not closed";
    return bytes;
}

std::vector<std::pair<long long, std::string>> PtyUnit::timed_reads(int ms)
{
    using namespace std::chrono;
    std::vector<std::pair<long long, std::string>> chunks;
    auto end = steady_clock::now() + milliseconds(ms);
    while (steady_clock::now() < end) {
        char chunk[256];
        ssize_t n = read(master_, chunk, sizeof chunk);
        auto now = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
        if (n > 0)
            chunks.emplace_back(now, std::string(chunk, static_cast<std::size_t>(n)));
        else
            usleep(1000);
    }
    return chunks;
}

std::string PtyUnit::read_until(std::string_view text, int timeout_ms)
{
    std::string bytes;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (bytes.find(text) == std::string::npos && std::chrono::steady_clock::now() < end) {
        char chunk[256];
        ssize_t n = read(master_, chunk, sizeof chunk);
        if (n > 0)
            bytes.append(chunk, static_cast<std::size_t>(n));
        else
            usleep(2000);  // nothing yet, or no one has opened the other side yet (EIO)
    }
    return bytes;
}

void PtyUnit::hang_up()
{
    close(master_);
    master_ = -1;
}
