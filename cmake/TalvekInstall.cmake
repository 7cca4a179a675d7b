# Install layout and the Debian package.
#
#   bin/talvek                       the program
#   share/talvek/support, Help       its read-only files (code tables, help) and icon
#   share/applications, metainfo,    desktop entry, AppStream metadata, the MIME
#   mime/packages, icons/hicolor     type of set-up data files (.sdt), the icon
#
# The program finds share/talvek beside its bin/ folder; what it writes goes to
# the per-user configuration folder.

set(TALVEK_DATA_DIR ${CMAKE_INSTALL_DATADIR}/talvek)
set(TALVEK_LINUX_DIR ${CMAKE_SOURCE_DIR}/packaging/linux)

if(TARGET talvek)
    install(TARGETS talvek RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/dist/ DESTINATION ${TALVEK_DATA_DIR})
install(FILES ${TALVEK_LINUX_DIR}/talvek.svg DESTINATION ${TALVEK_DATA_DIR})

if(UNIX AND NOT APPLE)
    configure_file(${TALVEK_LINUX_DIR}/com.talvek.Talvek.metainfo.xml.in
        ${CMAKE_BINARY_DIR}/packaging/com.talvek.Talvek.metainfo.xml @ONLY)
    install(FILES ${TALVEK_LINUX_DIR}/com.talvek.Talvek.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/com.talvek.Talvek.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${TALVEK_LINUX_DIR}/talvek.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
    install(FILES ${TALVEK_LINUX_DIR}/talvek.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

set(CPACK_PACKAGE_NAME talvek)
set(CPACK_PACKAGE_VENDOR "TALVEK")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Set-up and monitoring utility for the K7700 press line controller")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "TALVEK talks to the K7700 controller of a can-making press line (bodymaker\n"
    "and trimmer) and its PLS timing board over an RS-232 link: it shows speed,\n"
    "position, counters, alarms and I/O, edits the set-up parameters and timing\n"
    "channels, moves data tables to and from the controller, keeps them in set-up\n"
    "data files (.sdt) and downloads controller programs.")
set(CPACK_PACKAGE_CONTACT "TALVEK maintainers <talvek@localhost>")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The run-time libraries come from dpkg-shlibdeps; Qt's platform plugins are
# loaded at run time, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils")
include(CPack)
