# The Debian package, made by CPack (scripts/package): quaverly_<version>_<arch>.deb
# with the installed tree, its dependencies computed from the binaries by
# dpkg-shlibdeps, and the copyright file and changelog Debian asks for.
include(GNUInstallDirs)

# QUAVERLY_RELEASE_DATE as a changelog writes dates.
set(QUAVERLY_CHANGELOG_DATE "Tue, 08 Dec 2026 00:00:00 +0000")
configure_file(${PROJECT_SOURCE_DIR}/resources/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.gz
  COMMAND gzip -9 -n -c ${CMAKE_BINARY_DIR}/debian/changelog > ${CMAKE_BINARY_DIR}/debian/changelog.gz
  DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog
  COMMENT "Compressing the package's changelog")
add_custom_target(quaverly-debian-changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/debian/changelog.gz ${PROJECT_SOURCE_DIR}/resources/debian/copyright
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quaverly)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quaverly)
set(CPACK_PACKAGE_VENDOR "The Quaverly developers")
set(CPACK_PACKAGE_CONTACT "The Quaverly developers <developers@quaverly.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "move song files between the computer and a MIDI instrument")
set(CPACK_PACKAGE_DESCRIPTION "Quaverly moves song files between a computer and the file memory of a MIDI
instrument over MIDI System Exclusive messages: it receives songs from the
instrument, transmits files into it (converting Standard MIDI Files from
format 1 to format 0 when asked), and renames and deletes songs on it. It
comes as a bilingual (Japanese/English) desktop program with its MIDI port
library, a command-line companion (quaverly-cli) and a virtual instrument
for trying everything without hardware (quaverly-instrument).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quaverly.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside what the binaries link: Qt's platform plugins, without which no window opens.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The file icons (a MIME database and an icon theme) and the manual's opening.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, adwaita-icon-theme, xdg-utils")
# The port library is the programs' own, loaded by file name: no other package links it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_INSTALL_PREFIX}/lib/quaverly)
set(CPACK_STRIP_FILES ON)
# The settings file in /etc is the administrator's to change: a conffile.
file(WRITE ${CMAKE_BINARY_DIR}/debian/conffiles "/etc/xdg/VELMAR/Quaverly.ini\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/conffiles)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
include(CPack)
