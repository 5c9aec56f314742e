// The generated copies of the message catalogue, and the generator's command line.
#include "tools/catalogue/generate.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <span>
#include <sstream>
#include <vector>

#include "protocol/catalogue.h"
#include "protocol/network.h"

namespace {

std::string printf_text(const char* format, auto... args)
{
    std::string text(static_cast<std::size_t>(std::snprintf(nullptr, 0, format, args...)), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

// A quoted string literal, as Lua (and most languages) read it.
std::string quoted(const char* text)
{
    std::string out = "\"";
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '"' || *c == '\\') out += '\\';
        out += *c;
    }
    return out + '"';
}

// The catalogue ordered by group, then item, then kind.
std::vector<const ZvmsgInfo*> by_group()
{
    std::vector<const ZvmsgInfo*> rows;
    for (const ZvmsgInfo& e : ZVMSG_CATALOGUE) rows.push_back(&e);
    auto key = [](const ZvmsgInfo* e) { return (static_cast<std::uint64_t>(e->id & 0xFFFFu) << 32) | e->id; };
    std::stable_sort(rows.begin(), rows.end(), [&](auto* a, auto* b) { return key(a) < key(b); });
    return rows;
}

const char* group_label(unsigned int group)
{
    for (const ZvmsgGroup& g : ZVMSG_GROUPS)
        if (g.group == group) return g.label;
    return "";
}

// The ports of ZVMP_MCAST_PORTS, which lie next to each other, as "FIRST-LAST".
std::string multicast_port_range()
{
    static_assert(ZVMP_MCAST_PORTS.back() - ZVMP_MCAST_PORTS.front() + 1 == ZVMP_MCAST_PORTS.size());
    return printf_text("%u-%u", ZVMP_MCAST_PORTS.front(), ZVMP_MCAST_PORTS.back());
}

std::string lua_table(const char* name, std::span<const ZvmpNamed> rows, const char* format)
{
    std::string out = printf_text("local %s = {\n", name);
    for (const ZvmpNamed& r : rows) out += printf_text(format, r.value, quoted(r.name).c_str());
    return out + "}\n";
}

std::string render_lua()
{
    std::string out = printf_text("local HEADER_SIZE = %u\n"
                                  "local MAX_PACKET = %u\n"
                                  "-- Registered for the ports hellos go to and a program's port range.\n"
                                  "local MULTICAST_PORTS = \"%s\"\n"
                                  "local PROGRAM_PORTS = \"%u-%u\"\n\n",
                                  ZVMP_PKT_HEADER_SIZE, ZVMP_PKT_MAX_LENGTH, multicast_port_range().c_str(),
                                  ZVMP_FIRST_PORT, ZVMP_LAST_PORT);
    out += lua_table("NODE_TYPES", ZVMP_NODE_TYPE_NAMES, "    [0x%02x] = %s,\n");
    out += "local KINDS = {\n";
    for (const ZvmpNamed& k : ZVMP_NETWORK_KIND_NAMES) out += printf_text("    [0x%02x] = %s,\n", k.value, quoted(k.name).c_str());
    for (ZvmsgKind k : ZVMSG_KINDS)
        out += printf_text("    [0x%02x] = %s,\n", static_cast<unsigned int>(k), quoted(zvmsg_kind_name(k)).c_str());
    out += printf_text("}\nlocal HELLO = 0x%08x\n", ZVMP_MSG_HELLO);
    out += lua_table("NETWORK", ZVMP_NETWORK_MESSAGE_NAMES, "    [0x%08x] = %s,\n");
    out += "\nlocal GROUPS = {\n";
    for (const ZvmsgGroup& g : ZVMSG_GROUPS)
        out += printf_text("    [0x%02x] = %s,\n", g.group, quoted(g.label).c_str());
    out += "}\n\n"
           "-- Application messages: { name, what it is, unit, how it is shown, decimals }.\n"
           "-- float: float32 or float64 by the kind; speed: knots, or Mach below 5; int: signed; word:\n"
           "-- unsigned; hex: bit set; squawk: four digits; freq: hundredths shown with two decimals (NAV and\n"
           "-- COM in 10 kHz steps as MHz, ADF in 1/100 kHz as kHz); radio: the twelve-word radio block.\n"
           "local CATALOGUE = {\n";
    unsigned int group = 0;
    for (const ZvmsgInfo* e : by_group()) {
        if (zvmsg_group(e->id) != group) {
            group = zvmsg_group(e->id);
            out += printf_text("    -- group 0x%02x: %s\n", group, group_label(group));
        }
        out += printf_text("    [0x%08x] = { %s, %s, %s, %s, %d },\n", e->id, quoted(e->name).c_str(),
                           quoted(e->label).c_str(), quoted(e->unit).c_str(), quoted(zvmsg_show_name(e->show)).c_str(),
                           e->decimals);
    }
    out += "}\n\n"
           "-- The radio block's words, each named by the single-radio message it stands for.\n"
           "local RADIO_WORDS = {\n";
    for (std::size_t i = 0; i < ZVMSG_RADIO_WORD_IDS.size(); ++i)
        out += printf_text("%s0x%08x,%s", i % 6 == 0 ? "    " : " ", ZVMSG_RADIO_WORD_IDS[i], i % 6 == 5 ? "\n" : "");
    out += "}\n";
    return out;
}

const char* input_name(ZvmsgInput input)
{
    switch (input) {
    case ZvmsgInput::None: return "none";
    case ZvmsgInput::Float: return "float";
    case ZvmsgInput::Word: return "word";
    case ZvmsgInput::Squawk: return "squawk";
    case ZvmsgInput::Mhz: return "mhz";
    case ZvmsgInput::Khz: return "khz";
    case ZvmsgInput::Baro: return "baro";
    }
    return "";
}

// The shortest decimal that reads back as the same double, with a point (117.95, 850.0), as
// Python writes floats of this size.
std::string shortest(double v)
{
    for (int decimals = 0; decimals <= 17; ++decimals) {
        std::string text = printf_text("%.*f", decimals, v);
        if (std::strtod(text.c_str(), nullptr) == v) return decimals == 0 ? text + ".0" : text;
    }
    return printf_text("%.17g", v);
}

// The Python client's names of the payload kinds.
const char* python_kind_name(ZvmsgKind kind)
{
    switch (kind) {
    case ZvmsgKind::Int32: return "KIND_INT32";
    case ZvmsgKind::Float32: return "KIND_FLOAT32";
    case ZvmsgKind::Float64: return "KIND_FLOAT64";
    case ZvmsgKind::Block: return "KIND_BLOCK";
    }
    return "";
}

// The network's numbers, the payload kinds and the message groups, under the Python client's
// names.
std::string render_python_numbers()
{
    std::string ports;
    for (unsigned int port : ZVMP_MCAST_PORTS) ports += printf_text("%s%u", ports.empty() ? "" : ", ", port);
    std::string out = printf_text(
        "#: A packet's header, and the largest packet a program reads.\n"
        "HEADER_SIZE = %u\n"
        "MAX_PACKET = %u\n"
        "#: The protocol version in bits 16..23 of every node type word, and the type codes (bits 24..31)\n"
        "#: of the program and of the two kinds of panel it streams to.\n"
        "VERSION = %u\n"
        "PROGRAM_TYPE_CODE = 0x%02x\n"
        "FULL_PANEL = 0x%02x\n"
        "POSITION_PANEL = 0x%02x\n"
        "#: The network's own messages.\n"
        "HELLO = 0x%08x\n"
        "STREAM_REQUEST = 0x%08x\n"
        "STREAM_STOP = 0x%08x\n"
        "#: A program says hello to this group on these ports, and binds the first free port from\n"
        "#: FIRST_PORT to LAST_PORT.\n"
        "MULTICAST_GROUP = %s\n"
        "MULTICAST_PORTS: Tuple[int, ...] = (%s)\n"
        "FIRST_PORT = %u\n"
        "LAST_PORT = %u\n"
        "#: Payload kinds: the identifier's top byte.\n",
        ZVMP_PKT_HEADER_SIZE, ZVMP_PKT_MAX_LENGTH, ZVMP_PROTOCOL_VERSION, ZVMP_NODE_PROGRAM >> 24,
        ZVMP_NODE_FULL_PANEL >> 24, ZVMP_NODE_POSITION_PANEL >> 24, ZVMP_MSG_HELLO, ZVMP_MSG_REQ_STREAM,
        ZVMP_MSG_STOP_STREAM, quoted(ZVMP_MCAST_GROUP).c_str(), ports.c_str(), ZVMP_FIRST_PORT, ZVMP_LAST_PORT);
    for (ZvmsgKind k : ZVMSG_KINDS) out += printf_text("%s = 0x%02x\n", python_kind_name(k), static_cast<unsigned int>(k));
    out += "#: Message groups: the identifier's third byte.\n";
    for (const ZvmsgGroup& g : ZVMSG_GROUPS) out += printf_text("GROUP_%s = 0x%02x\n", g.name, g.group);
    return out + "\n";
}

// The Python client's numbers and table (clients/python/zvmp/catalogue.py): the table in catalogue
// order, which is the order in which zvmp-monitor shows the values.
std::string render_python()
{
    std::string out = render_python_numbers() + "ENTRIES: Tuple[Entry, ...] = (\n";
    const ZvmsgInfo* previous = nullptr;
    for (const ZvmsgInfo& e : ZVMSG_CATALOGUE) {
        if (previous == nullptr || previous->section != e.section)
            out += printf_text("    # %s\n", zvmsg_section_name(e.section));
        previous = &e;
        out += printf_text("    Entry(0x%08x, %s, %s, %s, %s, %s, %d, %s, %s, %s, %s),\n", e.id,
                           quoted(e.name).c_str(), quoted(e.label).c_str(), quoted(e.unit).c_str(),
                           quoted(zvmsg_section_name(e.section)).c_str(), quoted(zvmsg_show_name(e.show)).c_str(),
                           e.decimals, quoted(input_name(e.input)).c_str(), shortest(e.min).c_str(),
                           shortest(e.max).c_str(), quoted(e.takes).c_str());
    }
    out += ")\n\n"
           "#: The twelve words of the radio block, each named by the single-radio message it stands for.\n"
           "RADIO_WORD_IDS: Tuple[int, ...] = (\n";
    for (std::size_t i = 0; i < ZVMSG_RADIO_WORD_IDS.size(); ++i)
        out += printf_text("%s0x%08x,%s", i % 6 == 0 ? "    " : " ", ZVMSG_RADIO_WORD_IDS[i], i % 6 == 5 ? "\n" : "");
    out += ")\n\n"
           "#: Hectopascals per inch of mercury, and the range of a \"baro\" command read as hectopascals.\n"
           "HPA_PER_INHG = " + shortest(ZVMSG_HPA_PER_INHG) + "\n"
           "HPA_MIN = " + shortest(ZVMSG_HPA_MIN) + "\n"
           "HPA_MAX = " + shortest(ZVMSG_HPA_MAX) + "\n";
    return out;
}

// The message list of docs/protocol.md, in catalogue order.
std::string render_markdown()
{
    std::string out = "| Id | Name | Payload | Unit | The payload's number is | What it is | A command takes |\n"
                      "|---|---|---|---|---|---|---|\n";
    for (const ZvmsgInfo& e : ZVMSG_CATALOGUE) {
        std::string payload = zvmsg_kind(e.id) == ZvmsgKind::Block
                                  ? printf_text("%u × uint32", zvmsg_words(e.id))
                                  : zvmsg_kind_name(zvmsg_kind(e.id));
        out += printf_text("| 0x%08x | `%s` | %s | %s | %s | %s | %s |\n", e.id, e.name, payload.c_str(), e.unit,
                           zvmsg_scaling(e.show), e.label, e.input == ZvmsgInput::None ? "-" : e.takes);
    }
    return out;
}

constexpr ZvcatFormat FORMATS[] = {
    {"--lua", "-- Generated from protocol/catalogue.h by zvmp-catalogue --lua: edit the catalogue, not this block.",
     "-- End of the generated block.", render_lua},
    {"--python",
     "# Generated from protocol/catalogue.h by zvmp-catalogue --python: edit the catalogue, not this block.",
     "# End of the generated block.", render_python},
    {"--markdown",
     "<!-- Generated from protocol/catalogue.h by zvmp-catalogue --markdown: edit the catalogue, not this block. -->",
     "<!-- End of the generated block. -->", render_markdown},
};

std::optional<std::string> read_file(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

std::span<const ZvcatFormat> zvcat_formats() { return FORMATS; }

const ZvcatFormat* zvcat_format_by_option(std::string_view option)
{
    for (const ZvcatFormat& f : FORMATS)
        if (option == f.option) return &f;
    return nullptr;
}

std::optional<std::string> zvcat_splice(std::string_view text, const ZvcatFormat& format)
{
    const std::string begin = std::string(format.begin) + "\n";
    const std::string end = std::string(format.end) + "\n";
    std::size_t b = text.find(begin);
    if (b == std::string_view::npos || (b != 0 && text[b - 1] != '\n')) return std::nullopt;
    std::size_t body = b + begin.size();
    std::size_t e = text.find(end, body);
    if (e == std::string_view::npos || text[e - 1] != '\n') return std::nullopt;
    return std::string(text.substr(0, body)) + format.render() + std::string(text.substr(e));
}

int zvcat_main(int argc, char** argv)
{
    std::vector<std::string_view> args(argv + 1, argv + argc);
    bool check = !args.empty() && args.front() == "--check";
    if (check) args.erase(args.begin());
    const ZvcatFormat* format = args.empty() ? nullptr : zvcat_format_by_option(args.front());
    if (format == nullptr || args.size() > 2 || (check && args.size() != 2)) {
        std::fputs("usage: zvmp-catalogue [--check] FORMAT [FILE]\nformats:", stderr);
        for (const ZvcatFormat& f : FORMATS) std::fprintf(stderr, " %s", f.option);
        std::fputs("\n", stderr);
        return 2;
    }
    if (args.size() == 1) {
        std::fputs(format->render().c_str(), stdout);
        return 0;
    }
    const std::string path(args[1]);
    std::optional<std::string> text = read_file(path.c_str());
    std::optional<std::string> spliced = text ? zvcat_splice(*text, *format) : std::nullopt;
    if (!spliced) {
        std::fprintf(stderr, "zvmp-catalogue: %s: unreadable or without the generated block's markers\n", path.c_str());
        return 2;
    }
    if (*spliced == *text) return 0;
    if (check) {
        std::fprintf(stderr, "zvmp-catalogue: %s differs from the catalogue; run zvmp-catalogue %s %s\n", path.c_str(),
                     format->option, path.c_str());
        return 1;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << *spliced;
    return out ? 0 : 2;
}
