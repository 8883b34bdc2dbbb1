# Shared by the Windows toolchain files, which set SIXBAND_MINGW_TRIPLET and SIXBAND_WINE_ARCH first.
#
# The posix thread model of Debian's MinGW-w64 compilers, not the win32 one: GoogleTest needs
# std::mutex, which GCC 12 provides on Windows only in the posix model. That model's runtime uses
# libwinpthread, so everything links statically (-static: libstdc++, libgcc and libwinpthread),
# and the module imports nothing but KERNEL32 and msvcrt, which every Windows has; a MinGW runtime
# DLL would make a host's LoadLibrary fail on a machine without MinGW.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${SIXBAND_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SIXBAND_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${SIXBAND_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${SIXBAND_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Tests run under wine; the script picks the loader for the architecture and says when it cannot.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh ${SIXBAND_WINE_ARCH})
