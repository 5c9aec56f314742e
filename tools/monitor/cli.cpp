// zvmp-monitor's command line (see cli.h).
#include "tools/monitor/cli.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>

#include "platform/net.h"
#include "tools/monitor/send.h"
#include "tools/monitor/view.h"

namespace {

constexpr const char* USAGE =
    "usage: zvmp-monitor [--host ADDR] [--port N] [--type 81|84]\n"
    "       zvmp-monitor [options] send NAME VALUE [NAME VALUE ...]\n"
    "       zvmp-monitor send --list\n"
    "\n"
    "Shows what the Pyx plugin at ADDR:N (default 127.0.0.1:59000) publishes, as a panel of\n"
    "type 81 (full data, the default) or 84 (position data); or sends it commands by name.\n"
    "Command values are in the units a pilot uses: NAV and COM in MHz (com1 118.10), ADF in kHz\n"
    "(adf1 350, carried as 35000 hundredths of a kHz), altitude in feet; send --list gives each.\n";

bool parse_port(std::string_view text, unsigned int& port)
{
    unsigned int v = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || ptr != text.data() + text.size() || v == 0 || v > 0xFFFF) return false;
    port = v;
    return true;
}

bool parse_type(std::string_view text, unsigned int& type_code)
{
    if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
    if (text != "81" && text != "84") return false;
    type_code = (text == "81" ? ZVMP_NODE_FULL_PANEL : ZVMP_NODE_POSITION_PANEL) >> 24;
    return true;
}

// Why no program can send from `addr` (network byte order), or null when one can. Replies to
// a panel come from the program's own address, so a panel made for any of these hears nothing.
const char* unusable_host(std::uint32_t addr)
{
    std::uint32_t a = ntohl(addr);
    if (a == 0) return "it stands for any address";
    if (a >> 24 == 0) return "it is in 0.0.0.0/8, which names no host";
    if (a >> 28 == 0xE) return "it is a multicast group";
    if (a == 0xFFFFFFFF) return "it is the broadcast address";
    if (a >> 28 == 0xF) return "it is reserved";
    return nullptr;
}

// Applies one option with its value; false with `error` set when either is not usable.
bool apply_option(ZvmonArgs& a, std::string_view name, std::string_view value)
{
    if (name == "--host") {
        std::string text(value);
        std::uint32_t addr = plat_inet_addr(text.c_str());
        // Four parts: inet_addr would also read "10.0.0" as 10.0.0.0.
        if ((addr == INADDR_NONE && text != "255.255.255.255") || std::count(text.begin(), text.end(), '.') != 3) {
            a.error = "--host takes a numeric IPv4 address, not '" + text + "'";
            return false;
        }
        if (const char* why = unusable_host(addr)) {
            a.error = "--host " + text + " is not an address a program sends from: " + why +
                      " (give the program's own address, such as 127.0.0.1)";
            return false;
        }
        a.host = value;
    } else if (name == "--port") {
        if (!parse_port(value, a.port)) {
            a.error = "--port takes a port number from 1 to 65535, not '" + std::string(value) + "'";
            return false;
        }
    } else if (!parse_type(value, a.type_code)) {
        a.error = "--type takes 81 or 84, not '" + std::string(value) + "'";
        return false;
    }
    return true;
}

}  // namespace

ZvmonArgs zvmon_parse_args(int argc, char** argv)
{
    ZvmonArgs a;
    for (int i = 1; i < argc && a.error.empty(); ++i) {
        std::string_view arg = argv[i];
        // A value may start with '-'; only where a name is due is a word an option.
        if (a.words.size() % 2 == 1) {
            a.words.push_back(arg);
        } else if (arg == "send" && a.mode == ZvmonMode::Monitor) {
            a.mode = ZvmonMode::Send;
        } else if (arg == "--help" || arg == "-h") {
            a.mode = ZvmonMode::Help;
            return a;
        } else if (arg == "--list" && a.mode == ZvmonMode::Send) {
            a.mode = ZvmonMode::List;
        } else if (arg.starts_with("--host") || arg.starts_with("--port") || arg.starts_with("--type")) {
            std::string_view name = arg.substr(0, 6);
            std::string_view rest = arg.substr(6);
            if (!rest.empty() && rest[0] != '=') {
                a.error = "unknown option '" + std::string(arg) + "'";
            } else if (!rest.empty()) {
                apply_option(a, name, rest.substr(1));
            } else if (i + 1 == argc) {
                a.error = std::string(name) + " needs a value";
            } else {
                apply_option(a, name, argv[++i]);
            }
        } else if (arg.starts_with("-")) {
            a.error = "unknown option '" + std::string(arg) + "'";
        } else if (a.mode == ZvmonMode::Send) {
            a.words.push_back(arg);
        } else {
            a.error = "unexpected argument '" + std::string(arg) + "' (see zvmp-monitor --help)";
        }
    }
    if (a.error.empty() && a.mode == ZvmonMode::List && !a.words.empty())
        a.error = "send --list takes no names";
    return a;
}

int zvmon_main(int argc, char** argv)
{
    ZvmonArgs a = zvmon_parse_args(argc, argv);
    if (!a.error.empty()) {
        std::fprintf(stderr, "zvmp-monitor: %s\n", a.error.c_str());
        return 2;
    }
    ZvmonTargetOptions target{a.host.c_str(), a.port, a.type_code};
    switch (a.mode) {
    case ZvmonMode::Help: std::fputs(USAGE, stdout); return 0;
    case ZvmonMode::List: std::fputs(zvmon_send_list().c_str(), stdout); return 0;
    case ZvmonMode::Send: return zvmon_run_send(target, a.words);
    case ZvmonMode::Monitor: break;
    }
    return zvmon_run_monitor(target);
}
