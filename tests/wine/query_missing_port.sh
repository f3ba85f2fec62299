#!/usr/bin/env bash
# Under Wine: a port that does not exist ends the query with status 2, no output and no report.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/wine/lib.bash"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

expect_run "missing device path" 2 "" halvorn_exe query COM9 "ATI0|ATI1" report.ini
expect_run "missing COM port" 2 "" halvorn_exe query COM250 "ATI0" report.ini
check "no report file written" test ! -e report.ini
finish
