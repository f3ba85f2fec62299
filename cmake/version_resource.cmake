# The Windows program's version resource, made from the project's version:
# sets HALVORN_VERSION_RC to the configured resource script.
enable_language(RC)

# The binary fields hold four numbers; a version of three gets a fourth 0.
set(tweak 0)
if(PROJECT_VERSION_TWEAK)
  set(tweak ${PROJECT_VERSION_TWEAK})
endif()
set(HALVORN_VERSION_BINARY
  "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${tweak}")
# The copyright line as the licence states it.
file(STRINGS ${CMAKE_SOURCE_DIR}/LICENSE HALVORN_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
if(NOT HALVORN_COPYRIGHT)
  message(FATAL_ERROR "LICENSE has no Copyright line for the version resource")
endif()
set(HALVORN_VERSION_RC ${CMAKE_BINARY_DIR}/version.rc)
configure_file(${CMAKE_SOURCE_DIR}/src/app/version.rc.in ${HALVORN_VERSION_RC} @ONLY)
