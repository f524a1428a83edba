# Installation and the Debian package: binaries in bin/, resources in share/kelvo (where
# resourceDirectory() looks: <exe dir>/../share/kelvo), the desktop entry, the icon and the
# AppStream metadata. The version and release date come from CMakeLists.txt only.
include(GNUInstallDirs)

set(KELVO_APP_ID io.kelvo.kelvo)
set(KELVO_HOMEPAGE "https://kelvo.io")
set(CPACK_PACKAGE_CONTACT "Kelvo maintainers <maintainers@kelvo.invalid>")
set(KELVO_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)

if(TARGET kelvo-report)
  install(TARGETS kelvo-report RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# The fonts' licences are in resources/fonts, beside the fonts.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/ DESTINATION ${CMAKE_INSTALL_DATADIR}/kelvo)
if(TARGET kelvo)
  # The desktop file keeps the name the window gives itself (setDesktopFileName("kelvo")), so
  # that Wayland compositors match the running window to its entry and icon.
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/kelvo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/kelvo.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/io.kelvo.kelvo.metainfo.xml.in
    ${KELVO_PACKAGING_DIR}/${KELVO_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${KELVO_PACKAGING_DIR}/${KELVO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # Debian's copyright file carries the fonts' licence once, in its own format: the text after
  # the font's copyright line, every line indented and blank ones written as " .".
  file(READ ${CMAKE_SOURCE_DIR}/resources/fonts/SpaceGrotesk-OFL.txt KELVO_OFL_TEXT)
  string(REPLACE "\r" "" KELVO_OFL_TEXT "${KELVO_OFL_TEXT}")
  string(FIND "${KELVO_OFL_TEXT}" "\n" first_line_end)
  math(EXPR first_line_end "${first_line_end} + 1")
  string(SUBSTRING "${KELVO_OFL_TEXT}" ${first_line_end} -1 KELVO_OFL_TEXT)
  string(STRIP "${KELVO_OFL_TEXT}" KELVO_OFL_TEXT)
  string(REGEX REPLACE "\n[ \t]*" "\n " KELVO_OFL_TEXT " ${KELVO_OFL_TEXT}")
  string(REGEX REPLACE "\n \n" "\n .\n" KELVO_OFL_TEXT "${KELVO_OFL_TEXT}")
  string(REGEX REPLACE "\n \n" "\n .\n" KELVO_OFL_TEXT "${KELVO_OFL_TEXT}")
  configure_file(${CMAKE_SOURCE_DIR}/packaging/copyright.in ${KELVO_PACKAGING_DIR}/copyright @ONLY)

  # Shipped compressed without a timestamp in the gzip header, so that a rebuild is the same.
  function(kelvo_configure_gzipped template output)
    configure_file(${template} ${KELVO_PACKAGING_DIR}/${output} @ONLY)
    execute_process(COMMAND gzip -9 -n -c ${KELVO_PACKAGING_DIR}/${output}
      OUTPUT_FILE ${KELVO_PACKAGING_DIR}/${output}.gz COMMAND_ERROR_IS_FATAL ANY)
  endfunction()
  # The Debian changelog wants an RFC 2822 date.
  execute_process(COMMAND date -u -R -d ${KELVO_RELEASE_DATE}
    OUTPUT_VARIABLE KELVO_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  kelvo_configure_gzipped(${CMAKE_SOURCE_DIR}/packaging/changelog.in changelog)
  kelvo_configure_gzipped(${CMAKE_SOURCE_DIR}/packaging/kelvo-report.1.in kelvo-report.1)
  install(FILES ${KELVO_PACKAGING_DIR}/kelvo-report.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  if(TARGET kelvo)
    kelvo_configure_gzipped(${CMAKE_SOURCE_DIR}/packaging/kelvo.1.in kelvo.1)
    install(FILES ${KELVO_PACKAGING_DIR}/kelvo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()

  # Not CMAKE_INSTALL_DOCDIR: that is named after the project (Kelvo), Debian wants the package.
  install(FILES ${KELVO_PACKAGING_DIR}/copyright ${KELVO_PACKAGING_DIR}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvo)
endif()

set(CPACK_PACKAGE_NAME kelvo)
set(CPACK_PACKAGE_VENDOR "Kelvo")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Read-only analysis of what your package managers left on disk")
set(CPACK_PACKAGE_DESCRIPTION
  "Kelvo inventories what Homebrew, npm, pnpm, nvm and bun keep on this computer,
with the real size on disk of every item (hard links counted once), classifies
each item with the evidence behind the verdict and shows the exact shell
command that would reclaim it. Kelvo never deletes, moves or writes anything
itself.

This package holds the window (kelvo) and the terminal report (kelvo-report).")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KELVO_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The QML modules the window imports and the platform plugins it draws through are loaded at
# run time, so the shared-library scan does not see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "qml6-module-qtquick, qml6-module-qtquick-controls, qml6-module-qtquick-layouts, qml6-module-qtquick-window, qml6-module-qtquick-templates, qml6-module-qtqml-workerscript, qml6-module-qtquick-shapes, qml6-module-qt-labs-qmlmodels, qml6-module-qtquick-dialogs, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
# Without dpkg-shlibdeps CPack quietly leaves the Qt libraries out of Depends: a package that
# installs and then cannot start. The check runs when a package is made, not at configure time.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/CPackProjectConfig.cmake)
include(CPack)
