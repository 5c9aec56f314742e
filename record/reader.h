// Reads a recording (record/format.h): its header, then its records one at a time, and says
// where a damaged file breaks off. Everything up to the damage is handed over; the reader then
// stops, so a truncated recording is used as far as it goes. Damage inside the file is found
// where zlib meets it (at the latest by the gzip check at its end) or where it breaks the records'
// structure; the reader keeps all but the last 2 KB or so of what came before. A file that is not
// compressed is read as it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "record/format.h"

struct ZvrecRecord {
    std::uint8_t kind = 0;
    std::uint64_t time_us = 0;
    std::vector<std::uint8_t> payload;
};

enum class ZvrecNext { Record, End, Broken };

struct ZvrecReader {
    void* file = nullptr;  // zlib's gzFile
    std::string path;
    ZvrecHeader header;
    std::uint64_t offset = 0;   // bytes of the recording read so far, counted uncompressed
    std::uint64_t records = 0;  // records handed over
    std::uint64_t last_time_us = 0;
    int end_reason = -1;  // the end record's ZvrecEnd, once read
    std::string broken;   // where and why the recording breaks off, once it has
    ZvrecNext done = ZvrecNext::Record;

    ZvrecReader() = default;
    ~ZvrecReader();
    ZvrecReader(const ZvrecReader&) = delete;
    ZvrecReader& operator=(const ZvrecReader&) = delete;
};

// Opens `path` and reads its header; false with the reason in `error` (no file, not a recording,
// a format this program does not read).
bool zvrec_read_open(ZvrecReader& reader, const char* path, std::string& error);
// The next record. End after the end record; Broken (with `reader.broken` set) where the file
// breaks off or holds what no recording can. Every call after either gives the same answer.
ZvrecNext zvrec_read_next(ZvrecReader& reader, ZvrecRecord& record);
void zvrec_read_close(ZvrecReader& reader);
