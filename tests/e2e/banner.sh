#!/usr/bin/env bash
# The native binary: banner bytes and statuses of the command front end; the
# README's scripts.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"

expect_run "query without operands" 255 "$banner" "$HALVORN" query COM1
expect_run "ras with five operands" 255 "$banner" "$HALVORN" ras a b c d e
expect_run "unknown word" 0 "" "$HALVORN" QUERY a b c
expect_run "capital initial" 0 "" "$HALVORN" Query a b c
# Each script the README tells a user to run runs as it shows it.
for script in $(grep -o 'tools/[a-z0-9_/-]*\.sh' "$SOURCE_DIR/README.md" | sort -u); do
  check "$script can be run as the README shows it" test -x "$SOURCE_DIR/$script"
done
finish
