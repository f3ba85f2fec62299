#!/usr/bin/env bash
# The native binary: ras and rasreset on the project's own phonebook, with the
# all-users folder in a temporary place and pppd's folders private.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
private_ppp_config

enter_scratch
export ALLUSERSPROFILE=$PWD
pbk_folder="$ALLUSERSPROFILE/Application Data/Microsoft/Network/Connections/Pbk"
pbk="$pbk_folder/rasphone.pbk" cred="$pbk_folder/rasphone.credentials"

# has FILE SECTION LINE...: each LINE is a whole line of the section.
has() {
  local file=$1 name=$2 line body
  body=$(tr -d '\r' <"$file" | awk -v want="[$name]" '/^\[/ { inside = ($0 == want); next } inside')
  for line in "${@:3}"; do check "$name in ${file##*/} has $line" grep -qxF "$line" <<<"$body"; done
}
both() { cat "$pbk" "$cred" | md5sum; }

expect_run "ras creates the entry" 0 "" "$HALVORN" ras Office "USR 56K" 5551234 alice s3cret 57600
has "$pbk" Office PhoneNumber=5551234 DeviceType=modem "DeviceName=USR 56K" Type=1 Options=24 \
  NetProtocols=4 FramingProtocol=1 EncryptionType=3 Options2=3 PreferredBps=57600 ConnectBps=57600
has "$cred" Office UserName=alice Password=s3cret
check "phonebook holds no password" bash -c '! grep -q s3cret "$1"' _ "$pbk"

before=$(both)
expect_run "same name again, other case" 255 $'RasValidateEntryName failed: Error = 183\n' \
  "$HALVORN" ras OFFICE "Other modem" 999 bob other 9600 shortcut
check "existing entry untouched" test "$(both)" = "$before"

expect_run "rasreset existing, an operand beyond ignored" 0 "" "$HALVORN" rasreset Office ignored
# Entries are for every user to read, as on Windows (a copy of the binary,
# wherever the build is).
chmod 755 "$ALLUSERSPROFILE" && cp "$HALVORN" "$ALLUSERSPROFILE/halvorn"
expect_run "rasreset by another user" 0 "" \
  runuser -u nobody -- env ALLUSERSPROFILE="$ALLUSERSPROFILE" "$ALLUSERSPROFILE/halvorn" rasreset Office
expect_run "rasreset missing" 111 "" "$HALVORN" rasreset Nobody   # 623

expect_run "dash stores empty credentials" 0 "" "$HALVORN" ras Home m 1 - ignored fast
has "$cred" Home UserName= Password=
has "$pbk" Home ConnectBps=fast

before=$(both)
for name in ../x a/b .hidden 'x]y'; do
  expect_run "name $name refused" 255 $'RasValidateEntryName failed: Error = 123\n' \
    "$HALVORN" ras "$name" m 1 u p 9600
done
expect_run "modem too long" 252 $'Argument too long: modem\n' "$HALVORN" ras Long "$(printf '%0128d' 0)" 1 u p 9600
check "refused runs changed nothing" test "$(both)" = "$before"
check "refused names created nothing" test ! -e "$ALLUSERSPROFILE/x" -a ! -e "$pbk_folder/a"

# A fresh all-users folder: nothing is created by a refused or a read-only run.
fresh="$ALLUSERSPROFILE/fresh"
mkdir "$fresh"
expect_run "rasreset in an empty folder" 111 "" env ALLUSERSPROFILE="$fresh" "$HALVORN" rasreset Office
expect_run "refused name in an empty folder" 255 $'RasValidateEntryName failed: Error = 123\n' \
  env ALLUSERSPROFILE="$fresh" "$HALVORN" ras .x m 1 u p 9600
check "empty folder stays empty" test -z "$(ls -A "$fresh")"

# Concurrent runs lose no entry and no key.
for i in 1 2 3 4 5 6 7 8; do "$HALVORN" ras "Par$i" m "$i" u p 9600 & done
wait
for i in 1 2 3 4 5 6 7 8; do has "$pbk" "Par$i" PreferredBps=9600; has "$cred" "Par$i" UserName=u; done
check "every concurrent run has its pppd secret" test "$(grep -c '^"u" "Par[1-8]" "p"$' /etc/ppp/chap-secrets)" = 8
finish
