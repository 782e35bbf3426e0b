# Removes every file the last install recorded, then the documentation
# folder when it is left empty; folders shared with other programs stay.
# The manifest holds the paths without DESTDIR: give the same DESTDIR as
# to the install.
#
# usage: DESTDIR=... cmake -DMANIFEST=build/install_manifest.txt -P cmake/uninstall.cmake
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "nothing to uninstall: ${MANIFEST} not found")
endif()
file(STRINGS "${MANIFEST}" installed)
foreach(path IN LISTS installed)
  set(path "$ENV{DESTDIR}${path}")
  if(EXISTS "${path}" OR IS_SYMLINK "${path}")
    message(STATUS "Removing ${path}")
    file(REMOVE "${path}")
  endif()
  if(path MATCHES "/share/doc/zahlwerk/[^/]+$")
    get_filename_component(doc_dir "${path}" DIRECTORY)
  endif()
endforeach()
if(doc_dir AND IS_DIRECTORY "${doc_dir}")
  file(GLOB left "${doc_dir}/*")
  if(NOT left)
    message(STATUS "Removing ${doc_dir}")
    file(REMOVE_RECURSE "${doc_dir}")
  endif()
endif()
