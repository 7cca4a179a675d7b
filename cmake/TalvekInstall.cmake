# Install layout and the Debian packages.
#
# Package talvek (component talvek):
#   bin/talvek, bin/talvek-cli       the program and its command line
#   share/talvek/support, Help       their read-only files (code tables, help) and icon
#   share/applications, metainfo,    desktop entry, AppStream metadata, the MIME
#   mime/packages, icons/hicolor     type of set-up data files (.sdt), the icon
#   share/man/man1                   talvek(1), talvek-cli(1)
#   share/doc/talvek                 README (with its screenshots), copyright,
#                                    changelog.Debian.gz
#   lib/udev/rules.d                 99-talvek-serial.rules, where udev reads it
# Package talvek-sim (component sim):
#   bin/k7700-sim, share/man/man1/k7700-sim.1.gz, share/doc/talvek-sim
#
# The programs find share/talvek beside their bin/ folder; what they write
# goes to the per-user configuration folder.

set(TALVEK_DATA_DIR ${CMAKE_INSTALL_DATADIR}/talvek)
set(TALVEK_LINUX_DIR ${CMAKE_SOURCE_DIR}/packaging/linux)
set(TALVEK_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)

# The packages' maintainer: -DTALVEK_MAINTAINER="Name <address>", else
# DEBFULLNAME and DEBEMAIL as Debian's tools take them, else ours.
set(talvek_default_maintainer "TALVEK maintainers <talvek@talvek.com>")
if(DEFINED ENV{DEBEMAIL} AND "$ENV{DEBEMAIL}" MATCHES "<.+@.+>")
    set(talvek_default_maintainer "$ENV{DEBEMAIL}")
elseif(DEFINED ENV{DEBEMAIL} AND DEFINED ENV{DEBFULLNAME})
    set(talvek_default_maintainer "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
endif()
set(TALVEK_MAINTAINER "${talvek_default_maintainer}" CACHE STRING
    "Maintainer of the Debian packages, \"Name <address>\"")
if(NOT TALVEK_MAINTAINER MATCHES "^[^<>]+ <[^<>@ ]+@[^<>@ ]+\\.[^<>@ ]+>$")
    message(FATAL_ERROR "TALVEK_MAINTAINER must read \"Name <user@host.domain>\", not \"${TALVEK_MAINTAINER}\"")
endif()
# Version 1.0.0 of ours, packaged once: 1.0.0-1.
set(TALVEK_DEB_RELEASE 1)
set(TALVEK_DEB_VERSION ${PROJECT_VERSION}-${TALVEK_DEB_RELEASE})

if(TARGET talvek)
    install(TARGETS talvek RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT talvek)
endif()
install(TARGETS talvek-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT talvek)
# The udev rule goes where udev reads it, not among the program's files.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/dist/ DESTINATION ${TALVEK_DATA_DIR} COMPONENT talvek
    PATTERN udev EXCLUDE)
install(FILES ${TALVEK_LINUX_DIR}/talvek.svg DESTINATION ${TALVEK_DATA_DIR} COMPONENT talvek)

if(UNIX AND NOT APPLE)
    configure_file(${TALVEK_LINUX_DIR}/com.talvek.Talvek.metainfo.xml.in
        ${TALVEK_PACKAGING_OUT}/com.talvek.Talvek.metainfo.xml @ONLY)
    install(FILES ${TALVEK_LINUX_DIR}/com.talvek.Talvek.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        COMPONENT talvek)
    install(FILES ${TALVEK_PACKAGING_OUT}/com.talvek.Talvek.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT talvek)
    install(FILES ${TALVEK_LINUX_DIR}/talvek.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        COMPONENT talvek)
    install(FILES ${TALVEK_LINUX_DIR}/talvek.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        COMPONENT talvek)
    # Not CMAKE_INSTALL_LIBDIR: udev reads lib/udev/rules.d of /usr and
    # /usr/local, whatever the architecture.
    install(FILES ${CMAKE_SOURCE_DIR}/dist/udev/99-talvek-serial.rules DESTINATION lib/udev/rules.d
        COMPONENT talvek)

    # Manual pages and the packages' Debian documents, compressed as Debian
    # wants them (gzip -9n: no name, no time stamp, the same bytes each build).
    find_program(TALVEK_GZIP gzip REQUIRED)
    set(talvek_doc_outputs)
    function(talvek_gzipped source output)
        configure_file(${source} ${TALVEK_PACKAGING_OUT}/plain/${output} @ONLY)
        set(plain ${TALVEK_PACKAGING_OUT}/plain/${output})
        add_custom_command(OUTPUT ${TALVEK_PACKAGING_OUT}/${output}.gz
            COMMAND ${TALVEK_GZIP} -9nkf ${plain}
            COMMAND ${CMAKE_COMMAND} -E rename ${plain}.gz ${TALVEK_PACKAGING_OUT}/${output}.gz
            DEPENDS ${plain} VERBATIM)
        set(talvek_doc_outputs ${talvek_doc_outputs} ${TALVEK_PACKAGING_OUT}/${output}.gz PARENT_SCOPE)
    endfunction()
    foreach(page talvek talvek-cli k7700-sim)
        talvek_gzipped(${CMAKE_SOURCE_DIR}/packaging/man/${page}.1.in ${page}.1)
    endforeach()
    talvek_gzipped(${CMAKE_SOURCE_DIR}/packaging/debian/changelog.in changelog.Debian)
    add_custom_target(talvek_docs ALL DEPENDS ${talvek_doc_outputs})
    configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/copyright.in ${TALVEK_PACKAGING_OUT}/copyright @ONLY)

    install(FILES ${TALVEK_PACKAGING_OUT}/talvek.1.gz ${TALVEK_PACKAGING_OUT}/talvek-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT talvek)
    install(FILES ${TALVEK_PACKAGING_OUT}/k7700-sim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT sim)
    install(FILES ${CMAKE_SOURCE_DIR}/README.md ${TALVEK_PACKAGING_OUT}/copyright
        ${TALVEK_PACKAGING_OUT}/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/talvek COMPONENT talvek)
    install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/screenshots DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/talvek/docs
        COMPONENT talvek)
    install(FILES ${TALVEK_PACKAGING_OUT}/copyright ${TALVEK_PACKAGING_OUT}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/talvek-sim COMPONENT sim)
endif()
if(TARGET k7700-sim AND UNIX)
    get_target_property(talvek_sim_type k7700-sim TYPE)
    if(talvek_sim_type STREQUAL "EXECUTABLE")
        install(TARGETS k7700-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT sim)
    endif()
endif()

set(CPACK_PACKAGE_NAME talvek)
set(CPACK_PACKAGE_VENDOR "TALVEK")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TALVEK_MAINTAINER}")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL talvek sim)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TALVEK_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The run-time libraries come from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_TALVEK_PACKAGE_NAME talvek)
string(CONCAT CPACK_DEBIAN_TALVEK_DESCRIPTION
    "Set-up and monitoring utility for the K7700 press line controller\n"
    "TALVEK talks to the K7700 controller of a can-making press line (bodymaker\n"
    "and trimmer) and its PLS timing board over an RS-232 link: it shows speed,\n"
    "position, counters, alarms and I/O, edits the set-up parameters and timing\n"
    "channels, moves data tables to and from the controller, keeps them in set-up\n"
    "data files (.sdt) and downloads controller programs.\n"
    "talvek-cli does the same from the command line, for scripted reads and\n"
    "writes and nightly backups.")
# Qt's platform plugins and the journal's SQLite driver are loaded at run
# time, so they are named here; the PostgreSQL driver only serves a plant
# journal, so it is recommended.
set(CPACK_DEBIAN_TALVEK_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6sql6-sqlite")
set(CPACK_DEBIAN_TALVEK_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils, libqt6sql6-psql")
set(CPACK_DEBIAN_TALVEK_PACKAGE_SUGGESTS "talvek-sim")

set(CPACK_DEBIAN_SIM_PACKAGE_NAME talvek-sim)
string(CONCAT CPACK_DEBIAN_SIM_DESCRIPTION
    "K7700 press line controller simulator for TALVEK\n"
    "k7700-sim behaves like the K7700 controller of a can-making press line and\n"
    "its PLS timing board on the end of a serial cable (a pseudo-terminal), so\n"
    "that TALVEK can be tried and operators trained without a press: the press\n"
    "runs, counts cans and raises alarms, and line faults can be injected.")
set(CPACK_DEBIAN_SIM_PACKAGE_SUGGESTS "talvek")
include(CPack)
