// The program's folder on Windows: GetModuleFileName of the executable.
#include "platform/program.h"

#include <windows.h>

#include <array>

std::string plat_program_folder()
{
    std::array<char, MAX_PATH + 1> path{};
    DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size()) return {};
    std::string folder(path.data(), n);
    std::size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash);
}
