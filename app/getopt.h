// The program's own option parser: the classic single-letter getopt with its module-level
// state. Kept in its own namespace so it never meets the C library's parser of the same name.
#pragma once

namespace zvopt {

extern char* optarg;   // argument of the option just returned, or null
extern int optind;     // index of the next word to scan
extern int opterr;     // non-zero: print messages for bad options
extern int optopt;     // option letter last examined
extern int optreset;   // non-zero: restart scanning at optind

// Returns the option letter, '?' for an unknown letter or a missing argument (':' for the
// latter when optstring begins with ':'), or -1 when scanning ends.
int getopt(int argc, char* const argv[], const char* optstring);

}  // namespace zvopt
