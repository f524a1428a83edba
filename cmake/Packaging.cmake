# Installation and the Debian package: binaries in bin/, resources in share/kelvo (where
# resourceDirectory() looks: <exe dir>/../share/kelvo), the desktop entry and the icon.
include(GNUInstallDirs)

if(TARGET kelvo-report)
  install(TARGETS kelvo-report RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/ DESTINATION ${CMAKE_INSTALL_DATADIR}/kelvo)
if(TARGET kelvo)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/kelvo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/kelvo.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

set(CPACK_PACKAGE_NAME kelvo)
set(CPACK_PACKAGE_VENDOR "Kelvo")
set(CPACK_PACKAGE_CONTACT "Kelvo maintainers <maintainers@kelvo.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Read-only analysis of what your package managers left on disk")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kelvo.invalid")
find_program(KELVO_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(KELVO_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
# The QML modules the window imports at run time (not found by the shared-library scan).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "qml6-module-qtquick, qml6-module-qtquick-controls, qml6-module-qtquick-layouts, qml6-module-qtquick-window, qml6-module-qtquick-templates, qml6-module-qtqml-workerscript, qml6-module-qtquick-shapes, qml6-module-qt-labs-qmlmodels")
include(CPack)
