#!/usr/bin/env bash
# The Windows build under Wine, whose shell has no Network Connections folder:
# the shortcut cannot point at the entry, so it is not made, the error is
# printed, and the result of `ras` is what it is without the shortcut.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/wine/lib.bash"

suffix=$$
capture_run halvorn_exe ras "Plain$suffix" "USR 56K" 5551234 alice s3cret 57600
plain_output=$run_output plain_status=$run_status

expect_run "shortcut without a connections folder" "$plain_status" \
  "${plain_output}Shortcut creation error!"$'\n\n' \
  halvorn_exe ras "Office$suffix" "USR 56K" 5551234 alice s3cret 57600 shortcut

stray=$(find "$WINEPREFIX/drive_c" -name "Office$suffix.lnk*" 2>/dev/null || true)
check "no link file" [ -z "$stray" ]
finish
