// Where the running program's own file lies, for files that are looked for beside it.
#pragma once

#include <string>

// The folder holding the program's executable, without a trailing separator; empty when the
// system cannot tell.
std::string plat_program_folder();
