#!/usr/bin/env bash
# query and the other programs on the port (UUCP locks in a scratch lock
# folder, exclusive mode): live locks refuse a run, stale ones are taken over
# atomically, and every way out (signals, kills) leaves the port and the locks
# as found.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/e2e/simulator.bash"
private_lock_folder
enter_scratch
locks=$(lock_folder)

simulator_start --speeds 9600 --profile E0
port=$SIMULATOR_PTY
device=${port##*/}
nothing_sent() { grep -q '^start ' "$SIMULATOR_LOG" && ! grep -q '^\(open\|cmd\) ' "$SIMULATOR_LOG"; }

# A live lock refuses the run, also one whose process the caller may not
# signal (EPERM): init, to nobody (as root) or to a user namespace's root.
sleep 300 &
holder=$!
other=("$HALVORN") own=$PWD owner=$(id -un)
if runuser -u nobody -- true 2>/dev/null; then
  own=$(mktemp -d) && cp "$HALVORN" "$own/" && chown nobody "$own" && chmod 666 "$port"
  other=(runuser -u nobody -- "$own/halvorn") owner=nobody
fi
# So does one under the device's name when the port is spelt in a path too
# long for a lock name (4090 bytes).
lock=$locks/LCK..pts_$device long=/dev$(printf '/.%.0s' {1..2040})/pts/$device
for caller in other self long; do
  pid=$holder report=$PWD/report.ini run=("$HALVORN") path=$port
  [ $caller != other ] || pid=1 report=$own/report.ini run=("${other[@]}")
  [ $caller != long ] || path=$long
  printf '%10d\n' "$pid" >"$lock"
  [ $caller != other ] || chown "$owner" "$lock"
  capture_run "${run[@]}" query "$path" "ATI0" "$report"
  check "live lock ($caller): status 2, nothing printed, no report, the port not even opened, the lock as it was" \
    eval '[ "$run_status:$run_output" = 2: ] && [ ! -e "$report" ] && nothing_sent && [ "$(cat "$lock")" = "$(printf "%10d" "$pid")" ]'
done
kill "$holder"
wait "$holder" 2>/dev/null || true
: >"$lock"
capture_run "$HALVORN" query "$port" "ATI0" report.ini
check "an empty lock just made (pppd writes its PID next): status 2, the port not opened, the lock left empty" \
  test "$run_status $(nothing_sent && wc -c <"$lock")" = "2 0"
# A minute old, that empty lock is stale, and so is one that holds no PID.
touch -d '-1 minute' "$lock"
printf 'halvorn\n' >"$locks/LCK..$device"
capture_run "$HALVORN" query "$port" "ATI0" report.ini
check "stale locks taken over: status 0, the modem asked, no lock left" \
  test "$run_status $(grep -c '^ATI0=56000  OK' report.ini) $(ls -A "$locks")" = "0 1 "

# Two runs meet a stale lock. The first is held up (strace) between looking at
# it and taking it away, while the second takes it over; the first then finds
# a live lock, leaves it, and is refused.
printf '%10d\n' "$holder" >"$locks/LCK..$device"
calls=rename,renameat,renameat2,unlink,unlinkat
strace -qq -o /dev/null -e trace=$calls -e inject=$calls:delay_enter=2000000:when=1 \
  "$HALVORN" query "$port" "ATI0" slow.ini >slow.out & slow=$!
sleep 1
"$HALVORN" query "$port" "ATI0|ATI1|ATI2|ATI3|ATI4|ATI5|ATI6|ATI7" fast.ini >/dev/null & fast=$!
status=0
wait "$slow" || status=$?
check "a stale lock met twice: the later taker is refused with 2, printing nothing; the earlier one's lock stays" \
  test "$status $(wc -c <slow.out) $(cat "$locks/LCK..$device")" = "2 0 $(printf '%10d' "$fast")"
status=0
wait "$fast" || status=$?
check "... which ends 0 and removes it" test "$status:$(ls -A "$locks")" = 0:

# Killed between making its lock's content and linking it, a run leaves
# nothing; a lock's temporary file left by a maker that is gone (UUCP's
# LTMP.PID) goes with the next run, a live maker's stays.
status=0
(strace -qq -o /dev/null -e trace=link,linkat -e inject=link,linkat:signal=SIGKILL:when=1 \
  "$HALVORN" query "$port" "ATI0" killed.ini >/dev/null) 2>/dev/null || status=$?
check "killed before its lock is linked: nothing left" test "$status:$(ls -A "$locks")" = 137:
touch "$locks/LTMP.$holder" "$locks/LTMP.$holder.stale" "$locks/LTMP.$$"
"$HALVORN" query "$port" "ATI0" report.ini >/dev/null
check "a gone maker's temporary files removed, a live one's kept" test "$(ls -A "$locks")" = "LTMP.$$"
rm "$locks/LTMP.$$"
simulator_stop

# Silent at every speed: the probe runs for 20 s unless ended. Each signal
# comes while the port is open (its exclusive mode tells); the run ends as the
# signal does, the port as found and every lock gone, but one another process
# put in place of the run's.
simulator_start --speeds 1200 --on '*' silent
mkdir -p dev/serial/by-id && ln -s "$SIMULATOR_PTY" dev/serial/by-id/usb-Modem
ln -s ../dev/serial/by-id/usb-Modem dev/modem
stty -F "$SIMULATOR_PTY" 2400 icanon echo
found=$(stty -g -F "$SIMULATOR_PTY")
# 1 while the port is in exclusive mode (TIOCGEXCL; only root can open it
# then, not a user namespace's root).
exclusive() {
  python3 -c 'import fcntl, os, struct, sys
fd = os.open(sys.argv[1], os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
print(struct.unpack("i", fcntl.ioctl(fd, 0x80045440, bytes(4)))[0])' "$SIMULATOR_PTY" 2>/dev/null || echo 1
}
lock=$locks/LCK..${SIMULATOR_PTY##*/}
held() { local n; for n; do [ "$(cat "$locks/$n")" = "$(printf '%10d' "$run")" ] || return 1; done; }
for signal in INT:130 TERM:143 HUP:129; do
  # Without job control a shell starts background jobs with SIGINT ignored.
  [ "$signal" = TERM:143 ] && ignore=--ignore-signal=HUP || ignore=
  env --default-signal=INT $ignore "$HALVORN" query "$PWD/dev/modem" "ATI0" probe.ini >/dev/null &
  run=$!
  wait_until 5 eval '[ "$(exclusive)" = 1 ]' || true
  if [ "$signal" = TERM:143 ]; then
    kill -HUP "$run" && sleep 1
    check "a SIGHUP ignored as by nohup stays so; the run holds the lock under every name of the chain of links" \
      held "LCK..${lock##*..}" "LCK..pts_${lock##*..}" LCK..modem LCK..usb-Modem LCK..serial_by-id_usb-Modem
    rm "$lock" && printf '%10d\n' $$ >"$lock"  # this live shell takes it over
  fi
  kill -"${signal%:*}" "$run"
  status=0
  wait "$run" || status=$?
  if [ "$signal" = TERM:143 ]; then
    check "SIGTERM: the other process's lock stays, nothing else" \
      test "$(ls -A "$locks"):$(cat "$lock")" = "${lock##*/}:$(printf '%10d' $$)"
    rm -f "$lock"
  fi
  check "SIG${signal%:*} with the port open: status ${signal#*:}, the port's settings and mode as found, no lock" \
    test "$status $(stty -g -F "$SIMULATOR_PTY") $(exclusive) $(ls -A "$locks")" = "${signal#*:} $found 0 "
done
# SIGTERM at each step of the open (strace sends it on the nth ioctl) up to
# the one that sets exclusive mode, while another program holds the line open.
exec {line}<>"$SIMULATOR_PTY"
outcomes=
for when in 1 2 3 4 5 6; do
  status=0
  strace -qq -o trace -e trace=ioctl -e inject=ioctl:signal=SIGTERM:when=$when \
    "$HALVORN" query "$SIMULATOR_PTY" "ATI0" probe.ini >/dev/null || status=$?
  outcomes+="$status $(exclusive) $(ls -A "$locks");"
  if grep -A1 'TIOCEXCL)' trace | grep -q '^--- SIGTERM'; then break; fi
done
check "SIGTERM at the open up to TIOCEXCL: status 143, the port not exclusive, no lock" \
  eval 'grep -A1 "TIOCEXCL)" trace | grep -q "^--- SIGTERM" && [ -z "${outcomes//143 0 ;}" ]'
exec {line}>&-
simulator_stop

simulator_start --speeds 9600 --profile E0
python3 -c 'import fcntl, os, sys, termios, time
fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)
fcntl.ioctl(fd, termios.TIOCEXCL)
print("held", flush=True)
time.sleep(60)' "$SIMULATOR_PTY" >exclusive &
excluder=$!
wait_until 5 test -s exclusive || true
expect_run "port in another's exclusive mode (as $(id -un)): status 2" 2 "" "$HALVORN" query "$SIMULATOR_PTY" "ATI0" excl.ini
check "exclusive mode: nothing sent" bash -c "! grep -q '^cmd ' '$SIMULATOR_LOG'"
kill "$excluder"
wait "$excluder" 2>/dev/null || true
finish
