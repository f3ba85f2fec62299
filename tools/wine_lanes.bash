# Which Windows builds Wine can run here, found by running each of Wine's
# loaders (a 32-bit and a 64-bit Linux program): find_wine_lanes sets
# wine_lanes to win32, win64 or both, and fails when neither runs. bash runs
# them, so a kernel without 32-bit support answers "Exec format error".
# HALVORN_TEST_NO_32BIT=1 makes the 32-bit check fail on purpose.
wine_loader_runs() { timeout 60 bash -c '"$0" --version' "$1" 2>&1; }
find_wine_lanes() {
  wine_lanes=()
  local out
  if [ "${HALVORN_TEST_NO_32BIT:-}" = 1 ]; then
    out="check made to fail by HALVORN_TEST_NO_32BIT=1"
  elif out=$(wine_loader_runs /usr/lib/wine/wine); then
    wine_lanes+=(win32)
  fi
  if [ "${wine_lanes[*]}" != win32 ]; then
    echo "== no 32-bit Wine lane: 32-bit programs do not run on this machine (${out##*$'\n'})"
  fi
  wine_loader_runs /usr/lib/wine/wine64 >/dev/null && wine_lanes+=(win64)
  if [ ${#wine_lanes[@]} -eq 0 ]; then
    echo "== no Windows build can run under Wine on this machine" >&2
    return 1
  fi
  echo "== Wine lanes: ${wine_lanes[*]}"
}
