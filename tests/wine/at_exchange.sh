#!/usr/bin/env bash
# The Windows serial line under Wine: AT exchanges through at_exchange.exe
# against a pseudo-terminal linked as COM5, with a scripted modem on the other
# side. Line settings, long replies and odd speeds are checked natively.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/wine/lib.bash"

state=$(mktemp -d)
com5="$WINEPREFIX/dosdevices/com5"
# The modem ends its first answer with XOFF and never sends XON.
python3 "$SOURCE_DIR/tests/wine/pty_modem.py" "$state" 0d0a4f4b0d0a13 &
modem_pid=$!
trap 'set +e; kill $modem_pid; wait $modem_pid; rm -rf "$com5" "$state"; wine_wait' EXIT
for _ in $(seq 100); do [ -f "$state/port" ] && break; sleep 0.1; done
ln -sfn "$(cat "$state/port")" "$com5"

exchange() { wine_run "$(dirname "$HALVORN_EXE")/at_exchange.exe" "$@" | tr -d '\r'; }

expect_run "probe answered" 0 $'reply: 0d0a4f4b0d0a\n' exchange COM5
# The next command cannot be written: the write timeout ends the exchange.
expect_run "write held by XOFF times out" 2 $'error: 1460\n' exchange COM5
check "the probe's ten bytes, nothing more" test "$(cat "$state/heard")" = 41545130563145300d0a
finish
