// SimConnect.cfg: found, read and checked. The file is an INI file: [sections], Key=Value lines,
// comments after ';' or '#' at a line's start, keys and section names compared without regard to
// case, as the simulator's library reads it.
#include "simclient/config.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "platform/net.h"
#include "platform/text.h"

namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool same_text(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

struct Section {
    std::string_view name;
    std::vector<std::pair<std::string_view, std::string_view>> keys;
};

// The sections of `text`; false with `bad_line` set at the first line that is neither.
bool read_sections(std::string_view text, std::vector<Section>& sections, unsigned& bad_line)
{
    unsigned number = 0;
    while (!text.empty()) {
        std::size_t eol = text.find('\n');
        std::string_view line = trim(text.substr(0, eol));
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        ++number;
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) {
                bad_line = number;
                return false;
            }
            sections.push_back({trim(line.substr(1, line.size() - 2)), {}});
            continue;
        }
        std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || sections.empty() || trim(line.substr(0, eq)).empty()) {
            bad_line = number;
            return false;
        }
        sections.back().keys.emplace_back(trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
    }
    return true;
}

const Section* find_section(const std::vector<Section>& sections, std::string_view name)
{
    for (const Section& s : sections)
        if (same_text(s.name, name)) return &s;
    return nullptr;
}

const std::string_view* find_key(const Section& section, std::string_view key)
{
    for (const auto& [k, v] : section.keys)
        if (same_text(k, key)) return &v;
    return nullptr;
}

// A value from the file as a line may show it: safe to print, at most 40 bytes.
std::string shown(std::string_view value) { return plat_printable(value.substr(0, 40)); }

ZvcliConfigFound bad(ZvcliConfig& out, std::string problem)
{
    out.problem = std::move(problem);
    return ZVCLI_CONFIG_BAD;
}

}  // namespace

ZvcliConfigFound zvcli_config_parse(std::string_view text, const std::string& file, unsigned index, ZvcliConfig& out)
{
    out = ZvcliConfig{};
    out.file = file;
    out.index = index;
    std::string section_name = "SimConnect." + std::to_string(index);
    std::string where = file + ", section [" + section_name + "]";

    std::vector<Section> sections;
    unsigned bad_line = 0;
    if (!read_sections(text, sections, bad_line))
        return bad(out, file + ": line " + std::to_string(bad_line) +
                            " is neither a [section] nor a Key=Value line");
    const Section* section = find_section(sections, section_name);
    if (section == nullptr && index == 0) section = find_section(sections, "SimConnect");
    if (section == nullptr) return bad(out, where + " is missing");

    const std::string_view* protocol = find_key(*section, "Protocol");
    const std::string_view* address = find_key(*section, "Address");
    const std::string_view* port = find_key(*section, "Port");
    if (protocol == nullptr) return bad(out, where + ": Protocol is missing");
    if (!same_text(*protocol, "IPv4"))
        return bad(out, where + ": Protocol " + shown(*protocol) + " is not supported (only IPv4)");
    if (address == nullptr) return bad(out, where + ": Address is missing");
    if (address->empty()) return bad(out, where + ": Address is empty (the simulator computer's IPv4 address)");
    std::string address_text(*address);
    const char* p = address_text.c_str();
    if (!plat_parse_address(p, out.address) || *p != '\0')
        return bad(out, where + ": Address " + shown(address_text) + " is not a numeric IPv4 address");
    if (port == nullptr) return bad(out, where + ": Port is missing");
    std::string port_text(*port);
    unsigned long value = 0;
    bool digits = !port_text.empty() && port_text.size() <= 5;
    for (char c : port_text) digits = digits && c >= '0' && c <= '9';
    if (digits) value = std::stoul(port_text);
    if (!digits || value == 0 || value > 65535)
        return bad(out, where + ": Port " + shown(port_text) + " is not a number from 1 to 65535");
    out.port = static_cast<unsigned>(value);
    return ZVCLI_CONFIG_GOOD;
}

ZvcliConfigFound zvcli_config_find(unsigned index, const std::string& program_folder, ZvcliConfig& out)
{
    std::vector<std::string> places{ZVCLI_CONFIG_NAME};
    if (!program_folder.empty()) places.push_back(program_folder + "/" + ZVCLI_CONFIG_NAME);
    for (const std::string& file : places) {
        std::error_code ec;
        if (!std::filesystem::exists(file, ec)) continue;
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        if (in) text << in.rdbuf();
        if (!in || std::filesystem::is_directory(file, ec)) {
            out = ZvcliConfig{};
            out.file = file;
            out.index = index;
            int error = std::filesystem::is_directory(file, ec) ? EISDIR : errno;
            return bad(out, file + " cannot be read (" + std::strerror(error) + ")");
        }
        return zvcli_config_parse(text.str(), file, index, out);
    }
    out = ZvcliConfig{};
    return ZVCLI_CONFIG_NONE;
}
