// The command line of zvmp-monitor: options, the `send` sub-command and the usage text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "protocol/network.h"

enum class ZvmonMode { Monitor, Send, List, Help };

struct ZvmonArgs {
    ZvmonMode mode = ZvmonMode::Monitor;
    std::string host = "127.0.0.1";
    unsigned int port = ZVMP_FIRST_PORT;
    unsigned int type_code = ZVMP_NODE_FULL_PANEL >> 24;
    std::vector<std::string_view> words;  // NAME VALUE pairs of `send`
    std::string error;                    // set when the command line is not usable
};

// Options may stand anywhere but in the place of a value.
ZvmonArgs zvmon_parse_args(int argc, char** argv);
// The process: returns the exit status.
int zvmon_main(int argc, char** argv);
