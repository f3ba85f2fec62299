#!/usr/bin/env bash
# Runs unit tests that check what file modes refuse, which bind every user but
# root, as an unprivileged user: under root (as CI runs) through setpriv as
# nobody, otherwise as the caller. Usage: unit_unprivileged.sh BINARY FILTER.
# A test that skips or does not run fails here, so that it never drops out of
# CI unnoticed.
set -euo pipefail
binary=$1
filter=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
run=()
if [ "$(id -u)" = 0 ]; then
  # nobody may not reach the build folder: it gets a copy of the binary and a
  # TMPDIR of its own for the tests' scratch folders.
  chmod 0711 "$scratch"
  install -m 0755 "$binary" "$scratch/unit_tests"
  mkdir "$scratch/tmp"
  chown nobody:nogroup "$scratch/tmp"
  binary=$scratch/unit_tests
  run=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
else
  mkdir "$scratch/tmp"
fi
output=$(TMPDIR=$scratch/tmp "${run[@]}" "$binary" --gtest_filter="$filter" --gtest_brief=0 2>&1) || {
  echo "$output"
  exit 1
}
echo "$output"
count=$(grep -c '^\[       OK \]' <<<"$output" || true)
if [ "$count" = 0 ] || grep -q '^\[  SKIPPED \]' <<<"$output"; then
  echo "unit_unprivileged: $filter did not run to a pass as uid $("${run[@]}" id -u)" >&2
  exit 1
fi
