# Builds the Windows installer of one architecture, with the README and the
# licence of this source tree:
#   cmake -DARCH=win32|win64 -DVERSION=0.201.50928 "-DPUBLISHER=Halvorn developers"
#         -DPROGRAM=build/win64/halvorn.exe -DOUTPUT=halvorn-0.201.50928-win64.msi
#         -P packaging/windows_installer.cmake
# wixl (Debian's wixl) builds the package from halvorn.wxs; msibuild (msitools)
# then adds the PATH entry, which wixl cannot express.
cmake_minimum_required(VERSION 3.20)

foreach(name ARCH VERSION PUBLISHER PROGRAM OUTPUT)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "windows_installer.cmake: -D${name}=... is missing")
  endif()
endforeach()

# Each architecture is a product of its own, whose upgrade code never changes:
# it is how a newer package finds the older one to replace.
set(upgrade_code_win32 6E40CA4F-1030-446F-B2EF-03E046DAAC2B)
set(upgrade_code_win64 9E57AC49-CC91-4F6C-9C9E-7CFBF87B6B31)
set(wixl_arch_win32 x86)
set(wixl_arch_win64 x64)
if(NOT DEFINED upgrade_code_${ARCH})
  message(FATAL_ERROR "windows_installer.cmake: unknown architecture ${ARCH}")
endif()

# Windows Installer compares the first three numbers of a version, at most
# 255.255.65535, and ignores a fourth: a version it cannot tell apart from
# another would install beside it instead of replacing it.
if(NOT VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$" OR CMAKE_MATCH_1 GREATER 255
   OR CMAKE_MATCH_2 GREATER 255 OR CMAKE_MATCH_3 GREATER 65535)
  message(FATAL_ERROR "version ${VERSION}: Windows Installer needs three numbers, "
    "at most 255.255.65535")
endif()

# One product code per architecture and version, the same at every build: a
# second package of an installed version is that product again, which Windows
# repairs or refuses, and never installs as a second copy.
string(UUID product_code NAMESPACE ${upgrade_code_${ARCH}} NAME ${VERSION} TYPE SHA1 UPPER)

# wixl takes the files from its working folder: a scratch stage beside the output.
set(stage ${OUTPUT}.stage)
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})
get_filename_component(source_dir ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
file(COPY_FILE ${PROGRAM} ${stage}/halvorn.exe)
file(COPY_FILE ${source_dir}/README.md ${stage}/README.md)
file(COPY_FILE ${source_dir}/LICENSE ${stage}/LICENSE)

# wixl says nothing when all is well: anything it prints (an attribute it does
# not know, a file it cannot find) fails the build.
execute_process(
  COMMAND wixl -a ${wixl_arch_${ARCH}} -D Arch=${ARCH} -D Version=${VERSION}
    -D ProductCode={${product_code}} -D UpgradeCode={${upgrade_code_${ARCH}}}
    "-D" "Publisher=${PUBLISHER}" -o ${stage}/halvorn.msi ${CMAKE_CURRENT_LIST_DIR}/halvorn.wxs
  WORKING_DIRECTORY ${stage} RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE said)
if(NOT status EQUAL 0 OR NOT said STREQUAL "")
  message(FATAL_ERROR "wixl failed (${status}):\n${said}")
endif()

# The install folder on the system PATH ("=" set at install, "-" taken away at
# removal, "*" the system's variable), with the standard actions that write
# and remove it. It goes in front ("[~]" stands for the value there): Wine's
# msiexec takes an appended entry away without its separator, so that each
# upgrade (a removal, then an install) would leave an empty entry, at which
# Wine's cmd stops searching; an entry in front goes with its separator and
# leaves the PATH as it was. The folder holds no other program to shadow one.
execute_process(
  COMMAND msibuild ${stage}/halvorn.msi
    -q "CREATE TABLE `Environment` (`Environment` CHAR(72) NOT NULL, `Name` CHAR(255) NOT NULL LOCALIZABLE, `Value` CHAR(255) LOCALIZABLE, `Component_` CHAR(72) NOT NULL PRIMARY KEY `Environment`)"
    -q "INSERT INTO `Environment` (`Environment`, `Name`, `Value`, `Component_`) VALUES ('Path', '=-*PATH', '[INSTALLDIR];[~]', 'Program')"
    -q "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('RemoveEnvironmentStrings', 3300)"
    -q "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('WriteEnvironmentStrings', 5200)"
  RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE said)
if(NOT status EQUAL 0 OR NOT said STREQUAL "")
  message(FATAL_ERROR "msibuild failed (${status}):\n${said}")
endif()

file(RENAME ${stage}/halvorn.msi ${OUTPUT})
file(REMOVE_RECURSE ${stage})
