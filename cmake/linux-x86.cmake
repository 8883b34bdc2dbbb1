# 32-bit x86 Linux with the host's multilib compiler.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

# Kernels built without 32-bit support (some VMs and containers) cannot start the tests; qemu's
# user-mode emulator runs them instead, with the same SSE2 arithmetic.
find_program(SIXBAND_QEMU_I386 qemu-i386)
if(SIXBAND_QEMU_I386)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SIXBAND_QEMU_I386})
endif()
