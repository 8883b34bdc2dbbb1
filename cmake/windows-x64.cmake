# 64-bit Windows with Debian's MinGW-w64 cross compiler (g++-mingw-w64-x86-64).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SIXBAND_MINGW_TRIPLET x86_64-w64-mingw32)
set(SIXBAND_WINE_ARCH x64)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
