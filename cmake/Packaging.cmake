# Installation and the Debian package.
#
# Finderly runs the prober from a "Lenscout" folder beside its own
# executable, so both programs go into one private folder:
#   <prefix>/lib/finderly/Finderly
#   <prefix>/lib/finderly/Lenscout/Lenscout
#   <prefix>/bin/finderly -> ../lib/finderly/Finderly
# plus the desktop entry and the icon. The symbolic link is enough for the
# runner: Qt finds the program's folder through the link.
#
#   cmake --install build [--prefix /usr/local]
#   cpack --config build/CPackConfig.cmake       # finderly_1.0.0_amd64.deb

include(GNUInstallDirs)

set(FINDERLY_PROGRAM_DIR lib/finderly)
install(TARGETS Finderly RUNTIME DESTINATION ${FINDERLY_PROGRAM_DIR})
install(TARGETS Lenscout RUNTIME DESTINATION ${FINDERLY_PROGRAM_DIR}/Lenscout)
# Installed, both use the system's Qt and need no run path of their own.
set_target_properties(Finderly Lenscout PROPERTIES INSTALL_RPATH "")

# The link is relative, so it holds wherever the prefix lies.
file(CREATE_LINK ../${FINDERLY_PROGRAM_DIR}/Finderly ${CMAKE_BINARY_DIR}/finderly SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/finderly DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/gui/finderly.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/gui/finderly.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME finderly)
set(CPACK_PACKAGE_VENDOR Morvessa)
set(CPACK_PACKAGE_CONTACT "Morvessa <finderly@morvessa.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# Below the summary, which is the project's description.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Finderly lists the ONVIF network cameras (found by WS-Discovery through its\n"
    "prober Lenscout) and the SSDP/UPnP devices on every network the computer is\n"
    "on, each with its name and a link that opens its web page.")
# The libraries the programs link (Qt, gSOAP's libgsoap++, libuuid), as
# dpkg-shlibdeps finds them; the QML modules that the engine loads at run
# time are invisible to it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qml6-module-qtqml, qml6-module-qtquick, qml6-module-qtquick-window, \
qml6-module-qtquick-controls, qml6-module-qtquick-templates, qml6-module-qtquick-layouts, \
qml6-module-qt-labs-qmlmodels, qml6-module-qtqml-workerscript")
include(CPack)
