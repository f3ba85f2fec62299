#!/usr/bin/env bash
# The Windows build under Wine: ras and rasreset against Wine's Remote Access
# service, which is a stub. It reports an entry size of 0 (the tool then uses
# its own record), accepts every name and entry, and answers the credential
# call with 635 (ERROR_UNKNOWN), whose low 8 bits, 123, are the exit status.
# Its entry read answers 0.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/wine/lib.bash"

unset ALLUSERSPROFILE  # the prefix's own, C:\ProgramData
app_data="$WINEPREFIX/drive_c/ProgramData/Application Data"
pbk="$app_data/Microsoft/Network/Connections/Pbk/rasphone.pbk"
rm -rf "$app_data"
trap 'rm -rf "$app_data"' EXIT

stub_credentials=123

# Nothing made the phonebook folder, so the speed keys cannot be written: the
# profile writer's "path not found" is reported and the credential status
# still decides the result.
expect_run "ras without a phonebook folder" $stub_credentials \
  $'Phonebook file not written: Error = 3\n' \
  halvorn_exe ras Office "USR 56K" 5551234 alice s3cret 57600

mkdir -p "$(dirname "$pbk")"
# Wine's shell has no Network Connections folder, so the shortcut is refused.
expect_run "ras with the phonebook folder" $stub_credentials $'Shortcut creation error!\n\n' \
  halvorn_exe ras Office "USR 56K" 5551234 alice s3cret 57600 shortcut
keys=$(tr -d '\0\r' <"$pbk")
check "speed keys in the entry's section" \
  test "$keys" = $'[Office]\nPreferredBps=57600\nConnectBps=57600'

expect_run "argument too long" 252 $'Argument too long: phonenumber\n' \
  halvorn_exe ras Office m "$(printf '%0128d' 0)" u p 9600
expect_run "rasreset" 0 "" halvorn_exe rasreset Office
finish
