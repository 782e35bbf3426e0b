# Read by cpack (CPACK_PROJECT_CONFIG_FILE). A cross-built package cannot
# ask dpkg-shlibdeps, which knows the libraries of this machine's processor
# only: the program links nothing but the C library (the C++ runtime is
# linked in), so it depends on libc6 of at least the newest symbol version
# it uses, as Debian's libc6 symbols file gives it.
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_ZW_CROSS_OBJDUMP)
  execute_process(COMMAND ${CPACK_ZW_CROSS_OBJDUMP} -p -T ${CPACK_ZW_BINARY}
    OUTPUT_VARIABLE dump RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "package: cannot read ${CPACK_ZW_BINARY}")
  endif()
  string(REGEX MATCHALL "NEEDED +[^\n]+" needed "${dump}")
  foreach(library ${needed})
    string(REGEX REPLACE "NEEDED +" "" library "${library}")
    if(NOT library MATCHES "^(libc\\.so\\.6|libm\\.so\\.6|ld-linux[-a-z0-9_.]*\\.so\\.[0-9]+)$")
      message(FATAL_ERROR "package: ${CPACK_ZW_BINARY} needs ${library}, which is not part of libc6")
    endif()
  endforeach()
  string(REGEX MATCHALL "GLIBC_[0-9]+\\.[0-9]+(\\.[0-9]+)?" versions "${dump}")
  set(newest 0)
  foreach(version ${versions})
    string(REPLACE "GLIBC_" "" version "${version}")
    if(version VERSION_GREATER newest)
      set(newest ${version})
    endif()
  endforeach()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= ${newest})")
endif()
