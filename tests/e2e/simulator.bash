# Starts and stops the modem simulator (build/native/modem_simulator) for the
# end-to-end scripts, one at a time per script:
#
#   simulator_start --speeds 115200 --profile E0      # the worked example's modem
#   ... run the tool on $SIMULATOR_PTY (or on a --link made for it) ...
#   simulator_exchanges                               # "9600 ATQ0V1E0\r\n" ...
#   simulator_stop
#
# simulator_start passes its arguments to the simulator (see its --help) and
# adds --log and --ready-file. It sets SIMULATOR_PTY (the slave device, e.g.
# /dev/pts/3), SIMULATOR_PID, and SIMULATOR_LOG: one "cmd ..." line per command
# line received (speed, framing, rx="bytes", tx="bytes", dial="string" after an
# ATD, act=what it did), "open"/"close" lines for the port, "drop", "vanish",
# "stop". A script without an EXIT trap gets one that stops the simulator; a
# trap of the script's own (enter_scratch's does) must call simulator_stop.
#
# The modem starts in E1 and echoes, like a real one: a probe gets the echo
# back and moves on to the next speed. --profile E0 makes it answer the probe
# with a plain OK. ATD answers CONNECT <line speed>; --dial busy|no-carrier|
# no-dialtone makes dialling fail instead.
#
# Do not read the pseudo-terminal with bash's read -n/-d: bash switches the
# line to a cooked cbreak mode while it reads.
#
# For the Windows build under Wine, let the simulator make the COM port:
#   simulator_start --link "$WINEPREFIX/dosdevices/com5" --speeds 115200 ...
#   halvorn_exe query com5 ...         (tests/wine/lib.bash)
# The link is removed when the simulator stops. Wine sets speeds without a
# Bxxx constant (14400, 28800, 33600) as 38400 on a pseudo-terminal, so test
# those speeds natively.

SIMULATOR_PTY=
SIMULATOR_LOG=
SIMULATOR_PID=
SIMULATOR_DIR=

simulator_start() {
  local binary=${MODEM_SIMULATOR:-$BUILD_DIR/modem_simulator}
  [ -z "$SIMULATOR_PID" ] || simulator_stop
  SIMULATOR_DIR=$(mktemp -d "${TMPDIR:-/tmp}/modem-simulator.XXXXXX")
  SIMULATOR_LOG=$SIMULATOR_DIR/log
  "$binary" --log "$SIMULATOR_LOG" --ready-file "$SIMULATOR_DIR/ready" "$@" \
    >"$SIMULATOR_DIR/stdout" 2>"$SIMULATOR_DIR/stderr" &
  SIMULATOR_PID=$!
  [ -n "$(trap -p EXIT)" ] || trap simulator_stop EXIT
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

# Ends the simulator with SIGTERM (it removes its link and logs "stop") and
# waits for it; a simulator that has already vanished is fine. The log stays
# readable until the next simulator_start.
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

# Prints one line per command line the simulator received: the speed in
# force and the bytes, C-escaped, e.g.  115200 ATI0\r\n
simulator_exchanges() {
  sed -n 's/^cmd .* speed=\([0-9]*\) .*rx="\(.*\)" tx=".*$/\1 \2/p' "$SIMULATOR_LOG"
}

