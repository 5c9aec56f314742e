// Text from outside made safe to print: the control characters' boundaries, a NUL inside the
// text, and bytes above ASCII (UTF-8) kept as they are. Standard output for a log (-l): the
// flushes of a run as the program makes them, and what the filter makes of each.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/console.h"
#include "platform/text.h"

namespace {

TEST(PrintableText, ControlCharactersBecomeQuestionMarksAndNothingElseChanges)
{
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"", ""},
        {"KittyHawk 11.0", "KittyHawk 11.0"},
        {std::string("a\0b", 3), "a?b"},
        {"\x01\x1f\x20\x7e", "?? ~"},
        {"\x1b[2J", "?[2J"},
        {"\x7f\x80\xff", "?\x80\xff"},
        {"Caf\xc3\xa9\r\n\t", "Caf\xc3\xa9???"},
    };
    for (const Case& c : cases) EXPECT_EQ(plat_printable(c.in), c.out) << c.in;
}

// Each row is a run's flushes, one string each, and the bytes the filter writes for them.
TEST(ConsoleLineEnds, EveryFlushEndsTheLineItLeavesOpenAndTheNextLineBreakIsDropped)
{
    struct Case {
        std::vector<std::string> flushes;
        std::string written;
    };
    const Case cases[] = {
        {{}, ""},
        {{"", ""}, ""},
        // The start-up: a whole line, then progress lines that begin with their line break.
        {{"Zorvan FS2020 Pyx Plugin 1.0.1\nInitialising ZVMP Interface ...", "\nSetting ZVMP callback ...",
          "\nWaiting for Flight Simulator ..."},
         "Zorvan FS2020 Pyx Plugin 1.0.1\nInitialising ZVMP Interface ...\nSetting ZVMP callback ...\n"
         "Waiting for Flight Simulator ...\n"},
        // A line the program ends itself, then one that begins with a break: the blank line stays.
        {{"\nConnected to Flight Simulator!\n", "\nFlight Simulator closed, waiting ..."},
         "\nConnected to Flight Simulator!\n\nFlight Simulator closed, waiting ...\n"},
        // A line break alone pays what is owed; the next break is the program's own.
        {{"a", "\n", "\nb"}, "a\n\nb\n"},
        {{"a", "\n\n", "c\n"}, "a\n\nc\n"},
        // A line that does not begin with a break starts on a line of its own.
        {{"\nConnected", "Received exception 7 for 3/1\n"}, "\nConnected\nReceived exception 7 for 3/1\n"},
        {{"x", "", "\ny"}, "x\ny\n"},
    };
    for (const Case& c : cases) {
        PlatLineEnds state;
        std::string written;
        std::string flushes;
        for (const std::string& f : c.flushes) {
            plat_end_lines(state, f, written);
            flushes += "[" + f + "]";
        }
        EXPECT_EQ(written, c.written) << flushes;
    }
}

}  // namespace
