#!/usr/bin/env bash
# The Windows build under Wine: banner bytes and statuses of the command front end.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/wine/lib.bash"

banner=$'\nHalvorn utility version '"$HALVORN_VERSION"$'\n\n\tUsage:\thalvorn.exe query COMx "AT|ATI0|ATI1" output.ini\n\n\t\thalvorn.exe ras connection modem phonenumber user password baudrate [shortcut]\n'

expect_run "no arguments" 255 "$banner" halvorn_exe
expect_run "query without operands" 255 "$banner" halvorn_exe query COM1
expect_run "unknown word" 0 "" halvorn_exe QUERY a b c
finish
