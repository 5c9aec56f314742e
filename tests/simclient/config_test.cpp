// SimConnect.cfg: the section of the ConfigIndex, its keys, every way a file cannot serve (in
// the one line that says so), and where the file is looked for.
#include <arpa/inet.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "simclient/config.h"

namespace {

struct Row {
    const char* text;
    unsigned index;
    ZvcliConfigFound found;
    const char* address;  // GOOD: the address and port
    unsigned port;
    const char* problem;  // BAD: the line
};

const char* const S0 = "SimConnect.cfg, section [SimConnect.0]";

TEST(SimConnectCfg, ReadsTheSectionOfTheConfigIndexOrSaysInOneLineWhyItCannot)
{
    const Row rows[] = {
        {"[SimConnect.0]\nProtocol=IPv4\nAddress=192.168.1.10\nPort=500\n", 0, ZVCLI_CONFIG_GOOD, "192.168.1.10", 500, ""},
        // Keys and sections without regard to case, blanks around them, CR LF lines, comments,
        // keys the program has no use for, no line break at the end.
        {"; the simulator\r\n# computer\r\n[simconnect.0]\r\n protocol = ipv4 \r\nMaxReceiveSize=41088\r\n"
         "ADDRESS=10.0.0.2\r\nport=65535",
         0, ZVCLI_CONFIG_GOOD, "10.0.0.2", 65535, ""},
        // The section of the index asked for, not the first.
        {"[SimConnect.0]\nProtocol=IPv4\nAddress=10.0.0.1\nPort=1\n[SimConnect.1]\nProtocol=IPv4\nAddress=10.0.0.9\nPort=501\n",
         1, ZVCLI_CONFIG_GOOD, "10.0.0.9", 501, ""},
        // A plain [SimConnect] serves index 0, unless a [SimConnect.0] is there too.
        {"[SimConnect]\nProtocol=IPv4\nAddress=10.0.0.3\nPort=502\n", 0, ZVCLI_CONFIG_GOOD, "10.0.0.3", 502, ""},
        {"[SimConnect]\nProtocol=IPv4\nAddress=10.0.0.3\nPort=502\n[SimConnect.0]\nProtocol=IPv4\nAddress=10.0.0.4\nPort=503\n",
         0, ZVCLI_CONFIG_GOOD, "10.0.0.4", 503, ""},
        {"[SimConnect]\nProtocol=IPv4\nAddress=10.0.0.3\nPort=502\n", 1, ZVCLI_CONFIG_BAD, "", 0,
         "SimConnect.cfg, section [SimConnect.1] is missing"},
        {"", 0, ZVCLI_CONFIG_BAD, "", 0, "SimConnect.cfg, section [SimConnect.0] is missing"},
        {"[SimConnect.0]\nAddress=10.0.0.1\nPort=500\n", 0, ZVCLI_CONFIG_BAD, "", 0, ": Protocol is missing"},
        {"[SimConnect.0]\nProtocol=IPv6\nAddress=::1\nPort=500\n", 0, ZVCLI_CONFIG_BAD, "", 0,
         ": Protocol IPv6 is not supported (only IPv4)"},
        {"[SimConnect.0]\nProtocol=Pipe\nPort=Custom/SimConnect\n", 0, ZVCLI_CONFIG_BAD, "", 0,
         ": Protocol Pipe is not supported (only IPv4)"},
        {"[SimConnect.0]\nProtocol=IPv4\nPort=500\n", 0, ZVCLI_CONFIG_BAD, "", 0, ": Address is missing"},
        {"[SimConnect.0]\nProtocol=IPv4\nAddress=\nPort=500\n", 0, ZVCLI_CONFIG_BAD, "", 0,
         ": Address is empty (the simulator computer's IPv4 address)"},
        {"[SimConnect.0]\nProtocol=IPv4\nAddress=simpc.local\nPort=500\n", 0, ZVCLI_CONFIG_BAD, "", 0,
         ": Address simpc.local is not a numeric IPv4 address"},
        {"[SimConnect.0]\nProtocol=IPv4\nAddress=10.0.0.01\nPort=500\n", 0, ZVCLI_CONFIG_BAD, "", 0,
         ": Address 10.0.0.01 is not a numeric IPv4 address"},
        {"[SimConnect.0]\nProtocol=IPv4\nAddress=10.0.0.1 500\nPort=500\n", 0, ZVCLI_CONFIG_BAD, "", 0,
         ": Address 10.0.0.1 500 is not a numeric IPv4 address"},
        {"[SimConnect.0]\nProtocol=IPv4\nAddress=10.0.0.1\n", 0, ZVCLI_CONFIG_BAD, "", 0, ": Port is missing"},
        {"[SimConnect.0]\nProtocol=IPv4\nAddress=10.0.0.1\nPort=0\n", 0, ZVCLI_CONFIG_BAD, "", 0,
         ": Port 0 is not a number from 1 to 65535"},
        {"[SimConnect.0]\nProtocol=IPv4\nAddress=10.0.0.1\nPort=65536\n", 0, ZVCLI_CONFIG_BAD, "", 0,
         ": Port 65536 is not a number from 1 to 65535"},
        {"[SimConnect.0]\nProtocol=IPv4\nAddress=10.0.0.1\nPort=-1\n", 0, ZVCLI_CONFIG_BAD, "", 0,
         ": Port -1 is not a number from 1 to 65535"},
        {"[SimConnect.0]\nProtocol=IPv4\nAddress=10.0.0.1\nPort=99999999999999999999\n", 0, ZVCLI_CONFIG_BAD, "", 0,
         ": Port 99999999999999999999 is not a number from 1 to 65535"},
        // What the file holds is made safe to print, and cut.
        {"[SimConnect.0]\nProtocol=\x1b[2J\nAddress=10.0.0.1\nPort=500\n", 0, ZVCLI_CONFIG_BAD, "", 0,
         ": Protocol ?[2J is not supported (only IPv4)"},
        {"[SimConnect.0]\nProtocol=IPv4\nAddress=1234567890123456789012345678901234567890XYZ\nPort=500\n", 0,
         ZVCLI_CONFIG_BAD, "", 0, ": Address 1234567890123456789012345678901234567890 is not a numeric IPv4 address"},
        {"[SimConnect.0]\nProtocol IPv4\n", 0, ZVCLI_CONFIG_BAD, "", 0,
         "SimConnect.cfg: line 2 is neither a [section] nor a Key=Value line"},
        {"Protocol=IPv4\n[SimConnect.0]\n", 0, ZVCLI_CONFIG_BAD, "", 0,
         "SimConnect.cfg: line 1 is neither a [section] nor a Key=Value line"},
        {"[SimConnect.0\nProtocol=IPv4\n", 0, ZVCLI_CONFIG_BAD, "", 0,
         "SimConnect.cfg: line 1 is neither a [section] nor a Key=Value line"},
        {"[SimConnect.0]\n=IPv4\n", 0, ZVCLI_CONFIG_BAD, "", 0,
         "SimConnect.cfg: line 2 is neither a [section] nor a Key=Value line"},
    };
    for (const Row& row : rows) {
        ZvcliConfig config;
        ZvcliConfigFound found = zvcli_config_parse(row.text, "SimConnect.cfg", row.index, config);
        EXPECT_EQ(found, row.found) << row.text;
        EXPECT_EQ(config.index, row.index);
        if (row.found == ZVCLI_CONFIG_GOOD) {
            char text[16];
            EXPECT_STREQ(inet_ntop(AF_INET, &config.address, text, sizeof text), row.address) << row.text;
            EXPECT_EQ(config.port, row.port) << row.text;
        } else {
            std::string expected = row.problem[0] == ':' ? S0 + std::string(row.problem) : row.problem;
            EXPECT_EQ(config.problem, expected) << row.text;
        }
    }
}

void write(const std::filesystem::path& file, const std::string& text) { std::ofstream(file) << text; }

// The working directory first, then beside the program; the first file found is the one read,
// even when it cannot serve.
TEST(SimConnectCfg, IsLookedForInTheWorkingDirectoryThenBesideTheProgram)
{
    char pattern[] = "/tmp/simconnect-cfg-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path top = pattern, work = top / "work", program = top / "bin";
    std::filesystem::create_directories(work);
    std::filesystem::create_directories(program);
    ASSERT_EQ(chdir(work.c_str()), 0);
    const std::string good = "[SimConnect.0]\nProtocol=IPv4\nAddress=10.0.0.1\nPort=500\n";

    ZvcliConfig config;
    EXPECT_EQ(zvcli_config_find(0, program.string(), config), ZVCLI_CONFIG_NONE);
    EXPECT_EQ(zvcli_config_find(0, "", config), ZVCLI_CONFIG_NONE);

    write(program / "SimConnect.cfg", good);
    EXPECT_EQ(zvcli_config_find(0, program.string(), config), ZVCLI_CONFIG_GOOD);
    EXPECT_EQ(config.file, (program / "SimConnect.cfg").string());
    EXPECT_EQ(zvcli_config_find(1, program.string(), config), ZVCLI_CONFIG_BAD);
    EXPECT_EQ(config.problem, (program / "SimConnect.cfg").string() + ", section [SimConnect.1] is missing");

    write(work / "SimConnect.cfg", "[SimConnect.0]\nProtocol=IPv4\nAddress=\nPort=500\n");
    EXPECT_EQ(zvcli_config_find(0, program.string(), config), ZVCLI_CONFIG_BAD);
    EXPECT_EQ(config.file, "SimConnect.cfg");

    std::filesystem::remove(work / "SimConnect.cfg");
    std::filesystem::create_directory(work / "SimConnect.cfg");
    EXPECT_EQ(zvcli_config_find(0, program.string(), config), ZVCLI_CONFIG_BAD);
    EXPECT_EQ(config.problem, "SimConnect.cfg cannot be read (Is a directory)");

    ASSERT_EQ(chdir("/"), 0);
    std::filesystem::remove_all(top);
}

}  // namespace
