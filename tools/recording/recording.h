// zvmp-recording: what a recording holds, for people and spreadsheets. `info` summarises it
// (duration, the programs and simulator involved, counts, gaps in the data, how it ended); `csv`
// writes one row per data block with the time and the variables of the recording's definition.
// Both read a damaged recording as far as it is intact and then say where it breaks off.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Exit statuses: a recording read whole, one that is damaged or unreadable, a wrong command line.
inline constexpr int ZVRTOOL_OK = 0;
inline constexpr int ZVRTOOL_DAMAGED = 1;
inline constexpr int ZVRTOOL_USAGE = 2;

// Gaps between data blocks longer than this are listed by `info`.
inline constexpr double ZVRTOOL_GAP_S = 1.0;

int zvrtool_info(const char* path, std::FILE* out, std::FILE* err);
// `names` empty: every variable. `every`: one block in this many (1 or more).
int zvrtool_csv(const char* path, const std::vector<std::string>& names, unsigned long every, std::FILE* out,
                std::FILE* err);
int zvrtool_main(int argc, char** argv);
