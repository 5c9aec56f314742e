// The program's own option parser: the classic single-letter getopt with its module-level
// state. Kept in its own namespace so it never meets the C library's parser of the same name.
#pragma once

namespace zvopt {

// The parser's state, as at process start. The classic names below refer into it.
struct State {
    char* optarg = nullptr;   // argument of the option just returned, or null
    int optind = 1;           // index of the next word to scan
    int opterr = 1;           // non-zero: print messages for bad options
    int optopt = 0;           // option letter last examined
    int optreset = 0;         // non-zero: restart scanning at optind
    const char* place = "";   // scan position inside the current word
};
extern State state;

extern char*& optarg;
extern int& optind;
extern int& opterr;
extern int& optopt;
extern int& optreset;

// Returns the option letter, '?' for an unknown letter or a missing argument (':' for the
// latter when optstring begins with ':'), or -1 when scanning ends.
int getopt(int argc, char* const argv[], const char* optstring);

}  // namespace zvopt
