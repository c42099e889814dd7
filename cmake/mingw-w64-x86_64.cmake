# Cross build of the Qt-free Windows code with Debian's mingw-w64 (POSIX
# threads flavour), run under Wine. Usage:
#   cmake -S tests/win32 -B build-win32 --toolchain cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained programs: Wine then needs none of mingw's DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(IVROMVT_WINE NAMES wine)
if(IVROMVT_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${IVROMVT_WINE})
endif()
