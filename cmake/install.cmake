# make install: the program, its manual pages and its documents, laid out by
# GNUInstallDirs under the prefix (and DESTDIR); make uninstall removes what
# the last install recorded in install_manifest.txt.
include(GNUInstallDirs)

install(TARGETS zahlwerk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
