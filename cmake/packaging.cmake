# What `cmake --install` puts where, and the packages CPack makes from it:
#   halvorn_VERSION_amd64.deb         the Linux program, its manual page and README
#   halvorn-VERSION-windows.zip       both Windows builds, README and licence
#   halvorn-VERSION-win32.msi, -win64.msi  the Windows installers (not CPack's)
# The .deb is the default install; the zip is the component "windows", which a
# plain install leaves out because its programs come from the cross builds.
include(GNUInstallDirs)

# The Debian changelog keeps a line per release; its newest must be this one.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/changelog changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^halvorn \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog: the newest entry is not version ${PROJECT_VERSION}")
endif()

install(TARGETS halvorn RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
configure_file(doc/halvorn.1.in ${CMAKE_BINARY_DIR}/halvorn.1 @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/halvorn.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/halvorn)

# The cross builds' folders, build/win32 and build/win64 unless told otherwise.
set(HALVORN_WINDOWS_BUILDS "${CMAKE_SOURCE_DIR}/build" CACHE PATH
  "Folder holding the Windows builds win32/ and win64/")
foreach(arch win32 win64)
  install(FILES ${HALVORN_WINDOWS_BUILDS}/${arch}/halvorn.exe DESTINATION ${arch}
    COMPONENT windows EXCLUDE_FROM_ALL)
endforeach()
install(FILES README.md LICENSE DESTINATION . COMPONENT windows EXCLUDE_FROM_ALL)

# The Windows installers, one per architecture, beside CPack's packages: the
# target windows_installers (tools/package.sh builds it after cpack).
set(installers)
foreach(arch win32 win64)
  set(msi ${CMAKE_BINARY_DIR}/packages/halvorn-${PROJECT_VERSION}-${arch}.msi)
  set(program ${HALVORN_WINDOWS_BUILDS}/${arch}/halvorn.exe)
  add_custom_command(OUTPUT ${msi}
    COMMAND ${CMAKE_COMMAND} -DARCH=${arch} -DVERSION=${PROJECT_VERSION}
      -DPUBLISHER=${HALVORN_PUBLISHER} -DPROGRAM=${program} -DOUTPUT=${msi}
      -P ${CMAKE_SOURCE_DIR}/packaging/windows_installer.cmake
    DEPENDS ${program} packaging/halvorn.wxs packaging/windows_installer.cmake README.md LICENSE
    COMMENT "Windows installer halvorn-${PROJECT_VERSION}-${arch}.msi" VERBATIM)
  list(APPEND installers ${msi})
endforeach()
add_custom_target(windows_installers DEPENDS ${installers})

set(CPACK_GENERATOR DEB ZIP)
set(CPACK_PACKAGE_NAME halvorn)
set(CPACK_PACKAGE_VENDOR "${HALVORN_PUBLISHER}")
set(CPACK_PACKAGE_CONTACT "Halvorn developers <maintainers@users.noreply.c-seed-68d6a186.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "query a dial-up modem and set up dial-up connections")
# The long description, in lines short enough for the package's control file.
set(CPACK_PACKAGE_DESCRIPTION
  "Halvorn is a small command-line tool for workstations with a dial-up modem
on a serial port, meant to be run from scripts. The query command finds the
speed at which the modem answers and records its replies to a list of AT
commands, on the console and in an INI report file. The ras command creates a
dial-up entry with its credentials, line speed and an optional desktop
shortcut; on Linux that is a pppd peer which pon dials, and a desktop
launcher. rasreset checks that an entry can be read.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# pppd and chat read the connections that ras writes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS ppp)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_ARCHIVE_FILE_NAME halvorn-${PROJECT_VERSION}-windows)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)

# Per generator: which components go in, and the Debian layout of the docs.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/packaging/cpack_project.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/packaging/debian_layout.cmake)
set(CPACK_HALVORN_SOURCE_DIR ${CMAKE_SOURCE_DIR})
include(CPack)
