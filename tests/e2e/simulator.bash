# The modem simulator (build/native/modem_simulator, see its --help), one at a
# time per script. simulator_start ARGS... sets SIMULATOR_PTY (the slave
# device), SIMULATOR_PID and SIMULATOR_LOG (one "cmd ... speed= rx= tx= dial=
# act=" line per command line); a script's own EXIT trap must call
# simulator_discard (enter_scratch's does). Under Wine, --link
# "$WINEPREFIX/dosdevices/com5" makes the COM port; Wine sets speeds with no
# Bxxx constant (14400, 28800, 33600) as 38400, so test those natively. Never
# read the pseudo-terminal with bash's read -n/-d: bash switches the line to
# cooked cbreak mode meanwhile.
SIMULATOR_PTY= SIMULATOR_LOG= SIMULATOR_PID= SIMULATOR_DIR=

simulator_start() {
  local binary=${MODEM_SIMULATOR:-$BUILD_DIR/modem_simulator}
  simulator_discard
  SIMULATOR_DIR=$(mktemp -d "${TMPDIR:-/tmp}/modem-simulator.XXXXXX")
  SIMULATOR_LOG=$SIMULATOR_DIR/log
  "$binary" --log "$SIMULATOR_LOG" --ready-file "$SIMULATOR_DIR/ready" "$@" \
    >"$SIMULATOR_DIR/stdout" 2>"$SIMULATOR_DIR/stderr" &
  SIMULATOR_PID=$!
  [ -n "$(trap -p EXIT)" ] || trap simulator_discard EXIT
  local tries=0
  until [ -s "$SIMULATOR_DIR/ready" ]; do
    if ! kill -0 "$SIMULATOR_PID" 2>/dev/null || [ $tries -ge 250 ]; then
      echo "modem simulator did not start: $(cat "$SIMULATOR_DIR/stderr")" >&2
      simulator_stop
      return 1
    fi
    tries=$((tries + 1))
    sleep 0.02
  done
  read -r SIMULATOR_PTY <"$SIMULATOR_DIR/ready"
}

# Ends the simulator with SIGTERM (it removes its link) and waits for it; the
# log stays readable until the next simulator_start.
simulator_stop() {
  [ -n "$SIMULATOR_PID" ] || return 0
  local pid=$SIMULATOR_PID tries=0
  SIMULATOR_PID=
  kill -TERM "$pid" 2>/dev/null || true
  while kill -0 "$pid" 2>/dev/null && [ $tries -lt 250 ]; do
    tries=$((tries + 1))
    sleep 0.02
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

# Stops the simulator and removes its folder with the log.
simulator_discard() {
  simulator_stop
  [ -z "$SIMULATOR_DIR" ] || rm -rf "$SIMULATOR_DIR"
  SIMULATOR_DIR=
}

# Prints one line per command line the simulator received: the speed in
# force and the bytes, C-escaped, e.g.  115200 ATI0\r\n
simulator_exchanges() {
  sed -n 's/^cmd .* speed=\([0-9]*\) .*rx="\(.*\)" tx=".*$/\1 \2/p' "$SIMULATOR_LOG"
}

