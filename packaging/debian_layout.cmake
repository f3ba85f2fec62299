# Run by cpack on the staged files before it builds each package. For the .deb
# it gives the documentation Debian's layout: a compressed manual page and
# changelog, the licence as the package's machine-readable copyright file, and
# a program stripped as Debian's own tools strip it.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(usr "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${usr}/share/doc/halvorn")

# cpack's strip keeps the compiler's .comment notes; dh_strip drops them too.
execute_process(COMMAND strip --remove-section=.comment --remove-section=.note "${usr}/bin/halvorn"
  COMMAND_ERROR_IS_FATAL ANY)

# gzip -n leaves out the name and time stamp, so the package is reproducible.
execute_process(COMMAND gzip -9nf "${usr}/share/man/man1/halvorn.1" COMMAND_ERROR_IS_FATAL ANY)
file(COPY_FILE "${CPACK_HALVORN_SOURCE_DIR}/packaging/changelog" "${doc}/changelog")
execute_process(COMMAND gzip -9nf "${doc}/changelog" COMMAND_ERROR_IS_FATAL ANY)

# The licence text under a header, each line indented and blank lines as " .".
file(READ "${CPACK_HALVORN_SOURCE_DIR}/LICENSE" licence)
string(REGEX REPLACE "^MIT License\n\n" "" licence "${licence}")
string(STRIP "${licence}" licence)
string(REPLACE "\n" "\n " licence " ${licence}\n")
string(REPLACE "\n \n" "\n .\n" licence "${licence}")
set(copyright "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n")
string(APPEND copyright "Upstream-Name: halvorn\n\nFiles: *\nCopyright: 2025 Halvorn developers\n")
string(APPEND copyright "License: Expat\n${licence}")
file(WRITE "${doc}/copyright" "${copyright}")
file(REMOVE "${doc}/LICENSE")
