# cmake --install puts under the prefix, in the GNU directories: the two
# programs, their manual pages in English and in Russian, and the README and
# the licence with the example files it uses. Libraries, tests and benchmarks
# stay in the build.
# The documents the README points to, and its picture, installed beside it
# in docs/.
set(KORVID_DOCUMENTS docs/changes.md docs/development.md docs/formats.md docs/install.md docs/korvid-page.png
    docs/korvid.md docs/morva.md docs/page.md docs/reliability.md docs/windows.md)
# The packages build only what they hold: cpack builds korvid and morva
# and installs them, instead of building every target first (the unit tests
# and GoogleTest among them) as the install target would. So the install
# target (make install) builds nothing either; cmake --install never does.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
# (The quotes are escaped twice: CPack writes the value into CPackConfig.cmake
# as it stands.)
set(CPACK_INSTALL_COMMANDS
    "\\\"${CMAKE_COMMAND}\\\" --build \\\"${CMAKE_BINARY_DIR}\\\" --target korvid morva")

if(WIN32)
  # The Windows release: one folder with both programs, the README, the
  # licence and the examples, packed by cpack -G ZIP as
  # korvid-VERSION-win64.zip.
  install(TARGETS korvid morva RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  install(FILES ${KORVID_DOCUMENTS} DESTINATION docs)
  install(FILES examples/README.md examples/hello.bin examples/privet.txt DESTINATION examples)
  set(CPACK_PACKAGE_NAME korvid)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_FILE_NAME korvid-${PROJECT_VERSION}-win64)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_STRIP_FILES ON)
  include(CPack)
  return()
endif()

include(GNUInstallDirs)
# Folders made by the install get these modes whatever the umask, in the
# packages too.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS korvid morva RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES man/korvid.1 man/morva.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES man/ru/korvid.1 man/ru/morva.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/ru/man1)
install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${KORVID_DOCUMENTS} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
install(FILES examples/README.md examples/hello.bin examples/privet.txt
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# Packages of that tree: cpack -G DEB (a Debian package, its dependencies
# found by dpkg-shlibdeps) and cpack -G TGZ (a tarball).
set(KORVID_PACKAGE_MAINTAINER "korvid and morva developers <korvid@example.org>"
    CACHE STRING "Maintainer field of the Debian package: Name <address>")
set(CPACK_PACKAGE_NAME korvid)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${KORVID_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "packer and text converter for the BK-0010 and BK-0011 home computers")
set(CPACK_PACKAGE_DESCRIPTION
    "korvid packs a program for the BK-0010, BK-0010-01, BK-0011 and BK-0011M\n\
home computers (a BK binary file) into a self-extracting image that unpacks\n\
itself on the BK, and unpacks such images on the PC.\n\
morva converts texts between PC encodings (UTF-16LE, UTF-8, CP1251, CP866,\n\
KOI8-R, and KOI8R as the BK has it) and the BK's Edasp, Vortex and BASIC ASC\n\
formats, detects the encoding of a PC text by itself and converts every file\n\
a pattern matches.\n\
Both programs report in Russian.")
set(CPACK_GENERATOR TGZ)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# A source tarball (make package_source) holds the tracked tree, not the
# build folders or the repository's own files.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git" "/build[^/]*/" "/out/")
include(CPack)
