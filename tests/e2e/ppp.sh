#!/usr/bin/env bash
# The native binary on Linux: `ras` makes a connection that Debian's pppd and
# chat take as written, in a private mount namespace (see private_ppp_config).
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/e2e/simulator.bash"
private_ppp_config dev

enter_scratch
export ALLUSERSPROFILE=$PWD
peers=/etc/ppp/peers chats=/etc/chatscripts
cp /etc/ppp/pap-secrets /etc/ppp/chap-secrets "$ALLUSERSPROFILE/"

# pppd prints a value with '"' and '\' escaped.
pppd_shows() { sed 's/[\\"]/\\&/g' <<<"$1"; }
dryrun() { /usr/sbin/pppd call "$1" dryrun 2>&1; }

expect_run "ras Office" 0 "" "$HALVORN" ras Office /dev/ttyUSB0 5551234 alice s3cret 57600
check "peer and chat script root:dip 0640, the secrets still root:root 0600" test \
  "$(stat -c '%U:%G %a' "$peers/Office" "$chats/Office" /etc/ppp/{pap,chap}-secrets | tr '\n' ' ')" = \
  "root:dip 640 root:dip 640 root:root 600 root:root 600 "
for secrets in pap chap; do
  check "$secrets-secrets: every byte kept, the entry added" cmp -s /etc/ppp/$secrets-secrets \
    <(cat "$ALLUSERSPROFILE/$secrets-secrets"; printf '# halvorn: Office\n"alice" "Office" "s3cret"\n')
done
capture_run dryrun Office
check "pppd dry run of Office exits 0" test "$run_status" = 0
for option in "user alice" "remotename Office" "linkname Office" /dev/ttyUSB0 57600 noauth \
  "connect /usr/sbin/chat -v -f /etc/chatscripts/Office"; do
  check "pppd reads: $option" grep -q "^$option"$'\t\t# (from /etc/ppp/peers/Office)' <<<"$run_output"
done

# chat gives up on a busy line at the script's first ABORT; `pon` below dials
# through the same script.
simulator_start --dial busy
stty -F "$SIMULATOR_PTY" raw -echo 57600
status=0
timeout 30 /usr/sbin/chat -v -f "$chats/Office" <"$SIMULATOR_PTY" >"$SIMULATOR_PTY" 2>/dev/null || status=$?
simulator_stop
check "chat on a busy line: exit 4 (the first ABORT)" test "$status" = 4

# Hostile texts come back exactly as pppd reads them.
user='a "b\#$c d' password='p "w\#$ x\'
expect_run "ras with a hostile user and password" 0 "" \
  "$HALVORN" ras 'My "O#ff$ice' /dev/ttyUSB0 555-12.34 "$user" "$password" 057600
capture_run dryrun 'My "O#ff$ice'
check "pppd call with blanks and quotes in the name exits 0" test "$run_status" = 0
check "pppd reads the user exactly" grep -qxF "user $(pppd_shows "$user")"$'\t\t# (from /etc/ppp/peers/My "O#ff$ice)' <<<"$run_output"
check "pppd reads the number as speed 57600" grep -q $'^57600\t' <<<"$run_output"
check "the chat script dials 5551234" grep -qx 'OK ATDT5551234' "$chats/My \"O#ff\$ice"
# The secrets line is the peer file's user and remotename words, then the
# secret: pppd reads that word back through the same tokenizer.
raw_user=$(sed -n 's/^user //p' "$peers/My \"O#ff\$ice") raw_name=$(sed -n 's/^remotename //p' "$peers/My \"O#ff\$ice")
line=$(tail -n 1 /etc/ppp/pap-secrets)
check "secrets line starts with the user and the connection" test "${line#"$raw_user $raw_name "}" != "$line"
printf '"/dev/ttyUSB0"\nnoauth\nipparam %s\n' "${line#"$raw_user $raw_name "}" >"$peers/probe"
check "pppd reads the secret exactly" grep -qxF "ipparam $(pppd_shows "$password")"$'\t\t# (from /etc/ppp/peers/probe)' <<<"$(dryrun probe)"

# Refusals, before anything is written.
state() { ls -A "$peers" "$chats"; cat /etc/ppp/*-secrets "$ALLUSERSPROFILE"/Application\ Data/*/*/*/Pbk/*; }
before=$(state)
quotes() { printf "%0${1}d" 0 | tr 0 "'"; }
not_storable() { expect_run "$1" 252 "Argument not storable: $2"$'\n' "$HALVORN" ras "${@:3}"; }
not_storable "a secret starting with @" password At m 1 u @file 9600
not_storable "a password that is not UTF-8" password Net m 1 u $'p\xffw' 9600
not_storable "a speed that is not UTF-8" baudrate Net m 1 u p $'96\xff'
not_storable "a name whose connect word pppd would cut" connection "abcd$(quotes 245)" m 1 u p 9600
expect_run "a number chat cannot dial" 254 $'RasSetEntryProperties failed: Error = 87\n' "$HALVORN" ras Caret m '1^2' u p 9600
expect_run "a name pppd refuses" 255 $'RasValidateEntryName failed: Error = 123\n' "$HALVORN" ras 'a..b' m 1 u p 9600
echo "# the administrator's" >"$peers/Manual"
expect_run "a peer file of that name" 255 $'RasValidateEntryName failed: Error = 183\n' "$HALVORN" ras Manual m 1 u p 9600
rm "$peers/Manual"
# A caller who may not write pppd's files is refused before the entry is
# written in their own phonebook (a copy of the binary, wherever the build is).
own=$(mktemp -d) && cp "$HALVORN" "$own/halvorn" && chown nobody "$own" && chmod 755 "$own"
expect_run "a caller who may not write pppd's files" 255 $'RasValidateEntryName failed: Error = 5\n' \
  runuser -u nobody -- env ALLUSERSPROFILE="$own" "$own/halvorn" ras Mine m 1 u p 9600
expect_run "... nor the default phonebook, root's: the entry's write refuses first" 254 $'RasSetEntryProperties failed: Error = 624\n' \
  runuser -u nobody -- env -u ALLUSERSPROFILE "$own/halvorn" ras Mine m 1 u p 9600
check "refusals wrote nothing, nor in the caller's phonebook" test "$(state)" = "$before" -a ! -e "$own/Application Data"

# The longest connect word pppd reads whole: 1023 bytes (a byte more is
# refused above). pppd warns of a word it cuts.
expect_run "a connect word of 1023 bytes" 0 "" "$HALVORN" ras "abc$(quotes 245)" /dev/ttyUSB0 1 - - 9600
capture_run dryrun "abc$(quotes 245)"
check "pppd reads that connect word whole" test "$run_status" = 0 -a "${run_output/too long}" = "$run_output"

# Without the ppp package the entry stays the tool's own, and the run says so.
mount -t tmpfs tmpfs /etc/ppp
expect_run "no ppp package: -6" 250 $'PPP peer not written: install the ppp package\n' \
  "$HALVORN" ras Nopkg "USR 56K" 5551234 - - 57600
umount /etc/ppp
expect_run "the entry is in the tool's phonebook" 0 "" "$HALVORN" rasreset Nopkg

# pppd (with `lock`, which Debian's /etc/ppp/options sets, and Office's peer
# file on /dev/ttyUSB0 keeps) finds the port locked while a query runs on it,
# whichever name the port is reached by. (`pon` dialling through to a link is
# the link lane's.)
mount -t tmpfs tmpfs /run && mkdir /run/lock  # pppd's lock and database stay private
mkdir -p /dev/serial/by-id
for port in pty /dev/ttyUSB0 /dev/serial/by-id/usb-Modem-if00; do
  simulator_start --speeds 1200 --on '*' silent
  [ "$port" = pty ] && port=$SIMULATOR_PTY || ln -sf "$SIMULATOR_PTY" "$port"
  "$HALVORN" query "$port" ATI0 "$PWD/locked.ini" >/dev/null & query=$!
  wait_until 5 eval '[ -n "$(ls -A /run/lock)" ]' || true
  pppd=("$port")
  [ "$port" != /dev/ttyUSB0 ] || pppd=(call Office)
  capture_run timeout 20 /usr/sbin/pppd "${pppd[@]}" noauth nodetach logfd 1 connect /bin/true
  check "pppd ${pppd[*]} during a query: exit 6, the port is locked by the query" \
    grep -qx "6 Device .* is locked by pid $query" <<<"$run_status $run_output"
  kill -TERM $query 2>/dev/null || true
  wait $query || true
  simulator_stop
done

# `pon Office`, run by a member of the dip group, starts pppd, which writes the
# connection's pid file (its linkname), read by the launcher's Hang up, before
# the modem has answered.
simulator_start --on ATDT5551234 late:3000
stty -F "$SIMULATOR_PTY" raw -echo
ln -sf "$SIMULATOR_PTY" /dev/ttyUSB0
runuser -u nobody -G dip -- pon Office nodetach >/dev/null 2>&1 &
dialling=$!
wait_until 3 test -s /run/ppp-Office.pid || true
pid=$(head -n 1 /run/ppp-Office.pid 2>/dev/null) || true
check "the pid file names pppd while it dials" \
  test "$(tr '\0' ' ' <"/proc/${pid:-0}/cmdline" 2>/dev/null)" = "/usr/sbin/pppd call Office nodetach "
wait "$dialling" || true
finish
