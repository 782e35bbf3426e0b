# make install: the program, its manual pages and its documents, laid out by
# GNUInstallDirs under the prefix (and DESTDIR); make uninstall removes what
# the last install recorded in install_manifest.txt.
include(GNUInstallDirs)

install(TARGETS zahlwerk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Manual pages, English and German, with the version filled in and
# compressed as man reads them and Debian wants them (gzip -9n: no name, no
# time stamp, so the same sources give the same bytes).
find_program(ZW_GZIP gzip REQUIRED)
set(ZW_MAN_PAGES "")
function(zw_man_page source destination)
  set(page ${CMAKE_BINARY_DIR}/${source})
  configure_file(${source} ${page} @ONLY)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${ZW_GZIP} -9nc ${page} > ${page}.gz
    DEPENDS ${page}
    VERBATIM)
  install(FILES ${page}.gz DESTINATION ${destination})
  set(ZW_MAN_PAGES ${ZW_MAN_PAGES} ${page}.gz PARENT_SCOPE)
endfunction()
zw_man_page(man/zahlwerk.1 ${CMAKE_INSTALL_MANDIR}/man1)
zw_man_page(man/de/zahlwerk.1 ${CMAKE_INSTALL_MANDIR}/de/man1)
add_custom_target(manpages ALL DEPENDS ${ZW_MAN_PAGES})
