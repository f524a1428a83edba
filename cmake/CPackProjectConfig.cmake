# Read by cpack for each generator (CPACK_PROJECT_CONFIG_FILE).
if(CPACK_GENERATOR STREQUAL "DEB")
  find_program(KELVO_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(NOT KELVO_DPKG_SHLIBDEPS)
    message(FATAL_ERROR "dpkg-shlibdeps (package dpkg-dev) is needed to list the package's library dependencies")
  endif()
endif()
