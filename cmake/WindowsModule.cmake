# What a Windows host needs of the module beyond its code: the entry under its plain name `main`
# (a .def file, since a C++ program cannot define a function of that name and 32-bit Windows would
# otherwise decorate it as _main), and the version resource that hosts and Explorer show.
function(sixband_windows_module target)
  enable_language(RC)
  configure_file(${PROJECT_SOURCE_DIR}/plugin/VersionInfo.rc.in ${CMAKE_CURRENT_BINARY_DIR}/VersionInfo.rc @ONLY)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/plugin/sixband.def
                                   ${CMAKE_CURRENT_BINARY_DIR}/VersionInfo.rc)
endfunction()
