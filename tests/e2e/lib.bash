# Helpers shared by the end-to-end scripts.
failures=0

# expect_run NAME STATUS OUTPUT COMMAND...: runs COMMAND and compares its exact
# standard output (bytes, including trailing line feeds) and exit status.
expect_run() {
  local name=$1 want_status=$2 want_output=$3
  shift 3
  capture_run "$@"
  local out=$run_output status=$run_status
  if [ "$status" != "$want_status" ]; then
    echo "FAIL $name: status $status, wanted $want_status"
    failures=$((failures + 1))
  elif [ "$out" != "$want_output" ]; then
    echo "FAIL $name: output differs"
    diff <(printf '%s' "$want_output" | od -c) <(printf '%s' "$out" | od -c) | head -20 || true
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

# Runs a command once, capturing its output in $run_output and status in $run_status.
capture_run() {
  run_status=0
  run_output=$("$@" 2>/dev/null; s=$?; printf x; exit $s) || run_status=$?
  run_output=${run_output%x}
}

check() {
  local name=$1
  shift
  if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}

finish() {
  [ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
}
