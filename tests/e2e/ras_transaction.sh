#!/usr/bin/env bash
# The native binary: one `ras` is all its files or none, whatever meets it (a
# rival run, others' locks, stray lock files, a full disk, a failing fsync, a
# kill at any write), and the same command then completes.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
private_ppp_config dev

enter_scratch
root=$PWD
chmod 755 "$root"
export ALLUSERSPROFILE=$root/all XDG_DESKTOP_DIR=$root/desktop
pbk_folder="$ALLUSERSPROFILE/Application Data/Microsoft/Network/Connections/Pbk"
pbk="$pbk_folder/rasphone.pbk" cred="$pbk_folder/rasphone.credentials"
peers=/etc/ppp/peers chats=/etc/chatscripts
mkdir -p "$XDG_DESKTOP_DIR"
pristine=$root/pristine
mkdir "$pristine" && cp -a /etc/ppp "$pristine/ppp" && cp -a /etc/chatscripts "$pristine/chatscripts"

ras() { "$HALVORN" ras Office "$1" "$2" "$3" pw 57600 "${@:4}"; }
# Everything a run may leave, for comparing before and after.
state() {
  (cd /etc && find ppp chatscripts -type f -exec md5sum {} + | sort)
  [ -d "$ALLUSERSPROFILE" ] && (cd "$ALLUSERSPROFILE" && find . | sort && find . -type f -exec md5sum {} + | sort)
  ls -A "$XDG_DESKTOP_DIR"
}
reset() {
  rm -rf "$ALLUSERSPROFILE" "$root/other"
  find "$XDG_DESKTOP_DIR" /etc/ppp /etc/chatscripts -mindepth 1 -delete
  cp -a "$pristine/ppp/." /etc/ppp/ && cp -a "$pristine/chatscripts/." /etc/chatscripts/
}
# One whole connection: alice's, that pppd reads, with its launcher (none
# with "without launcher"); on failure $why says what is missing.
whole() {
  why=rasreset; [ "$(timeout 5 "$HALVORN" rasreset Office; echo $?)" = 0 ] || return 1
  why=phonebook; [ "$(tr -d '\r' <"$pbk" | grep -c -e '^PreferredBps=57600$' -e '^ConnectBps=57600$' -e '^PhoneNumber=111$' -e Unfinished)" = 3 ] || return 1
  why=credentials; grep -q '^UserName=alice' "$cred" || return 1
  why=secrets; [ "$(cat /etc/ppp/pap-secrets /etc/ppp/chap-secrets | grep -c -e '^"alice" "Office" "pw"$' -e '^# halvorn: Office$')" = 4 ] || return 1
  why=files; [ -f "$chats/Office" ] || return 1
  local launchers=Office.desktop; [ "${1:-}" = "without launcher" ] && launchers=
  [ "$(ls -A "$XDG_DESKTOP_DIR")" = "$launchers" ] || return 1
  why=dryrun; /usr/sbin/pppd call Office dryrun >/dev/null 2>&1 || return 1
  why=litter; [ -z "$(find /etc/ppp /etc/chatscripts "$pbk_folder" "$XDG_DESKTOP_DIR" -name '.~hv*' -o -name '*.lock')" ]
}

# Two runs for one name at once: one wins whole, the other writes nothing;
# a run on another phonebook at the same time loses nothing of pppd's files.
for trial in 1 2 3 4 5; do
  reset
  ras /dev/ttyUSB0 111 alice >"$root/a.out" 2>&1 & a=$!
  ras /dev/ttyS1 222 bob >"$root/b.out" 2>&1 & b=$!
  ALLUSERSPROFILE=$root/other "$HALVORN" ras Home /dev/ttyS2 333 carol pw 9600 >/dev/null & c=$!
  sa=0 sb=0 sc=0 winner=alice
  wait $a || sa=$?
  wait $b || sb=$?
  wait $c || sc=$?
  [ $sb = 0 ] && winner=bob
  check "trial $trial: one run 0, the other 255; the winner's values only; Home 0 with its secrets" test \
    "$(printf '%s\n' $sa $sb | sort -n | tr '\n' ' ')$(cat "$cred" /etc/ppp/pap-secrets /etc/ppp/chap-secrets "$peers/Office" |
      grep -o -e alice -e bob | sort -u) $sc $(grep -ch '^"carol" "Home" "pw"$' /etc/ppp/{pap,chap}-secrets | tr '\n' ' ')" = "0 255 $winner 0 1 1 "
done

# Anyone may open /etc/ppp and the phonebook's folder and flock them: runs take
# turns on lock files only they can open, so that holds neither ras nor rasreset.
reset
mkdir -p "$pbk_folder"
runuser -u nobody -- flock /etc/ppp flock "$pbk_folder" sleep 14 & holder=$!
sleep 0.3
expect_run "another user's locks on both folders: no wait" 0 $'\n' timeout 5 "$HALVORN" ras Office /dev/ttyUSB0 111 alice pw 57600 shortcut
check "the connection is whole, and rasreset reads it meanwhile" whole
kill $holder 2>/dev/null || true

# A run that opens the shared lock as its holder lets go of it (each open of
# it held up for a second by strace) finds it gone, and takes it anew.
reset
install -m 600 /dev/null /etc/ppp/.halvorn.lock
flock /etc/ppp/.halvorn.lock sh -c 'sleep 1.5; rm /etc/ppp/.halvorn.lock' & holder=$!
sleep 0.1
expect_run "the shared lock let go as a run opens it: the run goes on" 0 $'\n' \
  strace -qq -o /dev/null -P /etc/ppp/.halvorn.lock -e trace=openat -e inject=openat:delay_exit=1000000 \
  "$HALVORN" ras Office /dev/ttyUSB0 111 alice pw 57600 shortcut
wait $holder
check "the connection is whole" whole

# A lock file that is not of the run's own kind refuses the run before it
# writes anything, and stays as it is.
install -m 600 /dev/null "$root/own"
for lock in "$pbk_folder/rasphone.lock" /etc/ppp/.halvorn.lock; do
  for stray in "dangling link:ln -s $root/nowhere" "link:ln -s $root/own" "FIFO:mkfifo -m 600" \
    "file of nobody's:install -m 600 -o nobody /dev/null" "file of mode 0644:install -m 644 /dev/null"; do
    reset
    mkdir -p "$pbk_folder"
    ${stray#*:} "$lock"
    stray=${stray%%:*} before=$(state; stat -c '%F %U %a' "$lock")
    expect_run "a $stray at ${lock##*/}: 624, before anything is written" 255 \
      $'RasValidateEntryName failed: Error = 624\n' ras /dev/ttyUSB0 111 alice shortcut
    check "... and everything stays as it was" test "$(state; stat -c '%F %U %a' "$lock")" = "$before"
  done
done
# A killed run's entry marked twice (the phonebook edited by hand) is
# completed whole: no mark is left.
reset
mkdir -p "$pbk_folder"
printf '[Office]\r\nHalvornUnfinished=1\r\nHalvornUnfinished=1\r\n' >"$pbk"
expect_run "an entry marked unfinished twice: completed" 0 $'\n' ras /dev/ttyUSB0 111 alice shortcut
check "... whole, without a mark" whole

# What a later write would refuse is refused before the first, and a write
# that fails half-way is taken back: the same command then completes.
reset
touch "/etc/ppp/.~hvnabc123"  # looks like a temporary file; it is the administrator's
before=$(state)
chmod 0400 /etc/ppp/pap-secrets
expect_run "a read-only pap-secrets is refused first" 255 $'RasValidateEntryName failed: Error = 5\n' \
  ras /dev/ttyUSB0 111 alice shortcut
chmod 0600 /etc/ppp/pap-secrets
check "nothing written for it" test "$(state)" = "$before"
mount -t tmpfs -o size=8k tmpfs /etc/chatscripts
head -c 8192 /dev/zero >/etc/chatscripts/filler 2>/dev/null || true
before=$(state)
expect_run "a full disk under the chat script: 624" 112 $'\n' ras /dev/ttyUSB0 111 alice shortcut
check "every file is as before" test "$(state)" = "$before"
rm /etc/chatscripts/filler
expect_run "the same command once there is room" 0 $'\n' ras /dev/ttyUSB0 111 alice shortcut
check "a look-alike temporary file is kept" test -e "/etc/ppp/.~hvnabc123"
rm -f "/etc/ppp/.~hvnabc123"
check "the connection is whole" whole
umount /etc/chatscripts

# A failing fsync, at each of the run's in turn, leaves one whole connection
# or every file as it was, to the byte (pap-secrets here without a final line
# end).
reset_unended() { reset && printf '%s' "$(cat /etc/ppp/pap-secrets)" >/etc/ppp/pap-secrets; }
reset_unended
strace -qq -o "$root/fsyncs" -e trace=fsync "$HALVORN" ras Office /dev/ttyUSB0 111 alice pw 57600 shortcut >/dev/null
count=$(grep -c '^fsync(' "$root/fsyncs")
failed=0
for ((n = 1; n <= count; n++)); do
  reset_unended
  before=$(state)
  capture_run strace -qq -o /dev/null -e trace=fsync -e inject=fsync:error=EIO:when=$n \
    "$HALVORN" ras Office /dev/ttyUSB0 111 alice pw 57600 shortcut
  # A launcher that could not be written is only reported.
  launcher=; [ "$run_output" = $'Shortcut creation error!\n\n' ] && launcher="without launcher"
  if [ $run_status = 0 ]; then
    whole "$launcher" || fail "fsync #$n failed, the run ended 0: $why"
  else
    failed=$((failed + 1))
    [ "$(state)" = "$before" ] || fail "fsync #$n failed: files changed"
  fi
done
check "failed fsyncs failed runs ($failed of $count)" test $failed -gt 10

# Killed at each of its writes (and renames, links, removals, its locks'
# too), a run leaves no entry that rasreset reports unless it is whole, and
# the same command then completes it (or, once whole, is refused with 183),
# leaving no lock file.
kills=0
for call in renameat linkat unlinkat unlink write; do
  for ((n = 1; ; n++)); do
    reset
    status=0
    (strace -qq -o /dev/null -e "trace=$call" -e "inject=$call:signal=SIGKILL:when=$n" \
      "$HALVORN" ras Office /dev/ttyUSB0 111 alice pw 57600 shortcut >/dev/null) 2>/dev/null || status=$?
    [ $status = 137 ] || break  # the run got past its last such call
    kills=$((kills + 1))
    listed=0
    "$HALVORN" rasreset Office || listed=$?
    retry=0 want=0
    ras /dev/ttyUSB0 111 alice shortcut >/dev/null || retry=$?
    [ $listed != 0 ] || want=255  # found whole already: the kill came after the last write that counts
    [ $retry = $want ] && whole || fail "killed at $call #$n: rasreset $listed, retry $retry, $why"
  done
done
check "the kill loop killed runs at their writes ($kills)" test $kills -gt 20
finish
