// Text from outside made safe to print: the control characters' boundaries, a NUL inside the
// text, and bytes above ASCII (UTF-8) kept as they are.
#include <string>

#include <gtest/gtest.h>

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

}  // namespace
