#!/usr/bin/env bash
# The native binary: banner bytes and statuses of the command front end.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"

expect_run "query without operands" 255 "$banner" "$HALVORN" query COM1
expect_run "unknown word" 0 "" "$HALVORN" QUERY a b c
expect_run "capital initial" 0 "" "$HALVORN" Query a b c
finish
