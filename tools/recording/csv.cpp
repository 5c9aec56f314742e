// zvmp-recording csv: one row per data block, for a spreadsheet.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <string>
#include <vector>

#include "platform/SimConnect.h"
#include "tools/recording/read.h"
#include "tools/recording/recording.h"

namespace {

// Simulator names compare without regard to case.
bool same_name(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// A cell of text, quoted when it holds what would break the row.
std::string cell(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

template <class T>
T value_at(const std::uint8_t* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
std::string number(T v)
{
    char text[64];
    auto [end, ec] = std::to_chars(text, text + sizeof text, v);
    return ec == std::errc() ? std::string(text, end) : std::string();
}

// The row's value in the block; empty where the block is too short or the type has no width.
std::string value(const ZvrecRow& row, const std::uint8_t* block, std::size_t size)
{
    std::size_t width = simconnect_datatype_size(row.type);
    if (width == 0 || row.offset > size || width > size - row.offset) return {};
    const std::uint8_t* p = block + row.offset;
    switch (row.type) {
    case SIMCONNECT_DATATYPE_INT32: return number(value_at<std::int32_t>(p));
    case SIMCONNECT_DATATYPE_INT64: return number(value_at<std::int64_t>(p));
    case SIMCONNECT_DATATYPE_FLOAT32: return number(value_at<float>(p));
    case SIMCONNECT_DATATYPE_FLOAT64: return number(value_at<double>(p));
    default: {
        const char* text = reinterpret_cast<const char*>(p);
        return cell(std::string(text, std::find(text, text + width, '\0')));
    }
    }
}

}  // namespace

int zvrtool_csv(const char* path, const std::vector<std::string>& names, unsigned long every, std::FILE* out,
                std::FILE* err)
{
    ZvrecReader reader;
    if (!zvrtool_open(reader, path, err)) return ZVRTOOL_DAMAGED;
    const ZvrecHeader& header = reader.header;
    std::vector<const ZvrecRow*> columns;
    for (const std::string& name : names) {
        auto row = std::find_if(header.rows.begin(), header.rows.end(),
                                [&](const ZvrecRow& r) { return same_name(r.name, name); });
        if (row == header.rows.end()) {
            std::fprintf(err, "zvmp-recording: no variable \"%s\" in the definition of %s\n", name.c_str(), path);
            return ZVRTOOL_USAGE;
        }
        columns.push_back(&*row);
    }
    if (names.empty())
        for (const ZvrecRow& row : header.rows) columns.push_back(&row);

    std::string line = "time_s";
    for (const ZvrecRow* row : columns) line.append(",").append(cell(row->name));
    std::fprintf(out, "%s\n", line.c_str());
    ZvrecRecord record;
    ZvrecNext next;
    unsigned long long blocks = 0;
    while ((next = zvrec_read_next(reader, record)) == ZvrecNext::Record) {
        std::size_t size = 0;
        const std::uint8_t* block = zvrtool_block(record, header, size);
        if (block == nullptr || blocks++ % every != 0) continue;
        char time[32];
        std::snprintf(time, sizeof time, "%.3f", static_cast<double>(record.time_us) / 1e6);
        line = time;
        for (const ZvrecRow* row : columns) line.append(",").append(value(*row, block, size));
        std::fprintf(out, "%s\n", line.c_str());
    }
    if (next == ZvrecNext::Broken) {
        std::fprintf(err, "zvmp-recording: %s %s\n", path, reader.broken.c_str());
        return ZVRTOOL_DAMAGED;
    }
    return ZVRTOOL_OK;
}
