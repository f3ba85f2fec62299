#!/usr/bin/env bash
# The fuzzing lane: builds the libFuzzer targets of tests/fuzz with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs each from its seed
# corpus for a bounded number of runs (FUZZ_RUNS, default 100000; at most
# FUZZ_SECONDS, default 10, each). Fails on any finding; prints the runs made.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${FUZZ_RUNS:-100000}
seconds=${FUZZ_SECONDS:-10}
clang=$(command -v clang++-14 || command -v clang++ || true)
[ -n "$clang" ] || { echo "fuzz: clang++ not found (tools/install-deps.sh installs clang-14)" >&2; exit 1; }

echo "== fuzzing lane ($clang)"
# Quiet unless the build fails; then its output says why.
quietly() { local out; out=$("$@" 2>&1) || { printf '%s\n' "$out" | tail -40; return 1; }; }
quietly cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER="$clang" -DHALVORN_FUZZ=ON \
  -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
quietly cmake --build build/fuzz -j "$(nproc)" --target fuzzers

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
for seeds in tests/fuzz/corpus/*/; do
  target=$(basename "$seeds")
  mkdir -p "$work/$target"
  # New inputs go to the scratch corpus, the checked-in seeds stay as they are.
  if (cd "$work" && "$root/build/fuzz/tests/fuzz/$target" -runs="$runs" -max_total_time="$seconds" \
      -max_len=4096 -print_final_stats=0 "$work/$target" "$root/$seeds") >"$work/$target.log" 2>&1; then
    made=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$work/$target.log" | tail -1)
    echo "ok   $target: ${made:-?} runs"
  else
    echo "FAIL $target: a finding (input saved as $root/build/fuzz/crash-*)"
    tail -40 "$work/$target.log"
    cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$root/build/fuzz/" 2>/dev/null || true
    failed=$((failed + 1))
  fi
done
[ "$failed" -eq 0 ] || { echo "$failed fuzz target(s) found faults"; exit 1; }
