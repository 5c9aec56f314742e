// zvmp-recording's command line.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/recording/recording.h"

namespace {

int usage()
{
    std::fputs("usage: zvmp-recording info FILE\n"
               "       zvmp-recording csv FILE [--every N] [NAME...]\n",
               stderr);
    return ZVRTOOL_USAGE;
}

// A whole number from 1 up, or 0.
unsigned long count_of(const char* text)
{
    if (text == nullptr || text[0] < '0' || text[0] > '9') return 0;
    char* end = nullptr;
    unsigned long n = std::strtoul(text, &end, 10);
    return *end == '\0' && n <= 1000000000UL ? n : 0;
}

}  // namespace

int zvrtool_main(int argc, char** argv)
{
    if (argc < 3) return usage();
    std::string command = argv[1];
    const char* path = argv[2];
    if (command == "info" && argc == 3) return zvrtool_info(path, stdout, stderr);
    if (command != "csv") return usage();
    std::vector<std::string> names;
    unsigned long every = 1;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--every") == 0) {
            every = i + 1 < argc ? count_of(argv[++i]) : 0;
            if (every == 0) {
                std::fputs("zvmp-recording: --every takes a whole number from 1 up\n", stderr);
                return ZVRTOOL_USAGE;
            }
        } else {
            names.emplace_back(argv[i]);
        }
    }
    return zvrtool_csv(path, names, every, stdout, stderr);
}
