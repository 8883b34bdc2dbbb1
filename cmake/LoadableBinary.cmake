# How a binary that a foreign host loads is linked: the module and the LV2 plug-in alike.
#
# Hosts bring their own C++ runtime; the binary carries a private static one and exports only its
# entry. Instrumented builds are the exception: there the binary must use the executable's runtime,
# whose allocator and interceptors the sanitizer replaces, and clang leaves the sanitizer's symbols
# for the executable to resolve.
function(sixband_loadable_binary target)
  sixband_module_code(${target})
  if(SIXBAND_SANITIZE)
    target_link_options(${target} PRIVATE -Wl,--exclude-libs,ALL)
  else()
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc -Wl,--exclude-libs,ALL
      $<$<PLATFORM_ID:Linux>:-Wl,--no-undefined>)
  endif()
endfunction()
