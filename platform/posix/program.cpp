// The program's folder on POSIX: the link /proc/self/exe (Linux).
#include "platform/program.h"

#include <unistd.h>

#include <array>

std::string plat_program_folder()
{
    std::array<char, 4096> path{};
    ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) return {};
    std::string folder(path.data(), static_cast<std::size_t>(n));
    std::size_t slash = folder.rfind('/');
    return slash == std::string::npos ? std::string() : folder.substr(0, slash == 0 ? 1 : slash);
}
