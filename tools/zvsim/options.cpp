// zvsim's command line (see options.h).
#include "tools/zvsim/options.h"

#include <cstring>

const char ZVSRV_USAGE[] =
    "usage: zvsim [--listen ADDRESS] [--port N] [-v]\n"
    "Serves the built-in simulator's world, or the recording that ZVSIM_REPLAY names, to SimConnect\n"
    "clients over the simulator's own TCP protocol.\n"
    "  --listen ADDRESS  the local IPv4 address to listen on (default 127.0.0.1; 0.0.0.0: every card)\n"
    "  --port N          the TCP port, 1 to 65535 (default 500, the simulator's own; below 1024 needs root)\n"
    "  -v                a line for every connection and disconnection\n"
    "  --help            this text\n";

ZvsrvParse zvsrv_parse_options(int argc, const char* const* argv, ZvsrvOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        bool valued = std::strcmp(word, "--listen") == 0 || std::strcmp(word, "--port") == 0;
        if (valued && i + 1 >= argc) {
            error = std::string(word) + " needs a value";
            return ZvsrvParse::Bad;
        }
        if (std::strcmp(word, "--help") == 0) return ZvsrvParse::Help;
        if (std::strcmp(word, "-v") == 0) {
            ++options.verbose;
        } else if (std::strcmp(word, "--listen") == 0) {
            const char* value = argv[++i];
            const char* p = value;
            std::uint32_t address;
            if (!plat_parse_address(p, address) || *p != '\0') {
                error = std::string("--listen ") + value + ": not an IPv4 address such as 127.0.0.1";
                return ZvsrvParse::Bad;
            }
            options.address = address;
        } else if (std::strcmp(word, "--port") == 0) {
            const char* value = argv[++i];
            unsigned long port = 0;
            const char* p = value;
            for (; *p >= '0' && *p <= '9' && port <= 65535; ++p) port = port * 10 + static_cast<unsigned long>(*p - '0');
            if (p == value || *p != '\0' || port == 0 || port > 65535) {
                error = std::string("--port ") + value + ": not a port from 1 to 65535";
                return ZvsrvParse::Bad;
            }
            options.port = static_cast<unsigned int>(port);
        } else {
            error = std::string("unknown option ") + word;
            return ZvsrvParse::Bad;
        }
    }
    return ZvsrvParse::Run;
}
