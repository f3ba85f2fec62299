#!/usr/bin/env bash
# The native binary: ras and rasreset on the project's own phonebook, with the
# all-users folder in a temporary place.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"

export ALLUSERSPROFILE
ALLUSERSPROFILE=$(mktemp -d)
trap 'rm -rf "$ALLUSERSPROFILE"' EXIT
pbk_folder="$ALLUSERSPROFILE/Application Data/Microsoft/Network/Connections/Pbk"
pbk="$pbk_folder/rasphone.pbk"
cred="$pbk_folder/rasphone.credentials"

# section NAME FILE: the lines of one section, without its header.
section() { tr -d '\r' <"$2" | awk -v want="[$1]" '/^\[/ { inside = ($0 == want); next } inside'; }

expect_run "ras creates the entry" 0 "" "$HALVORN" ras Office "USR 56K" 5551234 alice s3cret 57600
office=$(section Office "$pbk")
for line in PhoneNumber=5551234 DeviceType=modem "DeviceName=USR 56K" Type=1 Options=24 \
            NetProtocols=4 FramingProtocol=1 EncryptionType=3 Options2=3 \
            PreferredBps=57600 ConnectBps=57600; do
  check "phonebook section has $line" grep -qxF "$line" <<<"$office"
done
check "credential file is 0600" test "$(stat -c %a "$cred")" = 600
check "credential file has alice's password" grep -qxF "Password=s3cret" <(section Office "$cred")
check "credential file has alice" grep -qxF "UserName=alice" <(section Office "$cred")
check "phonebook holds no password" bash -c '! grep -q s3cret "$1"' _ "$pbk"
check "folders the tool made are 0700" test "$(stat -c %a "$pbk_folder")" = 700

before=$(cat "$pbk" "$cred" | md5sum)
expect_run "same name again" 255 $'RasValidateEntryName failed: Error = 183\n' \
  "$HALVORN" ras Office "Other modem" 999 bob other 9600
expect_run "same name in other case" 255 $'RasValidateEntryName failed: Error = 183\n' \
  "$HALVORN" ras OFFICE "Other modem" 999 bob other 9600 shortcut
check "existing entry untouched" test "$(cat "$pbk" "$cred" | md5sum)" = "$before"

expect_run "rasreset existing" 0 "" "$HALVORN" rasreset Office
expect_run "rasreset missing" 111 "" "$HALVORN" rasreset Nobody   # 623

expect_run "dash stores empty credentials" 0 "" "$HALVORN" ras Home m 1 - ignored fast
check "dash: empty user" grep -qxF "UserName=" <(section Home "$cred")
check "dash: empty password" grep -qxF "Password=" <(section Home "$cred")
check "baud text unchanged" grep -qxF "ConnectBps=fast" <(section Home "$pbk")

before=$(cat "$pbk" "$cred" | md5sum)
for name in ../x a/b .hidden 'x]y'; do
  expect_run "name $name refused" 255 $'RasValidateEntryName failed: Error = 123\n' \
    "$HALVORN" ras "$name" m 1 u p 9600
done
check "refused names changed nothing" test "$(cat "$pbk" "$cred" | md5sum)" = "$before"
check "refused names created nothing" test ! -e "$ALLUSERSPROFILE/x" -a ! -e "$pbk_folder/a"

long=$(printf '%0128d' 0)
expect_run "modem too long" 252 $'Argument too long: modem\n' "$HALVORN" ras Long "$long" 1 u p 9600
check "too long wrote nothing" test "$(cat "$pbk" "$cred" | md5sum)" = "$before"

# A fresh all-users folder: nothing is created by a refused or a read-only run.
fresh=$(mktemp -d)
expect_run "rasreset in an empty folder" 111 "" env ALLUSERSPROFILE="$fresh" "$HALVORN" rasreset Office
expect_run "refused name in an empty folder" 255 $'RasValidateEntryName failed: Error = 123\n' \
  env ALLUSERSPROFILE="$fresh" "$HALVORN" ras .x m 1 u p 9600
check "empty folder stays empty" test -z "$(ls -A "$fresh")"
rm -rf "$fresh"

# Concurrent runs lose no entry and no key.
for i in 1 2 3 4 5 6 7 8; do "$HALVORN" ras "Par$i" m "$i" u p 9600 & done
wait
for i in 1 2 3 4 5 6 7 8; do
  check "parallel entry $i has its speed" grep -qxF "PreferredBps=9600" <(section "Par$i" "$pbk")
  check "parallel entry $i has credentials" grep -qxF "UserName=u" <(section "Par$i" "$cred")
done
finish
