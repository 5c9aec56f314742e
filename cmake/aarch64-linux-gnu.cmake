# Cross-build for 64-bit ARM Linux (arm64: a Raspberry Pi 4 or 5 with a 64-bit system) with
# Debian's g++-aarch64-linux-gnu, against arm64 libraries installed through multiarch
# (zlib1g-dev:arm64, libgtest-dev:arm64, libgmock-dev:arm64, libstdc++6:arm64):
#   cmake -S . -B build-arm64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
# Programs built here run on this machine under qemu-aarch64 (Debian's qemu-user), started
# explicitly, never through binfmt_misc; CMake uses it for every arm64 program it runs, CTest for
# every test.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(ZV_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${ZV_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${ZV_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${ZV_TRIPLET})

# The compiler links against its own C and C++ runtime under /usr/aarch64-linux-gnu; the
# multiarch libraries lie under /usr/lib/aarch64-linux-gnu, with their CMake packages (GTest's
# among them), and their headers under /usr/include. Below the root /, a library is looked for
# in lib/aarch64-linux-gnu before lib, and never in this machine's own lib/x86_64-linux-gnu.
set(CMAKE_FIND_ROOT_PATH /usr/${ZV_TRIPLET} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs run on the arm64 libraries of this machine's Debian release, as on a Raspberry Pi
# OS of the same release: loader, C and C++ runtime from multiarch (libc6:arm64, which
# zlib1g:arm64 brings, libstdc++6:arm64, libgcc-s1:arm64), at their own paths: -L /. Not on
# the compiler's copies under /usr/aarch64-linux-gnu, a build of glibc other than libc6:arm64's:
# given those with -L, the loader still takes libc.so.6 from multiarch, and a child forked by a
# program on that mixture spins (GoogleTest's death tests).
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /)
