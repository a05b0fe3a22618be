# Desktop integration and the Debian package (cpack -G DEB; scripts/package.sh).

# The menu entry for Hostrix, its icon, and the file type of application files,
# so that opening one from a file manager starts Hostrix with it. The desktop
# environment's own triggers (shared-mime-info, desktop-file-utils, the icon
# theme cache) pick these up when the package is installed.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/hostrix.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/hostrix.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/veltra-application.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages COMPONENT runtime)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltra)
set(CPACK_PACKAGE_VENDOR "Orv Limited")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Veltra host server for DSP networks")
set(CPACK_PACKAGE_DESCRIPTION
    "Serves applications running on a DSP network over a link: the GUI host Hostrix, the\n"
    "headless runner veltra-run, a simulated DSP network, graph and control-panel plug-ins,\n"
    "and the DSP-side run-time for building applications of one's own.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "Orv Limited <veltra@orv.invalid>" CACHE STRING "Maintainer of the Debian package")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# Run-time libraries come from the programs themselves (dpkg-shlibdeps). Qt's
# platform plug-ins (the desktop's and the off-screen one that veltra-run uses
# for plug-in windows) ship with libqt6gui6, which that list names already;
# a font lets off-screen windows render text.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
set(CPACK_STRIP_FILES ON)
include(CPack)
