// Reading a recording (see reader.h), through zlib's gzip reader.
#include "record/reader.h"

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned READ_BUFFER = 1024;

gzFile gz(const ZvrecReader& reader) { return static_cast<gzFile>(reader.file); }

// Reads up to `size` bytes; fewer only at the end of the data or where it is damaged.
std::size_t read_bytes(ZvrecReader& reader, void* out, std::size_t size)
{
    std::size_t got = 0;
    while (got < size) {
        int n = gzread(gz(reader), static_cast<std::uint8_t*>(out) + got, static_cast<unsigned>(size - got));
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    reader.offset += got;
    return got;
}

// zlib's text when the data read so far ended in damage; empty at a clean end.
std::string damage(const ZvrecReader& reader)
{
    int code = Z_OK;
    const char* text = gzerror(gz(reader), &code);
    if (code == Z_OK) return {};
    if (code == Z_ERRNO) return std::strerror(errno);
    std::string why = text != nullptr && text[0] != '\0' ? text : "damaged compressed data";
    // zlib puts the file's name in front, which the reader's caller says already.
    std::string named = reader.path + ": ";
    return why.rfind(named, 0) == 0 ? why.substr(named.size()) : why;
}

ZvrecNext breaks(ZvrecReader& reader, std::uint64_t at, const std::string& why)
{
    char where[160];
    std::snprintf(where, sizeof where, "breaks off at byte %llu of its data, after %.3f s (record %llu): ",
                  static_cast<unsigned long long>(at), static_cast<double>(reader.last_time_us) / 1e6,
                  static_cast<unsigned long long>(reader.records + 1));
    reader.broken = where + why;
    reader.done = ZvrecNext::Broken;
    return reader.done;
}

}  // namespace

ZvrecReader::~ZvrecReader() { zvrec_read_close(*this); }

bool zvrec_read_open(ZvrecReader& reader, const char* path, std::string& error)
{
    zvrec_read_close(reader);
    reader.header = ZvrecHeader{};
    reader.offset = 0;
    reader.records = 0;
    reader.last_time_us = 0;
    reader.end_reason = -1;
    reader.broken.clear();
    reader.done = ZvrecNext::Record;
    reader.path = path;
    errno = 0;
    reader.file = gzopen(path, "rb");
    if (reader.file == nullptr) {
        error = std::strerror(errno != 0 ? errno : ENOMEM);
        return false;
    }
    // zlib drops what it has inflated into its buffer when it then meets damage: a small buffer
    // keeps what is lost in front of the damage small (twice this).
    gzbuffer(gz(reader), READ_BUFFER);
    std::vector<std::uint8_t> bytes(ZVREC_HEADER_START);
    std::uint32_t size = 0;
    bool ok = read_bytes(reader, bytes.data(), bytes.size()) == bytes.size();
    if (!ok) error = damage(reader).empty() ? "not a recording (too short)" : "not a recording (" + damage(reader) + ")";
    ok = ok && zvrec_header_size(bytes.data(), size, error);
    if (ok) {
        bytes.resize(size);
        std::size_t rest = size - ZVREC_HEADER_START;
        ok = read_bytes(reader, bytes.data() + ZVREC_HEADER_START, rest) == rest;
        if (!ok) error = "a header cut short";
    }
    ok = ok && zvrec_decode_header(bytes.data(), bytes.size(), reader.header, error);
    if (!ok) zvrec_read_close(reader);
    return ok;
}

ZvrecNext zvrec_read_next(ZvrecReader& reader, ZvrecRecord& record)
{
    if (reader.done != ZvrecNext::Record) return reader.done;
    if (reader.file == nullptr) return breaks(reader, reader.offset, "the recording is not open");
    std::uint64_t at = reader.offset;
    std::uint8_t head[ZVREC_RECORD_HEAD];
    std::size_t got = read_bytes(reader, head, sizeof head);
    if (got < sizeof head) {
        std::string why = damage(reader);
        if (!why.empty()) return breaks(reader, reader.offset, why);
        return breaks(reader, at, got == 0 ? "the data ends without the end record" : "the data ends inside a record");
    }
    std::uint32_t length = 0;
    zvrec_decode_record_head(head, record.kind, record.time_us, length);
    if (length > ZVREC_MAX_PAYLOAD) return breaks(reader, at, "a record of " + std::to_string(length) + " bytes");
    if (record.time_us < reader.last_time_us) return breaks(reader, at, "a record dated before the one before it");
    record.payload.resize(length);
    if (read_bytes(reader, record.payload.data(), length) < length) {
        std::string why = damage(reader);
        return breaks(reader, why.empty() ? at : reader.offset, why.empty() ? "the data ends inside a record" : why);
    }
    reader.last_time_us = record.time_us;
    ++reader.records;
    if (record.kind == ZVREC_END) {
        reader.end_reason = length >= 1 ? record.payload[0] : static_cast<int>(ZVREC_END_STOPPED);
        reader.done = ZvrecNext::End;
        return ZvrecNext::End;
    }
    return ZvrecNext::Record;
}

void zvrec_read_close(ZvrecReader& reader)
{
    if (reader.file != nullptr) gzclose_r(gz(reader));
    reader.file = nullptr;
}
