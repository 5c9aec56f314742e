// The message catalogue against protocol/messages.h and the Wireshark dissector's table, its
// committed copies against the generator, and the monitor's conversions between payloads, shown
// text and typed values.
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/messages.h"
#include "tools/catalogue/generate.h"
#include "tools/monitor/catalogue.h"

namespace {

std::string read_source(const char* path)
{
    std::ifstream in(std::string(ZV_SOURCE_DIR) + "/" + path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::set<std::uint32_t> header_ids()
{
    std::string text = read_source("protocol/messages.h");
    std::regex constant(R"(inline constexpr std::uint32_t [A-Z0-9_]+ = 0x([0-9a-fA-F]{8});)");
    std::set<std::uint32_t> ids;
    for (std::sregex_iterator i(text.begin(), text.end(), constant), end; i != end; ++i)
        ids.insert(static_cast<std::uint32_t>(std::stoul((*i)[1].str(), nullptr, 16)));
    return ids;
}

template <typename T>
std::array<unsigned char, 8> bytes_of(T v)
{
    std::array<unsigned char, 8> b{};
    std::memcpy(b.data(), &v, sizeof v);
    return b;
}

std::uint32_t bits(float f)
{
    std::uint32_t w;
    std::memcpy(&w, &f, sizeof w);
    return w;
}

}  // namespace

TEST(MonitorCatalogue, HoldsEveryMessageOfTheProgramOnceWithAUniqueName)
{
    std::set<std::uint32_t> ids = header_ids();
    ASSERT_GT(ids.size(), 70u);
    std::set<std::uint32_t> table_ids;
    std::set<std::string> names;
    for (const ZvmonEntry& e : zvmon_catalogue()) {
        EXPECT_TRUE(table_ids.insert(e.id).second) << std::hex << e.id;
        EXPECT_TRUE(names.insert(e.name).second) << e.name;
        EXPECT_EQ(std::string(e.name).find_first_of(" ="), std::string::npos) << e.name;
    }
    EXPECT_EQ(table_ids, ids);
}

TEST(MonitorCatalogue, EveryMessageHasAKindAScalingAndADescription)
{
    for (const ZvmsgInfo& e : ZVMSG_CATALOGUE) {
        SCOPED_TRACE(e.name);
        EXPECT_NE(std::string(zvmsg_kind_name(zvmsg_kind(e.id))), "");
        EXPECT_NE(std::string(zvmsg_scaling(e.show)), "");
        EXPECT_NE(std::string(e.label), "");
        EXPECT_EQ(std::string(e.label).find('\n'), std::string::npos);
    }
    EXPECT_EQ(std::string(zvmsg_kind_name(static_cast<ZvmsgKind>(0x01))), "");
}

TEST(MonitorCatalogue, ShowsAndTakesWhatTheIdentifiersKindCarries)
{
    for (const ZvmonEntry& e : zvmon_catalogue()) {
        SCOPED_TRACE(e.name);
        switch (zvmsg_kind(e.id)) {
        case ZvmsgKind::Float32:
            EXPECT_TRUE(e.show == ZvmonShow::Float || e.show == ZvmonShow::McpSpeed);
            EXPECT_TRUE(e.input == ZvmonInput::None || e.input == ZvmonInput::Float || e.input == ZvmonInput::Baro);
            break;
        case ZvmsgKind::Float64:
            EXPECT_EQ(e.show, ZvmonShow::Float);
            EXPECT_EQ(e.input, ZvmonInput::None);
            break;
        case ZvmsgKind::Int32:
            EXPECT_TRUE(e.show != ZvmonShow::Float && e.show != ZvmonShow::McpSpeed && e.show != ZvmonShow::RadioBlock);
            EXPECT_TRUE(e.input != ZvmonInput::Float && e.input != ZvmonInput::Baro);
            break;
        case ZvmsgKind::Block: EXPECT_EQ(e.show, ZvmonShow::RadioBlock); break;
        default: ADD_FAILURE() << "unknown kind";
        }
        if (e.input != ZvmonInput::None) {
            EXPECT_NE(e.takes[0], '\0');
            EXPECT_LE(e.min, e.max);
        }
    }
    for (std::uint32_t id : ZVMON_RADIO_WORD_IDS) {
        const ZvmonEntry* e = zvmon_entry_by_id(id);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->show, ZvmonShow::Freq);
    }
}

TEST(MonitorCatalogue, FormatsReceivedPayloads)
{
    struct Case {
        std::uint32_t id;
        std::array<unsigned char, 8> payload;
        const char* text;
        const char* with_unit;
    };
    const Case cases[] = {
        {zvmsg::MCP_HEADING, bytes_of(270.0f), "270", "270 deg"},
        {zvmsg::LATITUDE, bytes_of(47.5), "47.500000", "47.500000 deg"},
        {zvmsg::LONGITUDE, bytes_of(-122.3083335), "-122.308334", "-122.308334 deg"},
        {zvmsg::INDICATED_ALTITUDE_M, bytes_of(1524.04), "1524.0", "1524.0 m"},
        {zvmsg::BANK, bytes_of(-0.001f), "0.00", "0.00 deg"},  // no lone minus sign
        {zvmsg::MCP_VERTICAL_SPEED, bytes_of(-1500.0f), "-1500", "-1500 ft/min"},
        {zvmsg::MCP_SPEED, bytes_of(250.0f), "250", "250 kt"},
        {zvmsg::MCP_SPEED, bytes_of(0.78f), "0.780", "0.780 Mach"},
        {zvmsg::MACH, bytes_of(0.785f), "0.785", "0.785"},
        {zvmsg::GEAR_HANDLE, bytes_of(std::uint32_t{1}), "1", "1"},
        {zvmsg::XPDR_CODE, bytes_of(std::uint32_t{2000}), "2000", "2000"},
        {zvmsg::XPDR_CODE, bytes_of(std::uint32_t{400}), "0400", "0400"},
        {zvmsg::EFIS_OPTIONS, bytes_of(std::uint32_t{572}), "0x23C", "0x23C"},
        {zvmsg::COM1_ACTIVE, bytes_of(std::uint32_t{11810}), "118.10", "118.10 MHz"},
        {zvmsg::NAV1_ACTIVE, bytes_of(std::uint32_t{11005}), "110.05", "110.05 MHz"},
        {zvmsg::ADF1_ACTIVE, bytes_of(std::uint32_t{35000}), "350.00", "350.00 kHz"},
        {zvmsg::ADF1_STANDBY, bytes_of(std::uint32_t{140000}), "1400.00", "1400.00 kHz"},
        {zvmsg::SPD_STATUS, bytes_of(std::uint32_t{2}), "2", "2"},
        {zvmsg::ALTIMETER_SETTING, bytes_of(29.92f), "29.92", "29.92 inHg"},
    };
    for (const Case& c : cases) {
        const ZvmonEntry* e = zvmon_entry_by_id(c.id);
        ASSERT_NE(e, nullptr) << std::hex << c.id;
        EXPECT_EQ(zvmon_format(*e, c.payload.data()), c.text) << e->name;
        EXPECT_EQ(zvmon_format_with_unit(*e, c.payload.data()), c.with_unit) << e->name;
    }
}

TEST(MonitorCatalogue, TurnsTypedValuesIntoPayloadsOrRefusesThem)
{
    struct Case {
        const char* name;
        const char* text;
        bool ok;
        std::uint32_t word;
    };
    const Case cases[] = {
        {"hdg", "270", true, bits(270.0f)},
        {"hdg", "359.9", true, bits(359.9f)},
        {"hdg", "0", true, bits(0.0f)},
        {"hdg", "360", true, bits(360.0f)},
        {"hdg", "360.5", false, 0},
        {"hdg", "-1", false, 0},
        {"hdg", "abc", false, 0},
        {"hdg", "", false, 0},
        {"hdg", "270x", false, 0},
        {"hdg", " 270", false, 0},
        {"hdg", "nan", false, 0},
        {"hdg", "inf", false, 0},
        {"vs", "-1500", true, bits(-1500.0f)},
        {"alt", "35000", true, bits(35000.0f)},
        {"alt", "-100", false, 0},
        {"spd", "0.78", true, bits(0.78f)},
        {"spd", "250", true, bits(250.0f)},
        {"spd", "0", false, 0},
        {"efis-range", "40", true, bits(40.0f)},
        {"roll", "-90", true, bits(-90.0f)},
        {"roll", "90.1", false, 0},
        {"baro", "29.92", true, bits(29.92f)},
        {"baro", "1013", true, bits(static_cast<float>(1013.0 / 33.86))},
        {"baro", "500", false, 0},
        {"com1", "118.10", true, 11810},
        {"com1", "118.105", true, 11810},  // cut to 10 kHz steps, as the program reads
        {"com1", "136.99", true, 13699},
        {"com1", "137.00", false, 0},
        {"com1", "117.99", false, 0},
        {"com2s", "121.5", true, 12150},
        {"nav1", "110.30", true, 11030},
        {"nav2s", "108", true, 10800},
        {"nav1", "118.00", false, 0},
        {"adf1", "350", true, 35000},
        {"adf2s", "1400", true, 140000},
        {"adf1", "99.99", false, 0},
        {"xpdr", "7000", true, 7000},
        {"xpdr", "0400", true, 400},
        {"xpdr", "7800", false, 0},
        {"xpdr", "12345", false, 0},
        {"xpdr", "-1", false, 0},
        {"xpdr-mode", "3", true, 3},
        {"hdg-hold", "on", true, 1},
        {"hdg-hold", "off", true, 0},
        {"hdg-hold", "ON", true, 1},
        {"spd-mach", "Off", true, 0},
        {"hdg-hold", "onn", false, 0},
        {"hdg-hold", "2", false, 0},
        {"spd-hold", "2", true, 2},
        {"spd-hold", "3", false, 0},
        {"fd-mode", "1", true, 1},
        {"efis-options", "0x23C", true, 572},
        {"efis-options", "572", true, 572},
        {"efis-options", "0x", false, 0},
        {"efis-options", "0x1FFFFFFFF", false, 0},
        {"efis-mode", "4", true, 4},
        {"efis-mode", "5", false, 0},
        {"efis-mode", "1.5", false, 0},
        {"efis-mode", "on", false, 0},  // "on" only where the range is a switch
                {"lat", "47", false, 0},        // shown, never taken
    };
    for (const Case& c : cases) {
        const ZvmonEntry* e = zvmon_entry_by_name(c.name);
        ASSERT_NE(e, nullptr) << c.name;
        ZvmonParsed p = zvmon_parse_value(*e, c.text);
        EXPECT_EQ(p.ok, c.ok) << c.name << " " << c.text << ": " << p.error;
        if (c.ok && p.ok) {
            EXPECT_EQ(p.word, c.word) << c.name << " " << c.text;
        } else if (!c.ok) {
            EXPECT_EQ(p.error.rfind(std::string(c.name) + ": ", 0), 0u) << p.error;
            EXPECT_EQ(p.error.find('\n'), std::string::npos);
        }
    }
}

TEST(MonitorCatalogue, AgreesWithTheWiresharkDissector)
{
    std::string lua = read_source("tools/wireshark/zvmp.lua");
    ASSERT_FALSE(lua.empty());
    // [0x26011603] = { "hdg", "MCP heading", "deg", "float", 0 },
    std::regex entry(R"re(\[0x([0-9a-f]{8})\] = \{ "([^"]*)", "([^"]*)", "([^"]*)", "([a-z]+)", ([0-9]+) \},)re");
    std::map<std::uint32_t, std::smatch> found;
    for (std::sregex_iterator i(lua.begin(), lua.end(), entry), end; i != end; ++i) {
        auto id = static_cast<std::uint32_t>(std::stoul((*i)[1].str(), nullptr, 16));
        EXPECT_TRUE(found.emplace(id, *i).second) << std::hex << id;
    }
    EXPECT_EQ(found.size(), zvmon_catalogue().size());
    for (const ZvmonEntry& e : zvmon_catalogue()) {
        auto it = found.find(e.id);
        ASSERT_NE(it, found.end()) << e.name;
        const std::smatch& m = it->second;
        EXPECT_EQ(m[2].str(), e.name);
        EXPECT_EQ(m[3].str(), e.label);
        EXPECT_EQ(m[4].str(), e.unit);
        EXPECT_EQ(m[5].str(), zvmon_show_name(e.show));
        EXPECT_EQ(std::stoi(m[6].str()), e.decimals);
    }

    std::smatch words;
    ASSERT_TRUE(std::regex_search(lua, words, std::regex(R"(local RADIO_WORDS = \{([^}]*)\})")));
    std::string list = words[1].str();
    std::regex hex("0x([0-9a-f]{8})");
    std::vector<std::uint32_t> order;
    for (std::sregex_iterator i(list.begin(), list.end(), hex), end; i != end; ++i)
        order.push_back(static_cast<std::uint32_t>(std::stoul((*i)[1].str(), nullptr, 16)));
    EXPECT_EQ(order, std::vector<std::uint32_t>(ZVMON_RADIO_WORD_IDS.begin(), ZVMON_RADIO_WORD_IDS.end()));
}

TEST(MonitorCatalogue, CommittedCopiesAreWhatTheGeneratorWrites)
{
    const std::map<std::string, const char*> copies = {
        {"--lua", "tools/wireshark/zvmp.lua"},
        {"--python", "clients/python/zvmp/catalogue.py"},
        {"--markdown", "docs/protocol.md"},
    };
    ASSERT_EQ(copies.size(), zvcat_formats().size());
    for (const ZvcatFormat& f : zvcat_formats()) {
        SCOPED_TRACE(f.option);
        std::string text = read_source(copies.at(f.option));
        std::optional<std::string> generated = zvcat_splice(text, f);
        ASSERT_TRUE(generated.has_value());
        EXPECT_EQ(*generated, text) << "run: zvmp-catalogue " << f.option << " " << copies.at(f.option);
    }
    // Without both markers, in order, nothing is written.
    EXPECT_FALSE(zvcat_splice("x\n", zvcat_formats()[0]).has_value());
    std::string reversed = std::string(zvcat_formats()[0].end) + "\n" + zvcat_formats()[0].begin + "\n";
    EXPECT_FALSE(zvcat_splice(reversed, zvcat_formats()[0]).has_value());
}
