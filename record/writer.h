// The recorder: writes what the program receives from and sends to the simulator library into a
// recording file (record/format.h) without the main loop ever waiting on the disk. The loop
// appends each record to a bounded in-memory queue; a thread of the recorder's own compresses the
// queue into the file (gzip) and makes it readable about once a second, so that a program that
// dies leaves a recording that replays up to its last second. A queue that fills (the disk does
// not keep up) or a write that fails ends the recording, and the program goes on without it.
// Owns the recorder's state, the queue and the thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "record/format.h"

// The file as the writer thread reaches it, through a table that tests replace to make the disk
// stall or fail. The default writes a gzip stream through zlib.
struct ZvrecSinkApi {
    // Creates `path` for writing, failing with EEXIST when it exists already. Null on failure,
    // with the C runtime's error number in `error`.
    void* (*create)(const char* path, int& error);
    // Writes all `size` bytes: 0, or the error number of the failure.
    int (*write)(void* file, const void* data, std::size_t size);
    // Makes everything written so far readable from the file: 0, or the error number.
    int (*flush)(void* file);
    // Finishes and closes the file: 0, or the error number.
    int (*close)(void* file);
    // Bytes in the file so far.
    long long (*size)(void* file);
};
extern ZvrecSinkApi zvrec_sink;
extern const ZvrecSinkApi zvrec_sink_gzip;

// The queue's bound, and the fill at which the writer thread is woken before its second is up.
inline constexpr std::size_t ZVREC_QUEUE_BYTES = 1u << 20;
inline constexpr std::size_t ZVREC_WAKE_BYTES = 64u << 10;
// The writer thread writes and flushes at least this often.
inline constexpr long long ZVREC_FLUSH_MS = 1000;

enum class ZvrecState { Off, On, Failed };

struct ZvrecStarted {
    bool ok = false;
    std::string path;  // the file recorded into (or that failed)
    bool renamed = false;  // FILE existed: the recording went to `path` instead
    int error = 0;         // why it did not start
};

// Starts recording into `path`, or, when that file exists, into the same name with the local
// date and time before its extension (see zvrec_dated_path). The header is written first; its
// wall-clock start is filled in here.
ZvrecStarted zvrec_start(const char* path, ZvrecHeader header);

// Records, from the main loop: a received message, a transmitted client event, a mark. Each
// returns at once; nothing is recorded unless the state is On.
void zvrec_message(const void* data, std::size_t size);
void zvrec_client_event(std::uint32_t id, std::uint32_t data);
void zvrec_mark(ZvrecKind kind);

// Ends the recording: the end record, then everything queued is written and the file closed.
void zvrec_stop();

ZvrecState zvrec_state();
// Compressed bytes in the file so far.
long long zvrec_bytes_written();
// Once after the recording has failed: true with the line that says why and where the file stops.
bool zvrec_take_failure(std::string& line);

// `path` with "-YYYYMMDD-HHMMSS" (and "-N" for N above 1) before its extension.
std::string zvrec_dated_path(const std::string& path, const std::tm& local, int n);
