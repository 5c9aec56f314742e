// The classic single-letter option parser (see getopt.h).
#include "app/getopt.h"

#include <cstdio>
#include <cstring>

namespace zvopt {

State state;
char*& optarg = state.optarg;
int& optind = state.optind;
int& opterr = state.opterr;
int& optopt = state.optopt;
int& optreset = state.optreset;

namespace {
const char* const empty_word = "";
const char*& place = state.place;
}  // namespace

int getopt(int argc, char* const argv[], const char* optstring)
{
    if (optreset || *place == '\0') {
        optreset = 0;
        if (optind >= argc || argv[optind] == nullptr || argv[optind][0] != '-') {
            place = empty_word;
            return -1;
        }
        place = argv[optind];
        if (place[1] == '\0') {  // a lone "-" ends scanning and stays unconsumed
            place = empty_word;
            return -1;
        }
        if (place[1] == '-') {  // "--" and anything after "--" end scanning, consumed
            ++optind;
            place = empty_word;
            return -1;
        }
        ++place;
    }

    optopt = static_cast<unsigned char>(*place++);
    const char* letter = (optopt == ':') ? nullptr : std::strchr(optstring, optopt);
    if (letter == nullptr) {
        // A '-' inside a group ends scanning unless '-' is itself an option letter.
        if (optopt == '-') {
            place = empty_word;
            return -1;
        }
        if (*place == '\0') ++optind;
        if (opterr && *optstring != ':') std::printf("illegal option -- %c\n", optopt);
        return '?';
    }

    if (letter[1] != ':') {
        optarg = nullptr;
        if (*place == '\0') ++optind;
        return optopt;
    }

    if (*place != '\0') {  // the rest of this word is the argument
        optarg = const_cast<char*>(place);
    } else if (argc <= ++optind) {  // nothing left to be the argument
        place = empty_word;
        if (*optstring == ':') return ':';
        if (opterr) std::printf("option requires an argument -- %c\n", optopt);
        return '?';
    } else {  // the whole next word, whatever it holds
        optarg = argv[optind];
    }
    place = empty_word;
    ++optind;
    return optopt;
}

}  // namespace zvopt
