#!/usr/bin/env bash
# The Windows build under Wine against its Remote Access service, a stub: it
# reports an entry size of 0 (the tool then uses its own record), accepts every
# name and entry, answers the entry read with 0 and the credential call with
# 635 (ERROR_UNKNOWN), whose low 8 bits, 123, are the exit status. Wine's shell
# has no Network Connections folder, so no shortcut can point at the entry.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/wine/lib.bash"

unset ALLUSERSPROFILE  # the prefix's own, C:\ProgramData
app_data="$WINEPREFIX/drive_c/ProgramData/Application Data"
pbk="$app_data/Microsoft/Network/Connections/Pbk/rasphone.pbk"
rm -rf "$app_data"
trap 'rm -rf "$app_data"' EXIT
ras() { halvorn_exe ras Office "USR 56K" 5551234 alice s3cret 57600 "$@"; }

# Without the phonebook folder the speed keys cannot be written: the profile
# writer's "path not found" is reported, and the credential status decides.
expect_run "ras without a phonebook folder" 123 $'Phonebook file not written: Error = 3\n' ras
mkdir -p "$(dirname "$pbk")"
expect_run "ras with a shortcut" 123 $'Shortcut creation error!\n\n' ras shortcut
check "speed keys in the entry's section" \
  test "$(tr -d '\0\r' <"$pbk")" = $'[Office]\nPreferredBps=57600\nConnectBps=57600'
check "no link file" [ -z "$(find "$WINEPREFIX/drive_c" -name 'Office.lnk*')" ]

expect_run "argument too long" 252 $'Argument too long: phonenumber\n' \
  halvorn_exe ras Office m "$(printf '%0128d' 0)" u p 9600
expect_run "rasreset" 0 "" halvorn_exe rasreset Office
finish
