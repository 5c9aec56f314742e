// Printable text (see text.h).
#include "platform/text.h"

std::string plat_printable(std::string_view text)
{
    std::string shown(text);
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return shown;
}
