# Cross-compiling for 32-bit Windows (x86) with Debian's mingw-w64. The
# product is made of 32-bit programs and its installer records it where
# 32-bit programs see the registry, so the updater is one too: it then reads
# and writes the same view on 64-bit Windows without asking for one.
# The posix-thread compilers are required: the win32-thread ones lack
# std::mutex, which the test framework needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# ctest runs every Windows test program under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
