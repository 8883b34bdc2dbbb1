# Flags every target gets. The output of the DSP is specified to the bit, so the compiler may not
# fuse multiplies and adds, reassociate, or keep intermediates in x87 extended precision.
add_compile_options(-Wall -Wextra -ffp-contract=off)

if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86|X86|AMD64|x86_64)$")
  add_compile_options(-msse2 -mfpmath=sse)
endif()

foreach(lang_flags CMAKE_CXX_FLAGS CMAKE_CXX_FLAGS_RELEASE CMAKE_CXX_FLAGS_RELWITHDEBINFO)
  if(${lang_flags} MATCHES "fast-math|Ofast")
    message(FATAL_ERROR "${lang_flags} asks for fast math; the equaliser's output would not be exact")
  endif()
endforeach()

# Code that goes into the loadable module: no exception machinery (a static C++ runtime's exception
# support leaks its emergency pool on every unload) and nothing exported but the entry.
function(sixband_module_code target)
  target_compile_options(${target} PRIVATE -fno-exceptions -fvisibility=hidden -fvisibility-inlines-hidden)
endfunction()
