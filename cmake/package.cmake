# make package: a Debian package of what make install installs, under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zahlwerk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "the Zahlwerk authors <zahlwerk@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "calculator for the text console, with a German interface")
string(JOIN "\n" CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Zahlwerk shows a menu of operation codes, then asks in turn for a code and"
  "one or two numbers and prints the result: the four basic operations, a power"
  "of the last result, and formulas for the circle, the square and the"
  "rectangle. Lines are typed with a small line editor; piped input is read as"
  "a batch. The interface is in German.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION math)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A cross build: the package is for the target's processor (Debian's name,
# e.g. armhf, the cross target's name, ZW_CROSS), and its dependency comes
# from the program's symbol versions.
set(ZW_DEB_ARCH "" CACHE STRING "Debian processor name of a cross-built package (default: ZW_CROSS)")
if(CMAKE_CROSSCOMPILING AND NOT WIN32)
  set(deb_arch ${ZW_DEB_ARCH})
  if(NOT deb_arch)
    set(deb_arch ${ZW_CROSS})
  endif()
  if(deb_arch)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${deb_arch})
  endif()
  set(CPACK_ZW_CROSS_OBJDUMP ${CMAKE_OBJDUMP})
  set(CPACK_ZW_BINARY ${CMAKE_BINARY_DIR}/zahlwerk)
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/package_depends.cmake)
endif()
include(CPack)
