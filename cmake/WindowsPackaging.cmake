# The Windows layout, which the installer puts under Program Files and the
# ZIP holds as it is:
#   Finderly.exe with the Qt, libcurl and MinGW DLLs it loads,
#   platforms/qwindows.dll, imageformats/qico.dll (the window icon), qml/
#   with exactly the QML modules that the window imports, and
#   Lenscout/Lenscout.exe with the DLLs it loads: Windows looks for a
#   program's DLLs in its own folder first.
# Qt finds its plugins and QML modules there without a qt.conf, as Qt's own
# deployment lays them out.
#
#   cmake --install <build> --prefix <folder>
#   cpack --config <build>/CPackConfig.cmake   # Finderly-<version>-win64.exe and .zip

install(TARGETS Finderly RUNTIME DESTINATION .)
install(TARGETS Lenscout RUNTIME DESTINATION Lenscout)

set(qt_prefix ${QT6_INSTALL_PREFIX})
set(qt_plugins ${qt_prefix}/${QT6_INSTALL_PLUGINS})
set(qt_qml ${qt_prefix}/${QT6_INSTALL_QML})

# The compiler knows where its own run-time DLLs lie.
set(mingw_dll_dirs)
foreach(dll libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
    endif()
    get_filename_component(dir ${path} DIRECTORY)
    list(APPEND mingw_dll_dirs ${dir})
endforeach()
list(REMOVE_DUPLICATES mingw_dll_dirs)
# Install scripts read generator expressions: libcurl's DLL lies where its
# imported target says.
set(FINDERLY_DLL_DIRS ${qt_prefix}/${QT6_INSTALL_BINS} $<TARGET_FILE_DIR:CURL::libcurl>
    ${mingw_dll_dirs} CACHE INTERNAL "Where the DLLs of the Windows programs come from")

# The QML modules that the window imports, and those they import in turn,
# as Qt's own deployment asks for them.
get_target_property(scanner Qt6::qmlimportscanner IMPORTED_LOCATION)
if(NOT scanner)
    get_target_property(scanner Qt6::qmlimportscanner IMPORTED_LOCATION_RELEASE)
endif()
execute_process(
    COMMAND ${scanner} -rootPath ${PROJECT_SOURCE_DIR}/gui/qml -importPath ${qt_qml}
    OUTPUT_VARIABLE imports RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "qmlimportscanner failed on gui/qml")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/gui/qml/Main.qml)
set(plugin_dlls ${qt_plugins}/platforms/qwindows.dll ${qt_plugins}/imageformats/qico.dll)
install(FILES ${qt_plugins}/platforms/qwindows.dll DESTINATION platforms)
install(FILES ${qt_plugins}/imageformats/qico.dll DESTINATION imageformats)
string(JSON count LENGTH "${imports}")
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
    string(JSON path ERROR_VARIABLE missing GET "${imports}" ${i} path)
    # Modules found nowhere (the program's own, compiled in) have no path.
    if(missing OR NOT path OR NOT IS_DIRECTORY ${path})
        continue()
    endif()
    file(RELATIVE_PATH module ${qt_qml} ${path})
    # The module's own files only: its sub-folders are modules of their own.
    file(GLOB files LIST_DIRECTORIES false ${path}/*)
    list(FILTER files EXCLUDE REGEX "\\.(a|prl|debug)$")
    install(FILES ${files} DESTINATION qml/${module})
    list(FILTER files INCLUDE REGEX "\\.dll$")
    list(APPEND plugin_dlls ${files})
endforeach()

# The DLLs that the programs and plugins load, from Qt's and the compiler's
# folders, beside each program.
function(install_dlls destination)
    install(CODE "
        include(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/WindowsDlls.cmake)
        finderly_install_dlls(DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${destination}\"
            OBJDUMP \"${CMAKE_OBJDUMP}\" FILES ${ARGN} DIRECTORIES ${FINDERLY_DLL_DIRS})")
endfunction()
install_dlls(. $<TARGET_FILE:Finderly> ${plugin_dlls})
install_dlls(Lenscout $<TARGET_FILE:Lenscout>)

# The installer: Program Files, a Start-menu entry, an uninstaller, and an
# inbound UDP rule per program in Windows Firewall, which otherwise drops the
# unicast answers to a multicast search that arrive after a few seconds.
set(CPACK_GENERATOR ZIP NSIS)
# The installer script takes the texts below as they stand.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME Finderly)
set(CPACK_PACKAGE_VENDOR Morvessa)
set(CPACK_PACKAGE_FILE_NAME Finderly-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Finderly)
set(CPACK_PACKAGE_EXECUTABLES Finderly Finderly)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/packaging/copyright)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# A 64-bit installer for 64-bit programs: no 32-bit view of the system.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/gui/finderly.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/gui/finderly.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME Finderly.exe)
set(CPACK_NSIS_DISPLAY_NAME Finderly)
set(CPACK_NSIS_PACKAGE_NAME Finderly)
set(CPACK_NSIS_URL_INFO_ABOUT ${PROJECT_HOMEPAGE_URL})
set(install_rules)
set(uninstall_rules)
function(add_firewall_rule name program)
    set(delete "netsh advfirewall firewall delete rule name=\"${name}\" program=\"$INSTDIR\\${program}\"")
    set(add "netsh advfirewall firewall add rule name=\"${name}\" dir=in action=allow protocol=UDP program=\"$INSTDIR\\${program}\" enable=yes")
    # An upgrade in place replaces the rule instead of adding a second one.
    string(APPEND install_rules "nsExec::ExecToLog '${delete}'\nPop $0\nnsExec::ExecToLog '${add}'\nPop $0\n")
    string(APPEND uninstall_rules "nsExec::ExecToLog '${delete}'\nPop $0\n")
    set(install_rules "${install_rules}" PARENT_SCOPE)
    set(uninstall_rules "${uninstall_rules}" PARENT_SCOPE)
endfunction()
add_firewall_rule(Finderly Finderly.exe)
add_firewall_rule(Lenscout Lenscout\\Lenscout.exe)
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "${install_rules}")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "${uninstall_rules}")
include(CPack)
