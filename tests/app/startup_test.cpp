// Start-up: the command line's effect on the program state and the exact console text.
#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/getopt.h"
#include "app/panel_commands.h"
#include "app/pyxplugin.h"
#include "cpflight/cpflight.h"
#include "net/zvmpallow.h"
#include "net/zvmpnet.h"
#include "tests/support/simconnect_double.h"

namespace {

std::string run_main(std::vector<std::string> words)
{
    words.insert(words.begin(), "pyxplugin");
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    int rc = zvscpl_main(static_cast<int>(words.size()), argv.data());
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 0);
    return out;
}

const std::string kHeader =
    "Zorvan FS2020 Pyx Plugin 1.0.1\n"
    "Initialising ZVMP Interface ...\n"
    "Setting ZVMP callback ...";

TEST(Startup, NoArgumentsAndNoSimulator)
{
    scd::open_result = E_FAIL;
    EXPECT_EQ(run_main({}), kHeader);
    EXPECT_EQ(verbose, 1);
    EXPECT_EQ(zvxpl_cpflight_enabled, 0);
    // The failed open is the only SimConnect call: no retry, no close.
    EXPECT_EQ(scd::calls, std::vector<std::string>{"Open"});
}

TEST(Startup, RepresentativeCommandLineText)
{
    scd::open_result = E_FAIL;
    EXPECT_EQ(run_main({"-i", "192.168.1.20", "-c", "3", "-v"}),
              kHeader + "\nAdding static peer 192.168.1.20 ...\nConfiguring CPFlight MCP on COM3 ...");
    EXPECT_STREQ(zvpyxcpf_serial_port, "COM3");
    EXPECT_EQ(zvxpl_cpflight_enabled, 1);
    EXPECT_EQ(verbose, 2);
}

TEST(Startup, ConnectedMessageFollowsStartup)
{
    scd::queue_quit();
    EXPECT_EQ(run_main({}), kHeader + "\nConnected to Flight Simulator!\n");
    ASSERT_EQ(scd::opens.size(), 1u);
    EXPECT_EQ(scd::opens[0].name, "Zorvan FS2020 Pyx Plugin");
}

TEST(Startup, StaticPeerArgumentsThatAreNotAddressesAreIgnoredSilently)
{
    scd::open_result = E_FAIL;
    // A part with a leading zero is octal or hexadecimal to inet_addr, decimal to -a and -m: refused.
    EXPECT_EQ(run_main({"-i", "", "-i", "255.255.255.255", "-i", "localhost", "-i", "1.2.3.4.5", "-i", "010.0.0.9",
                        "-i", "10.0.0.09", "-i", "0x7f.1", "-i", "127.00"}),
              kHeader);
}

TEST(Startup, StaticPeerMessageShowsTheArgumentAsTyped)
{
    scd::open_result = E_FAIL;
    EXPECT_EQ(run_main({"-i", "127.1"}), kHeader + "\nAdding static peer 127.1 ...");
}

struct Entry {
    std::string addr;
    unsigned int port;
    unsigned int node_type;
    bool permanent;
    bool operator==(const Entry&) const = default;
};

std::vector<Entry> entries(const zvmp_net_tgt_list_s* e)
{
    std::vector<Entry> out;
    for (; e != nullptr; e = e->next)
        out.push_back({plat_inet_ntoa(e->sa.sin_addr.s_addr), ntohs(e->sa.sin_port), e->node_type,
                       (e->flags & ZVMP_TGT_PERMANENT) != 0});
    return out;
}

TEST(Startup, OpensTheNetworkAndRegistersTargetsAndStaticPeers)
{
    scd::open_result = E_FAIL;
    run_main({"-i", "127.1", "-i", "010.0.0.9", "-i", "bad", "-i", "0.0.0.9"});
    EXPECT_TRUE(zvmp_network_is_open());
    EXPECT_EQ(zvmp_node_type, 0x13000000u);
    EXPECT_EQ(entries(zvmp_net_mcast_list), (std::vector<Entry>{{"239.224.224.1", 2424, 0x80060000, true},
                                                                {"239.224.224.1", 2425, 0x80060000, true},
                                                                {"239.224.224.1", 2426, 0x80060000, true}}));
    // Canonical dotted form; "010.0.0.9" (octal 8.0.0.9 to inet_addr) is refused. Static peers
    // never expire.
    EXPECT_EQ(entries(zvmp_net_peer_list), (std::vector<Entry>{{"127.0.0.1", 2424, 0x81060000, true},
                                                               {"127.0.0.1", 2426, 0x84060000, true},
                                                               {"0.0.0.9", 2424, 0x81060000, true},
                                                               {"0.0.0.9", 2426, 0x84060000, true}}));
    EXPECT_EQ(zvmp_net_message_received_callback, &zvscpl_zvmp_message_callback);
}

TEST(Startup, VerbosityAndPortOptions)
{
    struct Case {
        std::vector<std::string> words;
        int verbose;
        const char* port;  // null: no CPFlight unit
        DWORD config_index = 0;
        std::optional<std::string> printed = std::nullopt;  // after the header, where it matters
    };
    const std::string bad_n = "\nIgnoring -n ", bad_n_end = ": not a number from 0 to 4294967295";
    const std::vector<Case> cases = {
        {{"-vs"}, 1, nullptr},
        {{"-s"}, 0, nullptr},
        {{"-s", "-s"}, -1, nullptr},
        {{"-vv"}, 3, nullptr},
        {{"-c", "-v"}, 1, "COM-v"},
        {{"-c"}, 1, nullptr},
        {{"-c", "4", "-c", "12"}, 1, "COM12"},
        {{"-c7"}, 1, "COM7"},
        {{"file", "-v"}, 1, nullptr},
        {{"--", "-v"}, 1, nullptr},
        {{"-x", "-v"}, 2, nullptr},
        {{"-n", "1"}, 1, nullptr, 1, ""},
        {{"-n4294967295"}, 1, nullptr, 4294967295u, ""},
        {{"-n", "4294967296"}, 1, nullptr, 0, bad_n + "4294967296" + bad_n_end},
        {{"-n", "2", "-n", "x"}, 1, nullptr, 0, bad_n + "x" + bad_n_end},
        {{"-s", "-n", "-1"}, 0, nullptr, 0, bad_n + "-1" + bad_n_end},
        {{"-n", "0x10"}, 1, nullptr, 0, bad_n + "0x10" + bad_n_end},
        {{"-n", ""}, 1, nullptr, 0, bad_n + bad_n_end},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const auto& w : c.words) joined += w + " ";
        SCOPED_TRACE(joined);
        // Each case is a fresh start of the program's option state.
        verbose = 1;
        zvxpl_cpflight_enabled = 0;
        zvpyxcpf_serial_port[0] = '\0';
        zvopt::optind = 1;
        zvopt::optreset = 1;
        zvscpl_state.config_index = 0;
        scd::open_result = E_FAIL;
        std::string printed = run_main(c.words);
        EXPECT_EQ(verbose, c.verbose);
        ASSERT_FALSE(scd::opens.empty());
        EXPECT_EQ(scd::opens.back().config_index, c.config_index);
        if (c.printed) {
            EXPECT_EQ(printed, kHeader + *c.printed);
        }
        if (c.port) {
            EXPECT_EQ(zvxpl_cpflight_enabled, 1);
            EXPECT_STREQ(zvpyxcpf_serial_port, c.port);
        } else {
            EXPECT_EQ(zvxpl_cpflight_enabled, 0);
        }
    }
}

std::vector<std::string> networks()
{
    std::vector<std::string> out;
    for (const ZvmpNetwork& n : zvmp_allow_state.networks)
        out.push_back(std::string(plat_inet_ntoa(n.addr)) + "/" + std::to_string(std::popcount(n.mask)));
    return out;
}

TEST(Startup, NetworkOptions)
{
    const std::string bad_p = "\nIgnoring -p ", bad_p_end = ": not a number from 1 to 65535";
    const std::string bad_a = "\nIgnoring -a ", bad_a_end = ": not a network such as 192.168.1.0/24";
    const std::string none = "\nNo valid -a network: only static peers (-i) may reach this program";
    struct Case {
        std::vector<std::string> words;
        std::string printed;
        unsigned int cap;
        std::vector<std::string> networks;
        const char* interface;  // null: the default
    };
    const std::vector<Case> cases = {
        {{"-p", "1000"}, "", 1000, {}, nullptr},
        {{"-p65535"}, "", 65535, {}, nullptr},
        {{"-p", "0"}, bad_p + "0" + bad_p_end, 256, {}, nullptr},
        {{"-p", "65536"}, bad_p + "65536" + bad_p_end, 256, {}, nullptr},
        {{"-s", "-p", "12x"}, bad_p + "12x" + bad_p_end, 256, {}, nullptr},  // at every verbosity
        {{"-a", "192.168.1.77/24", "-a", "10.0.0.7"}, "", 256, {"192.168.1.0/24", "10.0.0.7/32"}, nullptr},
        {{"-a", "10.0.0.0/33"}, bad_a + "10.0.0.0/33" + bad_a_end + none, 256, {}, nullptr},
        {{"-a", "10.0.0", "-a", "10.0.0.0/8"}, bad_a + "10.0.0" + bad_a_end, 256, {"10.0.0.0/8"}, nullptr},
        // Leading zeros, read as octal elsewhere, are refused.
        {{"-a", "010.0.0.0/8", "-a", "10.0.0.0/08", "-a", "0.0.0.0/0"},
         bad_a + "010.0.0.0/8" + bad_a_end + bad_a + "10.0.0.0/08" + bad_a_end, 256, {"0.0.0.0/0"}, nullptr},
        {{"-m", "127.0.0.01"}, "\nIgnoring -m 127.0.0.01: not an IPv4 address", 256, {}, nullptr},
        {{"-m", "127.0.0.1"}, "", 256, {}, "127.0.0.1"},
        {{"-m", "127.1"}, "\nIgnoring -m 127.1: not an IPv4 address", 256, {}, nullptr},
        {{"-m", "10.9.9.9"},
         "\nMulticast interface 10.9.9.9 is not an address of this computer, using the default",
         256,
         {},
         "10.9.9.9"},
        // No bad value stops the program.
        {{"-p", "x", "-a", "y", "-c", "3"},
         bad_p + "x" + bad_p_end + bad_a + "y" + bad_a_end + none + "\nConfiguring CPFlight MCP on COM3 ...",
         256,
         {},
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words[0] + " " + c.words.back());
        // Each case is a fresh start of the program's option and network settings.
        zvopt::optind = 1;
        zvopt::optreset = 1;
        zvmp_net_state.peers.cap = ZVMP_DEFAULT_PEER_CAP;
        zvmp_allow_state = ZvmpAllowState{};
        zvmp_net_state.mcast_if = ZvmpMulticastInterface{};
        scd::open_result = E_FAIL;
        EXPECT_EQ(run_main(c.words), kHeader + c.printed);
        EXPECT_EQ(zvmp_net_state.peers.cap, c.cap);
        EXPECT_EQ(networks(), c.networks);
        bool restricted = std::find(c.words.begin(), c.words.end(), "-a") != c.words.end();
        EXPECT_EQ(zvmp_allow_state.restricted, restricted);
        EXPECT_STREQ(zvmp_net_state.mcast_if.text, c.interface ? c.interface : "");
    }
}

TEST(Startup, LongestSerialPortFits)
{
    scd::open_result = E_FAIL;
    std::string longest(252, '9');

    std::string out = run_main({"-c", longest});
    EXPECT_EQ(zvxpl_cpflight_enabled, 1);
    EXPECT_EQ(std::string(zvpyxcpf_serial_port), "COM" + longest);
    EXPECT_EQ(out, kHeader + "\nConfiguring CPFlight MCP on COM" + longest + " ...");
}

TEST(Startup, OverlongSerialPortDisablesTheUnit)
{
    scd::open_result = E_FAIL;
    std::string too_long(253, '9');
    std::string out = run_main({"-c", "3", "-c", too_long});
    EXPECT_EQ(zvxpl_cpflight_enabled, 0);
    EXPECT_EQ(out, kHeader +
                       "\nCPFlight serial port name too long (at most 252 characters), CPFlight MCP disabled");
    EXPECT_EQ(std::strlen(zvpyxcpf_serial_port), 0u);
}

}  // namespace
