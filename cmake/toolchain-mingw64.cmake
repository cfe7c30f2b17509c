# Cross-compiling for 64-bit Windows with MinGW-w64 (Debian g++-mingw-w64-x86-64-posix).
# The -posix compilers are required: the -win32 thread model has no
# std::thread or std::mutex, and GoogleTest does not build with it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZRK_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZRK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZRK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZRK_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZRK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
