// Which simulator a SimConnect_Open reaches over the network, as the simulator's own library
// decides it: the first SimConnect.cfg found, in the working directory and then beside the
// program, and in it the section of the open's ConfigIndex, [SimConnect.N] (a plain
// [SimConnect] serves index 0 when there is no [SimConnect.0]), with its Protocol (IPv4 only),
// Address (numeric IPv4) and Port.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr const char* ZVCLI_CONFIG_NAME = "SimConnect.cfg";

enum ZvcliConfigFound {
    ZVCLI_CONFIG_NONE,  // no SimConnect.cfg: the built-in simulator
    ZVCLI_CONFIG_GOOD,  // a server to connect to
    ZVCLI_CONFIG_BAD,   // a file that cannot serve: `problem` says why
};

struct ZvcliConfig {
    std::string file;      // the file as it was found ("SimConnect.cfg", or its path beside the program)
    unsigned index = 0;    // the section's ConfigIndex
    std::uint32_t address = 0;  // network order
    unsigned port = 0;
    // For ZVCLI_CONFIG_BAD: the one line that says so, naming the file, the section and what is
    // wrong.
    std::string problem;
};

// The section for `index` read from `text`, the contents of `file`.
ZvcliConfigFound zvcli_config_parse(std::string_view text, const std::string& file, unsigned index, ZvcliConfig& out);
// Looks for the file in the working directory, then in `program_folder` (none when empty), and
// reads the first found.
ZvcliConfigFound zvcli_config_find(unsigned index, const std::string& program_folder, ZvcliConfig& out);
