// The copies of the message catalogue in other languages, generated from protocol/catalogue.h.
// Each copy is a block between two marker lines inside a committed file, so that the file's own
// code around it stays hand-written. No state.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

struct ZvcatFormat {
    const char* option;  // on the command line, e.g. "--lua"
    const char* begin;   // the marker line that opens the block, without its newline
    const char* end;     // the marker line that closes it
    std::string (*render)();  // the lines between the markers, each ending in a newline
};

std::span<const ZvcatFormat> zvcat_formats();
const ZvcatFormat* zvcat_format_by_option(std::string_view option);

// `text` with the block of `format` replaced by a freshly rendered one; nothing when `text` does
// not hold both markers, in order, each on a line of its own.
std::optional<std::string> zvcat_splice(std::string_view text, const ZvcatFormat& format);

// The command line: `--lua` prints the block; `--lua FILE` rewrites the block inside FILE;
// `--check --lua FILE` only tells whether FILE holds the block as it would be written. Returns
// the exit code: 0 done (or up to date), 1 FILE differs, 2 bad use or FILE unreadable.
int zvcat_main(int argc, char** argv);
