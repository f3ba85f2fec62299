#!/usr/bin/env bash
# The Windows build under Wine: banner bytes and statuses of the command front end.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/wine/lib.bash"

expect_run "no arguments" 255 "$banner" halvorn_exe
expect_run "query without operands" 255 "$banner" halvorn_exe query COM1
expect_run "unknown word" 0 "" halvorn_exe QUERY a b c
finish
