# Installation and the Debian package.
#
# Finderly runs the prober from a "Lenscout" folder beside its own
# executable, so both programs go into one private folder:
#   <prefix>/lib/finderly/Finderly
#   <prefix>/lib/finderly/Lenscout/Lenscout
#   <prefix>/bin/finderly -> ../lib/finderly/Finderly
#   <prefix>/bin/lenscout -> ../lib/finderly/Lenscout/Lenscout
# plus manual pages, the desktop entry, AppStream metadata, icons, and the
# copyright and changelog in <prefix>/share/doc/finderly. The symbolic link
# is enough for the runner: Qt finds the program's folder through the link.
#
#   cmake --install build [--prefix /usr/local]
#   cpack --config build/CPackConfig.cmake       # finderly_1.0.0+deb12_amd64.deb
#
# scripts/test-package builds the package for Debian 12 and 13, installs each
# into a clean root of its release and runs it there.

if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/WindowsPackaging.cmake)
    return()
endif()

include(GNUInstallDirs)

set(FINDERLY_PROGRAM_DIR lib/finderly)
install(TARGETS Finderly RUNTIME DESTINATION ${FINDERLY_PROGRAM_DIR})
install(TARGETS Lenscout RUNTIME DESTINATION ${FINDERLY_PROGRAM_DIR}/Lenscout)
# Installed, both use the system's Qt and need no run path of their own.
set_target_properties(Finderly Lenscout PROPERTIES INSTALL_RPATH "")

# Everything else is for Linux desktops and Debian's tools.
if(UNIX)
    # Both programs read what hosts on the network send: all their symbols are
    # bound at start, so that the relocation table can be made read-only, as in
    # Debian's own hardened builds.
    foreach(program Finderly Lenscout)
        target_link_options(${program} PRIVATE LINKER:-z,relro,-z,now)
    endforeach()

    # The links are relative, so they hold wherever the prefix lies.
    file(CREATE_LINK ../${FINDERLY_PROGRAM_DIR}/Finderly ${CMAKE_BINARY_DIR}/finderly SYMBOLIC)
    file(CREATE_LINK ../${FINDERLY_PROGRAM_DIR}/Lenscout/Lenscout ${CMAKE_BINARY_DIR}/lenscout SYMBOLIC)
    install(FILES ${CMAKE_BINARY_DIR}/finderly ${CMAKE_BINARY_DIR}/lenscout
        DESTINATION ${CMAKE_INSTALL_BINDIR})

    # Manual pages, written for scdoc and installed compressed as Debian wants.
    # Their header names the version. A developer's build does without them
    # when there is no scdoc; an installation, and so the package, does not.
    find_program(SCDOC scdoc)
    if(SCDOC)
        set(man_dir ${CMAKE_BINARY_DIR}/man)
        set(man_pages)
        foreach(source gui/finderly.1.scd probe-tool/lenscout.1.scd)
            get_filename_component(page ${source} NAME_WLE)
            configure_file(${source} ${man_dir}/${page}.scd @ONLY)
            add_custom_command(
                OUTPUT ${man_dir}/${page}.gz
                COMMAND sh -c "\"$0\" < \"$1.scd\" > \"$1\" && gzip -9nf \"$1\""
                    ${SCDOC} ${man_dir}/${page}
                DEPENDS ${man_dir}/${page}.scd
                COMMENT "Generating the manual page ${page}"
                VERBATIM)
            list(APPEND man_pages ${man_dir}/${page}.gz)
        endforeach()
        add_custom_target(manpages ALL DEPENDS ${man_pages})
        install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    else()
        message(STATUS "scdoc not found: no manual pages; installing and packaging will stop")
        install(CODE [[
            message(FATAL_ERROR "The manual pages were not built: install scdoc and configure again")
        ]])
    endif()

    # Desktop entry, AppStream metadata and icons, named by the application's id.
    set(FINDERLY_APP_ID example.morvessa.finderly)
    install(FILES ${PROJECT_SOURCE_DIR}/gui/${FINDERLY_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/gui/${FINDERLY_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    foreach(size 48 64 128 256)
        install(FILES ${PROJECT_SOURCE_DIR}/gui/icons/finderly-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME finderly.png)
    endforeach()
    install(FILES ${PROJECT_SOURCE_DIR}/gui/icons/finderly.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

    # The package's copyright and changelog, where Debian's tools look for them.
    set(changelog ${CMAKE_BINARY_DIR}/changelog.gz)
    add_custom_command(
        OUTPUT ${changelog}
        COMMAND sh -c "gzip -9n < \"$0\" > \"$1\""
            ${PROJECT_SOURCE_DIR}/packaging/changelog ${changelog}
        DEPENDS packaging/changelog
        VERBATIM)
    add_custom_target(changelog ALL DEPENDS ${changelog})
    # (CMAKE_INSTALL_DOCDIR would be named for the project, Finderly.)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${changelog}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/finderly)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME finderly)
set(CPACK_PACKAGE_VENDOR Morvessa)
set(CPACK_PACKAGE_CONTACT "Morvessa <finderly@morvessa.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The package is built on each Debian release against that release's
# libraries and fits no other: its version names the release in Debian's way
# (1.0.0+deb12, 1.0.0+deb13), so the two are never confused and a newer
# release's sorts higher.
cmake_host_system_information(RESULT os_id QUERY DISTRIB_ID)
cmake_host_system_information(RESULT os_version QUERY DISTRIB_VERSION_ID)
if(os_id STREQUAL "debian" AND os_version)
    set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION}+deb${os_version})
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# Below the summary, which is the project's description.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Finderly lists the ONVIF network cameras (found by WS-Discovery through its\n"
    "prober Lenscout) and the SSDP/UPnP devices on every network the computer is\n"
    "on, each with its name and a link that opens its web page.")
# The libraries the programs link (Qt, gSOAP's libgsoap++, libuuid,
# libcurl), as dpkg-shlibdeps finds them; the QML modules that the engine
# loads at run time are invisible to it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qml6-module-qtqml, qml6-module-qtquick, qml6-module-qtquick-window, \
qml6-module-qtquick-controls, qml6-module-qtquick-templates, qml6-module-qtquick-layouts, \
qml6-module-qt-labs-qmlmodels, qml6-module-qtqml-workerscript")
include(CPack)
