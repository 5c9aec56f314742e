// zvsim's command line: zvsim [--listen ADDRESS] [--port N] [-v] (and --help).
#pragma once

#include <string>

#include "tools/zvsim/server.h"

enum class ZvsrvParse { Run, Help, Bad };

// Reads the words after the program's name into `options`; Bad with the reason in `error`.
ZvsrvParse zvsrv_parse_options(int argc, const char* const* argv, ZvsrvOptions& options, std::string& error);

extern const char ZVSRV_USAGE[];
