# 32-bit Windows with Debian's MinGW-w64 cross compiler (g++-mingw-w64-i686). CompilerFlags.cmake
# adds -msse2 -mfpmath=sse for this processor, so the arithmetic is the Linux builds'.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SIXBAND_MINGW_TRIPLET i686-w64-mingw32)
set(SIXBAND_WINE_ARCH x86)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
