#!/usr/bin/env bash
# The modem simulator's far end (--answer): chat dials it, talks to the
# program through the call, escapes with +++ after the guard time (S12), goes
# back online with ATO and hangs up with ATH; the program's end gives NO
# CARRIER, and the port's last close hangs up and ends the program.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/e2e/simulator.bash"
enter_scratch

# chat_with PAIRS...: chat runs the expect-send pairs against the modem.
chat_with() {
  printf '%s\n' 'ABORT ERROR' 'TIMEOUT 5' "$@" >script
  stty -F "$SIMULATOR_PTY" raw -echo
  timeout 30 /usr/sbin/chat -v -s -f script <"$SIMULATOR_PTY" >"$SIMULATOR_PTY" 2>chat.log ||
    { cat chat.log; return 1; }
}
logged() { local pattern; for pattern; do grep -q "$pattern" "$SIMULATOR_LOG" || return 1; done; }

# A guard time of 0.5 s; chat's \d waits a second before +++. A +++ right
# after data is data; one after a lone + and the guard time escapes.
simulator_start --answer sh -c 'echo ready; exec stdbuf -o0 tr a-z A-Z'
check "data reach the program and come back; +++, ATO, +++, ATH" chat_with '"" ATS12=25DT1' 'CONNECT ""' \
  'ready hello+++\c' 'HELLO+++ \d+\c' '+ \d+++\c' 'OK ATO' 'CONNECT more' 'MORE \d+++\c' 'OK ATH' 'OK ATO' \
  '"NO CARRIER" AT' 'OK ""'
check "the log has the call, both escapes and the hang-up" test "$(sed -En 's/^(call|escape) .*/\1/p
  s/^hangup t=[0-9]+ (why=[a-z-]+) .*/hangup \1/p' "$SIMULATOR_LOG" | tr '\n' ' ')" = "call escape escape hangup why=ath "

# ATZ restores the stored profile (E0: no echo).
simulator_start --profile E0 --answer sh -c 'echo bye'
check "the program's end: NO CARRIER, and commands again" chat_with '"" ATZ' 'OK ATD5' 'CONNECT ""' 'bye ""' \
  '"NO CARRIER" AT' 'OK ""'
check "ATZ keeps E0; the hang-up is the program's" logged 'rx="ATZ\\r" tx="\\r\\nOK\\r\\n"' '^hangup .* why=program-ended'

simulator_start --answer sh -c 'echo $$ >"$0"; exec cat' "$PWD/far.pid"
check "a call up when the port closes" chat_with '"" ATD7' 'CONNECT ""'
check "the last close hangs up" wait_until 5 logged '^hangup .* why=port-closed'
check "and the program ends" eval 'test -s far.pid && wait_until 5 eval "! kill -0 $(cat far.pid) 2>/dev/null"'
simulator_stop
finish
