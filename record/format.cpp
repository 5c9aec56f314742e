// Encoding and decoding of the recording's header and record heads (see format.h).
#include "record/format.h"

#include <algorithm>
#include <cstring>


namespace {

struct Out {
    std::vector<std::uint8_t> bytes;
    void u16(std::uint16_t v) { for (int i = 0; i < 2; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i))); }
    void u32(std::uint32_t v) { for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i))); }
    void u64(std::uint64_t v) { for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i))); }
    // Text longer than a 16-bit length is cut; no name or units comes near it.
    void text(const std::string& s)
    {
        std::size_t n = std::min<std::size_t>(s.size(), 0xFFFF);
        u16(static_cast<std::uint16_t>(n));
        bytes.insert(bytes.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
    }
};

// Reads within the header's bytes; the first read past its end marks it short, and every read
// after that gives zeros.
struct In {
    const std::uint8_t* p;
    std::size_t left;
    bool short_read = false;

    bool take(std::size_t n)
    {
        if (short_read || n > left) {
            short_read = true;
            return false;
        }
        return true;
    }
    std::uint64_t uint(std::size_t n)
    {
        if (!take(n)) return 0;
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i) v |= static_cast<std::uint64_t>(p[i]) << (8 * i);
        p += n;
        left -= n;
        return v;
    }
    std::string text()
    {
        std::size_t n = static_cast<std::size_t>(uint(2));
        if (!take(n)) return {};
        std::string s(reinterpret_cast<const char*>(p), n);
        p += n;
        left -= n;
        return s;
    }
};

}  // namespace

std::vector<std::uint8_t> zvrec_encode_header(const ZvrecHeader& header)
{
    Out out;
    out.bytes.assign(ZVREC_MAGIC.begin(), ZVREC_MAGIC.end());
    out.u16(header.format_version);
    out.u32(0);  // the size, below
    out.u64(static_cast<std::uint64_t>(header.wall_start));
    out.text(header.program);
    out.u32(header.definition_id);
    out.u32(static_cast<std::uint32_t>(header.rows.size()));
    for (const ZvrecRow& row : header.rows) {
        out.text(row.name);
        out.text(row.units);
        out.u32(row.type);
        out.u32(row.offset);
    }
    out.u32(static_cast<std::uint32_t>(header.events.size()));
    for (const ZvrecEventName& event : header.events) {
        out.u32(event.id);
        out.text(event.name);
    }
    zvrec_put_u32(out.bytes.data() + 10, static_cast<std::uint32_t>(out.bytes.size()));
    return out.bytes;
}

bool zvrec_header_size(const std::uint8_t* start, std::uint32_t& size, std::string& error)
{
    if (!std::equal(ZVREC_MAGIC.begin(), ZVREC_MAGIC.end(), start)) {
        error = "not a recording (it does not begin with ZVREC)";
        return false;
    }
    unsigned version = static_cast<unsigned>(start[8] | start[9] << 8);
    if (version != ZVREC_FORMAT_VERSION) {
        error = "a recording of format " + std::to_string(version) + ", which this program does not read (it reads " +
                std::to_string(ZVREC_FORMAT_VERSION) + ")";
        return false;
    }
    size = zvrec_u32(start + 10);
    if (size < ZVREC_HEADER_START || size > ZVREC_MAX_HEADER) {
        error = "a header of " + std::to_string(size) + " bytes";
        return false;
    }
    return true;
}

bool zvrec_decode_header(const std::uint8_t* bytes, std::size_t size, ZvrecHeader& header, std::string& error)
{
    std::uint32_t stated = 0;
    if (size < ZVREC_HEADER_START || !zvrec_header_size(bytes, stated, error)) {
        if (size < ZVREC_HEADER_START) error = "a header cut short";
        return false;
    }
    In in{bytes + ZVREC_HEADER_START, std::min<std::size_t>(size, stated) - ZVREC_HEADER_START};
    header = ZvrecHeader{};
    header.format_version = ZVREC_FORMAT_VERSION;
    header.wall_start = static_cast<std::int64_t>(in.uint(8));
    header.program = in.text();
    header.definition_id = static_cast<std::uint32_t>(in.uint(4));
    std::uint32_t rows = static_cast<std::uint32_t>(in.uint(4));
    if (rows > ZVREC_MAX_ROWS) {
        error = "a definition of " + std::to_string(rows) + " rows";
        return false;
    }
    for (std::uint32_t i = 0; i < rows && !in.short_read; ++i) {
        ZvrecRow row;
        row.name = in.text();
        row.units = in.text();
        row.type = static_cast<std::uint32_t>(in.uint(4));
        row.offset = static_cast<std::uint32_t>(in.uint(4));
        header.rows.push_back(std::move(row));
    }
    std::uint32_t events = static_cast<std::uint32_t>(in.uint(4));
    if (events > ZVREC_MAX_EVENTS) {
        error = "a list of " + std::to_string(events) + " client events";
        return false;
    }
    for (std::uint32_t i = 0; i < events && !in.short_read; ++i) {
        ZvrecEventName event;
        event.id = static_cast<std::uint32_t>(in.uint(4));
        event.name = in.text();
        header.events.push_back(std::move(event));
    }
    // Bytes after the known fields belong to later versions of the header and are skipped.
    if (in.short_read || size < stated) {
        error = "a header cut short";
        return false;
    }
    return true;
}

void zvrec_encode_record_head(std::uint8_t* out, std::uint8_t kind, std::uint64_t time_us, std::uint32_t length)
{
    out[0] = kind;
    for (int i = 0; i < 8; ++i) out[1 + i] = static_cast<std::uint8_t>(time_us >> (8 * i));
    zvrec_put_u32(out + 9, length);
}

void zvrec_decode_record_head(const std::uint8_t* in, std::uint8_t& kind, std::uint64_t& time_us,
                              std::uint32_t& length)
{
    kind = in[0];
    time_us = 0;
    for (int i = 0; i < 8; ++i) time_us |= static_cast<std::uint64_t>(in[1 + i]) << (8 * i);
    length = zvrec_u32(in + 9);
}

std::string zvrec_type_name(std::uint32_t type)
{
    static constexpr const char* names[] = {"INVALID",   "INT32",     "INT64",     "FLOAT32",
                                            "FLOAT64",   "STRING8",   "STRING32",  "STRING64",
                                            "STRING128", "STRING256", "STRING260", "STRINGV"};
    if (type < std::size(names)) return names[type];
    return "type " + std::to_string(type);
}
