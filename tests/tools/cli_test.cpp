// zvmp-monitor's command line and the command packet that `send` builds.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/messages.h"
#include "net/zvmpnet.h"
#include "tools/monitor/catalogue.h"
#include "tools/monitor/cli.h"
#include "tools/monitor/send.h"

namespace {

ZvmonArgs parse(const std::vector<std::string>& words)
{
    // The parsed words point into these until the next call.
    static std::vector<std::string> kept;
    kept = words;
    kept.insert(kept.begin(), "zvmp-monitor");
    std::vector<char*> argv;
    for (std::string& w : kept) argv.push_back(w.data());
    return zvmon_parse_args(static_cast<int>(argv.size()), argv.data());
}

std::uint32_t word_at(const unsigned char* p)
{
    std::uint32_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

std::vector<std::string_view> views(const std::vector<std::string>& words)
{
    return std::vector<std::string_view>(words.begin(), words.end());
}

}  // namespace

TEST(MonitorCommandLine, ReadsOptionsAndTheSendWords)
{
    struct Case {
        std::vector<std::string> argv;
        ZvmonMode mode;
        const char* host;
        unsigned int port;
        unsigned int type;
        std::vector<std::string> words;
        const char* error;  // start of the error, "" for none
    };
    const Case cases[] = {
        {{}, ZvmonMode::Monitor, "127.0.0.1", 59000, 0x81, {}, ""},
        {{"--host", "10.0.0.5", "--port", "59001", "--type", "84"}, ZvmonMode::Monitor, "10.0.0.5", 59001, 0x84, {}, ""},
        {{"--host=10.0.0.5", "--port=2424", "--type=0x81"}, ZvmonMode::Monitor, "10.0.0.5", 2424, 0x81, {}, ""},
        {{"send", "hdg", "270"}, ZvmonMode::Send, "127.0.0.1", 59000, 0x81, {"hdg", "270"}, ""},
        {{"--port", "59002", "send", "vs", "-1500", "--type", "84", "alt", "9000"},
         ZvmonMode::Send, "127.0.0.1", 59002, 0x84, {"vs", "-1500", "alt", "9000"}, ""},
        {{"send", "--list"}, ZvmonMode::List, "127.0.0.1", 59000, 0x81, {}, ""},
        {{"--help"}, ZvmonMode::Help, "127.0.0.1", 59000, 0x81, {}, ""},
        {{"--type", "82"}, ZvmonMode::Monitor, "127.0.0.1", 59000, 0x81, {}, "--type takes 81 or 84"},
        {{"--port", "0"}, ZvmonMode::Monitor, "127.0.0.1", 59000, 0x81, {}, "--port takes"},
        {{"--port", "65536"}, ZvmonMode::Monitor, "127.0.0.1", 59000, 0x81, {}, "--port takes"},
        {{"--port", "59000x"}, ZvmonMode::Monitor, "127.0.0.1", 59000, 0x81, {}, "--port takes"},
        {{"--host", "plugin.local"}, ZvmonMode::Monitor, "127.0.0.1", 59000, 0x81, {}, "--host takes"},
        {{"--host", "10.0.0"}, ZvmonMode::Monitor, "127.0.0.1", 59000, 0x81, {}, "--host takes"},
        {{"--host", "0.0.0.0"}, ZvmonMode::Monitor, "", 0, 0, {}, "--host 0.0.0.0 is not an address a program sends "
                                                                 "from: it stands for any address"},
        {{"--host=0.1.2.3"}, ZvmonMode::Monitor, "", 0, 0, {}, "--host 0.1.2.3 is not an address a program sends "
                                                               "from: it is in 0.0.0.0/8"},
        {{"--host", "239.224.224.1"}, ZvmonMode::Monitor, "", 0, 0, {}, "--host 239.224.224.1 is not an address a "
                                                                       "program sends from: it is a multicast group"},
        {{"--host", "255.255.255.255"}, ZvmonMode::Monitor, "", 0, 0, {}, "--host 255.255.255.255 is not an address "
                                                                         "a program sends from: it is the broadcast"},
        {{"--host", "240.0.0.1"}, ZvmonMode::Monitor, "", 0, 0, {}, "--host 240.0.0.1 is not an address a program "
                                                                   "sends from: it is reserved"},
        {{"--host", "223.255.255.255"}, ZvmonMode::Monitor, "223.255.255.255", 59000, 0x81, {}, ""},
        {{"--host"}, ZvmonMode::Monitor, "127.0.0.1", 59000, 0x81, {}, "--host needs a value"},
        {{"--hostname", "x"}, ZvmonMode::Monitor, "127.0.0.1", 59000, 0x81, {}, "unknown option"},
        {{"-x"}, ZvmonMode::Monitor, "127.0.0.1", 59000, 0x81, {}, "unknown option"},
        {{"hdg", "270"}, ZvmonMode::Monitor, "127.0.0.1", 59000, 0x81, {}, "unexpected argument 'hdg'"},
        {{"--list"}, ZvmonMode::Monitor, "127.0.0.1", 59000, 0x81, {}, "unknown option"},
        {{"send", "hdg", "270", "--list"}, ZvmonMode::List, "127.0.0.1", 59000, 0x81, {"hdg", "270"},
         "send --list takes no names"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& w : c.argv) shown += w + " ";
        SCOPED_TRACE(shown);
        ZvmonArgs a = parse(c.argv);
        EXPECT_EQ(a.error.rfind(c.error, 0), 0u) << a.error;
        EXPECT_EQ(a.error.empty(), c.error[0] == '\0') << a.error;
        if (!a.error.empty()) continue;
        EXPECT_EQ(a.mode, c.mode);
        EXPECT_EQ(a.host, c.host);
        EXPECT_EQ(a.port, c.port);
        EXPECT_EQ(a.type_code, c.type);
        EXPECT_EQ(std::vector<std::string>(a.words.begin(), a.words.end()), c.words);
    }
}

TEST(MonitorSend, PutsEveryCommandInOnePacketInTheOrderGiven)
{
    zvmp_node_type = 0x81000000;
    std::vector<std::string> words = {"hdg", "270", "com1", "118.10", "xpdr", "7000", "vs", "-1500", "hdg-hold", "on"};
    ZvmonCommands c = zvmon_build_commands(views(words));
    ASSERT_TRUE(c.error.empty()) << c.error;
    ASSERT_TRUE(c.pkt);
    EXPECT_EQ(c.pkt->node_type, 0x81060000u);
    EXPECT_EQ(c.pkt->length, 24u + 5 * 8);
    EXPECT_EQ(c.pkt->msg_count, 5u);
    const unsigned char* m = c.pkt->messages;
    float f;
    EXPECT_EQ(word_at(m), zvmsg::MCP_HEADING);
    std::memcpy(&f, m + 4, 4);
    EXPECT_EQ(f, 270.0f);
    EXPECT_EQ(word_at(m + 8), zvmsg::COM1_ACTIVE);
    EXPECT_EQ(word_at(m + 12), 11810u);
    EXPECT_EQ(word_at(m + 16), zvmsg::XPDR_CODE);
    EXPECT_EQ(word_at(m + 20), 7000u);
    EXPECT_EQ(word_at(m + 24), zvmsg::MCP_VERTICAL_SPEED);
    std::memcpy(&f, m + 28, 4);
    EXPECT_EQ(f, -1500.0f);
    EXPECT_EQ(word_at(m + 32), zvmsg::HDG_STATUS);
    EXPECT_EQ(word_at(m + 36), 1u);
    EXPECT_EQ(c.summary, "hdg=270 com1=118.10 xpdr=7000 vs=-1500 hdg-hold=1");
}

TEST(MonitorSend, RefusesBadWordsWithOneLine)
{
    struct Case {
        std::vector<std::string> words;
        const char* error;
    };
    std::vector<std::string> too_many;
    for (int i = 0; i < 200; ++i) too_many.insert(too_many.end(), {"hdg", "90"});
    const Case cases[] = {
        {{}, "send needs NAME VALUE pairs"},
        {{"heading", "270"}, "unknown name 'heading'"},
        {{"hdg"}, "hdg needs a value"},
        {{"hdg", "270", "alt"}, "alt needs a value"},
        {{"hdg", "east"}, "hdg: 'east' is not a number"},
        {{"com1", "140.00"}, "com1: '140.00' is out of range"},
        {{"lat", "47"}, "lat: the program shows this value but takes none"},
        {{"radios", "1"}, "radios: the program shows this value but takes none"},
        {too_many, "too many commands for one packet"},
    };
    for (const Case& c : cases) {
        ZvmonCommands r = zvmon_build_commands(views(c.words));
        EXPECT_EQ(r.error.rfind(c.error, 0), 0u) << r.error;
        EXPECT_EQ(r.error.find('\n'), std::string::npos);
        EXPECT_FALSE(r.pkt);
    }
}

TEST(MonitorSend, ListsEverySettableNameWithItsIdentifierAndUnit)
{
    std::string list = zvmon_send_list();
    for (const ZvmonEntry& e : zvmon_catalogue()) {
        char id[16];
        std::snprintf(id, sizeof id, "0x%08x", e.id);
        std::string line_start = e.name;
        line_start.resize(14, ' ');
        bool listed = list.find("\n" + line_start + id) != std::string::npos;
        EXPECT_EQ(listed, e.input != ZvmonInput::None) << e.name;
        if (listed) {
            EXPECT_NE(list.find(e.takes), std::string::npos) << e.name;
        }
    }
}
