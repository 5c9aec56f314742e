// Windows has no cookie streams to put standard output through the line-ending filter (see
// platform/console.h): -l is not offered there.
#include "platform/console.h"

bool plat_console_end_lines() { return false; }
