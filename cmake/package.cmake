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
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
