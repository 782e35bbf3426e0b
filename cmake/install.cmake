# make install: the program, its manual pages and its documents, laid out by
# GNUInstallDirs under the prefix (and DESTDIR); make uninstall removes what
# the last install recorded in install_manifest.txt.
include(GNUInstallDirs)

option(ZW_DEBIAN_DOCS "Documents as a Debian package has them: copyright and changelog for LICENSE" OFF)

install(TARGETS zahlwerk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(ZW_DEBIAN_DOCS)
  install(FILES README.md packaging/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
else()
  install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# Manual pages, English and German, and the Debian changelog: the version
# filled in, compressed as man reads them and Debian wants them (gzip -9n: no
# name, no time stamp, so the same sources give the same bytes).
# gzip is part of every base system (Essential on Debian).
find_program(ZW_GZIP gzip REQUIRED)
function(zw_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${ZW_GZIP} -9nc ${source} > ${output}
    DEPENDS ${source}
    VERBATIM)
endfunction()
set(ZW_MAN_PAGES "")
function(zw_man_page source destination)
  set(page ${CMAKE_BINARY_DIR}/${source})
  configure_file(${source} ${page} @ONLY)
  zw_gzip(${page} ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${destination})
  set(ZW_MAN_PAGES ${ZW_MAN_PAGES} ${page}.gz PARENT_SCOPE)
endfunction()
zw_man_page(man/zahlwerk.1 ${CMAKE_INSTALL_MANDIR}/man1)
zw_man_page(man/de/zahlwerk.1 ${CMAKE_INSTALL_MANDIR}/de/man1)
set(ZW_GZIPPED ${ZW_MAN_PAGES})
if(ZW_DEBIAN_DOCS)
  configure_file(packaging/debian/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
  zw_gzip(${CMAKE_BINARY_DIR}/changelog ${CMAKE_BINARY_DIR}/changelog.gz)
  install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  list(APPEND ZW_GZIPPED ${CMAKE_BINARY_DIR}/changelog.gz)
endif()
add_custom_target(manpages ALL DEPENDS ${ZW_GZIPPED})

include(cmake/package.cmake)
