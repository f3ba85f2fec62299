#!/usr/bin/env bash
# Runs unit tests of what file modes refuse as nobody (through setpriv) when
# run as root, else as the caller; one that skips or does not run fails.
# Usage: unit_unprivileged.sh BINARY FILTER.
set -euo pipefail
binary=$1 filter=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/tmp"
run=()
if [ "$(id -u)" = 0 ]; then
  # nobody may not reach the build folder: a copy of the binary, and a TMPDIR
  # of its own for the tests' scratch folders.
  chmod 0711 "$scratch" && chown nobody:nogroup "$scratch/tmp"
  install -m 0755 "$binary" "$scratch/unit_tests" && binary=$scratch/unit_tests
  run=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
status=0
output=$(TMPDIR=$scratch/tmp "${run[@]}" "$binary" --gtest_filter="$filter" --gtest_brief=0 2>&1) || status=$?
echo "$output"
if [ "$status" != 0 ] || ! grep -q '^\[       OK \]' <<<"$output" || grep -q '^\[  SKIPPED \]' <<<"$output"; then
  echo "unit_unprivileged: $filter did not run to a pass as uid $("${run[@]}" id -u)" >&2
  exit 1
fi
