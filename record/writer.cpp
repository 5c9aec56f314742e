// The recorder (see writer.h): the bounded queue the main loop appends to, and the writer thread
// that compresses it into the file.
#include "record/writer.h"

#include <zlib.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/clock.h"

namespace {

// Level 1 of deflate: the blocks repeat most of their bytes from one frame to the next, which
// the fastest level finds as well as the slower ones, at a fraction of their cost.
constexpr const char* GZIP_MODE = "wb1x";

int gzip_error(gzFile file)
{
    int code = Z_OK;
    gzerror(file, &code);
    return code == Z_ERRNO && errno != 0 ? errno : EIO;
}

void* gzip_create(const char* path, int& error)
{
    errno = 0;
    gzFile file = gzopen(path, GZIP_MODE);
    if (file == nullptr) error = errno != 0 ? errno : EIO;
    return file;
}

int gzip_write(void* file, const void* data, std::size_t size)
{
    auto* gz = static_cast<gzFile>(file);
    errno = 0;
    return gzwrite(gz, data, static_cast<unsigned>(size)) == static_cast<int>(size) ? 0 : gzip_error(gz);
}

int gzip_flush(void* file)
{
    auto* gz = static_cast<gzFile>(file);
    errno = 0;
    return gzflush(gz, Z_SYNC_FLUSH) == Z_OK ? 0 : gzip_error(gz);
}

int gzip_close(void* file)
{
    errno = 0;
    int result = gzclose(static_cast<gzFile>(file));
    if (result == Z_OK) return 0;
    return result == Z_ERRNO && errno != 0 ? errno : EIO;
}

long long gzip_size(void* file) { return static_cast<long long>(gzoffset(static_cast<gzFile>(file))); }

enum class Failure { None, QueueFull, Write };

struct Writer {
    std::mutex lock;
    std::condition_variable wake;
    // Under `lock`: the records the loop has queued, and what it has asked of the thread.
    std::vector<std::uint8_t> queue;
    bool stop_asked = false;
    bool overflowed = false;

    std::atomic<ZvrecState> state{ZvrecState::Off};
    std::atomic<long long> written{0};
    // Set under the lock with the state, before it turns Failed; the news is taken once by the loop.
    Failure failure = Failure::None;
    int error = 0;
    std::uint64_t failed_at_us = 0;
    std::atomic<bool> news{false};

    std::thread thread;
    void* file = nullptr;  // the thread's from the start on
    long long start_us = 0;
    std::string path;
};

Writer writer;

std::uint64_t now_us()
{
    long long t = plat_monotonic_us() - writer.start_us;
    return t > 0 ? static_cast<std::uint64_t>(t) : 0;
}

// Called under the lock; the first failure is the one reported.
void fail(Failure why, int error, std::uint64_t at_us)
{
    if (writer.failure != Failure::None) return;
    writer.failure = why;
    writer.error = error;
    writer.failed_at_us = at_us;
    writer.state.store(ZvrecState::Failed);
    writer.news.store(true);
}

// Appends a record under the lock; a record that does not fit ends the recording.
void append(std::uint8_t kind, const void* payload, std::uint32_t length)
{
    if (writer.state.load(std::memory_order_relaxed) != ZvrecState::On) return;
    std::uint64_t t = now_us();
    bool wake = false;
    {
        std::lock_guard<std::mutex> hold(writer.lock);
        if (writer.overflowed || writer.state.load() != ZvrecState::On) return;
        std::size_t before = writer.queue.size();
        if (length > ZVREC_MAX_PAYLOAD || before + ZVREC_RECORD_HEAD + length > ZVREC_QUEUE_BYTES) {
            writer.overflowed = true;
            fail(Failure::QueueFull, 0, t);
            wake = true;
        } else {
            writer.queue.resize(before + ZVREC_RECORD_HEAD + length);
            zvrec_encode_record_head(writer.queue.data() + before, kind, t, length);
            if (length > 0) std::memcpy(writer.queue.data() + before + ZVREC_RECORD_HEAD, payload, length);
            wake = before < ZVREC_WAKE_BYTES && writer.queue.size() >= ZVREC_WAKE_BYTES;
        }
    }
    if (wake) writer.wake.notify_one();
}

// The writer thread: takes the whole queue at every wake, writes it outside the lock and flushes;
// ends after the end record, or at the first failure.
void write_loop()
{
    std::vector<std::uint8_t> taking;
    taking.reserve(ZVREC_QUEUE_BYTES);
    for (;;) {
        bool stop = false;
        bool overflowed = false;
        {
            std::unique_lock<std::mutex> hold(writer.lock);
            writer.wake.wait_for(hold, std::chrono::milliseconds(ZVREC_FLUSH_MS), [] {
                return writer.stop_asked || writer.overflowed || writer.queue.size() >= ZVREC_WAKE_BYTES;
            });
            writer.queue.swap(taking);
            stop = writer.stop_asked;
            overflowed = writer.overflowed;
        }
        if (overflowed || stop) {
            std::uint8_t head[ZVREC_RECORD_HEAD + 1];
            zvrec_encode_record_head(head, ZVREC_END, overflowed ? writer.failed_at_us : now_us(), 1);
            head[ZVREC_RECORD_HEAD] = overflowed ? ZVREC_END_QUEUE_FULL : ZVREC_END_STOPPED;
            taking.insert(taking.end(), head, head + sizeof head);
        }
        int error = taking.empty() ? 0 : zvrec_sink.write(writer.file, taking.data(), taking.size());
        taking.clear();
        if (error == 0) error = zvrec_sink.flush(writer.file);
        if (error == 0) writer.written.store(zvrec_sink.size(writer.file));
        if (error != 0 || overflowed || stop) {
            int closed = zvrec_sink.close(writer.file);
            if (error == 0) error = closed;
            writer.file = nullptr;
            // A failed close of a stopped recording is news too: the end may not be on the disk.
            if (error != 0) {
                std::lock_guard<std::mutex> hold(writer.lock);
                fail(Failure::Write, error, now_us());
            }
            return;
        }
    }
}

std::string seconds_text(std::uint64_t us)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(us) / 1e6);
    return text;
}

}  // namespace

const ZvrecSinkApi zvrec_sink_gzip = {gzip_create, gzip_write, gzip_flush, gzip_close, gzip_size};
ZvrecSinkApi zvrec_sink = zvrec_sink_gzip;

std::string zvrec_dated_path(const std::string& path, const std::tm& local, int n)
{
    std::size_t name = path.find_last_of("/\\");
    name = name == std::string::npos ? 0 : name + 1;
    std::size_t dot = path.rfind('.');
    // A dot that starts the name (".zvrec") or lies in a folder is no extension.
    if (dot == std::string::npos || dot <= name) dot = path.size();
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "-%04d%02d%02d-%02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    std::string dated;
    dated.reserve(path.size() + sizeof stamp);
    dated.append(path, 0, dot).append(stamp);
    if (n > 1) dated.append("-").append(std::to_string(n));
    return dated.append(path, dot);
}

ZvrecStarted zvrec_start(const char* path, ZvrecHeader header)
{
    zvrec_stop();
    ZvrecStarted started;
    started.path = path;
    void* file = zvrec_sink.create(path, started.error);
    if (file == nullptr && started.error == EEXIST) {
        std::time_t now = static_cast<std::time_t>(plat_time());
        std::tm local{};
        if (const std::tm* t = std::localtime(&now); t != nullptr) local = *t;
        // Two programs that start within the same second each get a name of their own.
        for (int n = 1; n <= 99 && file == nullptr && started.error == EEXIST; ++n) {
            started.path = zvrec_dated_path(path, local, n);
            file = zvrec_sink.create(started.path.c_str(), started.error);
        }
        started.renamed = true;
    }
    if (file == nullptr) {
        writer.state.store(ZvrecState::Failed);
        return started;
    }

    header.wall_start = plat_time();
    writer.file = file;
    writer.path = started.path;
    writer.start_us = plat_monotonic_us();
    writer.failure = Failure::None;
    writer.news.store(false);
    writer.written.store(0);
    writer.stop_asked = false;
    writer.overflowed = false;
    writer.queue = zvrec_encode_header(header);
    writer.queue.reserve(ZVREC_QUEUE_BYTES);
    writer.state.store(ZvrecState::On);
    try {
        writer.thread = std::thread(write_loop);
    } catch (const std::system_error& e) {
        writer.state.store(ZvrecState::Failed);
        zvrec_sink.close(file);
        writer.file = nullptr;
        started.error = e.code().value() != 0 ? e.code().value() : EAGAIN;
        return started;
    }
    started.ok = true;
    started.error = 0;
    return started;
}

void zvrec_message(const void* data, std::size_t size)
{
    if (data == nullptr) size = 0;
    append(ZVREC_MESSAGE, data, size > ZVREC_MAX_PAYLOAD ? ZVREC_MAX_PAYLOAD + 1 : static_cast<std::uint32_t>(size));
}

void zvrec_client_event(std::uint32_t id, std::uint32_t data)
{
    std::uint8_t payload[8];
    zvrec_put_u32(payload, id);
    zvrec_put_u32(payload + 4, data);
    append(ZVREC_CLIENT_EVENT, payload, sizeof payload);
}

void zvrec_mark(ZvrecKind kind) { append(kind, nullptr, 0); }

void zvrec_stop()
{
    if (!writer.thread.joinable()) return;
    {
        std::lock_guard<std::mutex> hold(writer.lock);
        writer.stop_asked = true;
    }
    writer.wake.notify_one();
    writer.thread.join();
    ZvrecState on = ZvrecState::On;
    writer.state.compare_exchange_strong(on, ZvrecState::Off);
}

ZvrecState zvrec_state() { return writer.state.load(); }

long long zvrec_bytes_written() { return writer.written.load(); }

bool zvrec_take_failure(std::string& line)
{
    if (!writer.news.exchange(false)) return false;
    line = "Recording stopped after " + seconds_text(writer.failed_at_us) + ": ";
    if (writer.failure == Failure::QueueFull) {
        line += "the disk did not keep up (" + std::to_string(ZVREC_QUEUE_BYTES >> 10) + " KB waiting); " +
                writer.path + " holds the flight up to then";
    } else {
        line += "unable to write " + writer.path + ": " + std::strerror(writer.error);
    }
    return true;
}
