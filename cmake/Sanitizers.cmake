# Instrumented builds. The choice holds for the whole tree: the module, the host and the tests that
# load the module must share one sanitizer runtime, so everything is built with the same flags.
set(SIXBAND_SANITIZE "" CACHE STRING
  "Instrument every target: address (ASan + UBSan), thread (TSan), fuzzer (ASan + UBSan with libFuzzer coverage, clang)")
set_property(CACHE SIXBAND_SANITIZE PROPERTY STRINGS "" address thread fuzzer)

# A finding must fail the run, not scroll past: UBSan stops at the first report.
if(SIXBAND_SANITIZE STREQUAL "address")
  set(sixband_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all)
elseif(SIXBAND_SANITIZE STREQUAL "thread")
  set(sixband_sanitize_flags -fsanitize=thread)
elseif(SIXBAND_SANITIZE STREQUAL "fuzzer")
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "SIXBAND_SANITIZE=fuzzer needs clang (libFuzzer); configure with the fuzz preset")
  endif()
  set(sixband_sanitize_flags -fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all)
elseif(NOT SIXBAND_SANITIZE STREQUAL "")
  message(FATAL_ERROR "SIXBAND_SANITIZE must be empty, address, thread or fuzzer, not '${SIXBAND_SANITIZE}'")
endif()

if(sixband_sanitize_flags)
  # Frame pointers make the reports' stacks complete without slowing the unwinder down.
  add_compile_options(${sixband_sanitize_flags} -fno-omit-frame-pointer)
  add_link_options(${sixband_sanitize_flags})
  # GCC 12's flow analysis misreads AddressSanitizer's instrumentation of libstdc++'s std::function
  # (inside std::regex) as a use of uninitialised memory. The uninstrumented builds keep the warning.
  if(SIXBAND_SANITIZE STREQUAL "address" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
endif()
