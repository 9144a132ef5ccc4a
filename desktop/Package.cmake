# The Debian package: `cmake --build build --target package` makes
# brimwick_<version>_<arch>.deb from the install rules, with the prefix /usr.

set(BRIMWICK_PACKAGE_MAINTAINER "Brimwick+ developers <brimwick@example.org>"
    CACHE STRING "Maintainer named in the Debian package")

# Debian wants its changelog and copyright in the package's documentation folder; the
# changelog compressed the same way on every build.
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.gz
  COMMAND ${BRIMWICK_GZIP} -9nc ${CMAKE_BINARY_DIR}/debian/changelog > ${CMAKE_BINARY_DIR}/debian/changelog.gz
  DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog
  VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/debian/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/debian/copyright
        DESTINATION ${BRIMWICK_DOC_DIR})
# The user guide (installed by tools/) in the system's documentation index.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/brimwick-user-guide.doc-base
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc-base RENAME brimwick-user-guide)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brimwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Brimwick+ developers")
# The install rules compute paths under the prefix (desktop entries, program links): the
# package installs with the real prefix into a staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "programmer for serial memory chips (SPI flash, EEPROM)")
# CPack puts the summary above this as the synopsis.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Brimwick+ drives a USB programmer (USB ID 10c4:505d), and CH341A USB-to-SPI\n"
  "bridges (USB ID 1a86:5512), for small serial memory\n"
  "chips: SPI flash, SPI EEPROM, I2C EEPROM and Microwire EEPROM. It reads a chip\n"
  "into a buffer shown as hex, loads binary and Intel HEX files, erases, writes\n"
  "and verifies chips, and identifies flash chips by their ID bytes.\n"
  "\n"
  "The package holds the English (brimwick) and Chinese (brimwick-zh) programs,\n"
  "the chip database, the user guide, a simulated programmer (brimwick-sim) and\n"
  "a udev rule that lets the logged-in user use the programmer without root.")
string(JOIN "" CPACK_DEBIAN_PACKAGE_DESCRIPTION ${CPACK_DEBIAN_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BRIMWICK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries the programs link come from dpkg-shlibdeps (libqt6gui6 brings Qt's X11 platform
# plugin); these the programs need without linking them: a font for the Chinese build, Qt's
# own translations for its dialogs, and xdg-utils to open the user guide.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-wqy-microhei | fonts-noto-cjk, qt6-translations-l10n, xdg-utils")
# Without it Qt runs through XWayland on a Wayland desktop.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/debian/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
