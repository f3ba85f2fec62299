#!/usr/bin/env bash
# The Windows build under Wine against the Remote Access service double of
# tools/rasapi32_double, loaded in place of Wine's stub: the entry,
# its credentials and the speed keys land where Windows keeps them, and the
# double's log shows each call the tool made with its sizes, masks and names.
# Last, Wine's stub with a UTF-16 phonebook.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/wine/lib.bash"
source "$SOURCE_DIR/tests/wine/doubles.bash"
use_doubles rasapi32
log="$scratch/rasapi32.log"
ras() { tool ras "$1" "USR 56K" 5551234 alice s3cret 57600 "${@:2}"; }

# calls ENTRY REPORTED_SIZE USED_SIZE [VALIDATION]: the log of one successful
# ras run; the validation answers 621 while there is no phonebook file yet.
calls() {
  printf 'RasGetEntryPropertiesW entry=(none) dwSize=(none) size=0 -> 603 size=%s\n' "$2"
  printf 'RasValidateEntryNameW entry=%s -> %s\n' "$1" "${4-0}"
  printf 'RasSetEntryPropertiesW entry=%s dwSize=%s size=%s deviceInfo=(none)/0 -> 0\n' "$1" "$3" "$3"
  printf 'RasSetCredentialsW entry=%s dwSize=1068 mask=3 clear=0 -> 0\n' "$1"
}
section() { tr -d '\r' <"$2" | sed -n "/^\[$1\]/,/^\[/p" | sed '/^\[/d'; }

expect_run "ras" 0 "" ras Office
check "calls: size query, validation (no phonebook yet), write with the reported size, credentials" \
  cmp -s "$log" <(calls Office 6724 6724 621)
check "entry and speed keys in one section, as the profile service writes them" \
  cmp -s "$pbk" <(printf '%s\r\n' "[Office]" PhoneNumber=5551234 AreaCode= DeviceType=modem \
    "DeviceName=USR 56K" Type=1 Options=24 NetProtocols=4 FramingProtocol=1 EncryptionType=3 \
    Options2=3 CountryID=0 CountryCode=0 PreferredBps=57600 ConnectBps=57600)
check "credentials stored, not in the phonebook" eval \
  '[ "$(section Office "$credentials")" = $'"'"'UserName=alice\nPassword=s3cret'"'"' ] && ! grep -q -e alice -e s3cret "$pbk"'

stored=$(cat "$pbk" "$credentials" | od -c)
expect_run "ras on an existing entry" 255 $'RasValidateEntryName failed: Error = 183\n' ras Office
check "existing entry: no byte changed, nothing written" test "$(cat "$pbk" "$credentials" | od -c)|$(tail -n 1 "$log")" = \
  "$stored|RasValidateEntryNameW entry=Office -> 183"
# A size no record has: a 32-bit process gets no such block (-3), a 64-bit one
# may, and the service then refuses the size (632).
RAS_DOUBLE_ENTRY_SIZE=4294967295 capture_run tool rasreset Office
check "rasreset with an absurd reported size" [ "$run_status" = 253 -o "$run_status" = 120 ]

expect_run "ras with - as user" 0 "" tool ras Guest m 5559876 - ignored 33600
check "empty credentials" test "$(section Guest "$credentials")" = $'UserName=\nPassword='

# A service whose record is too small for the fields set (Windows 2000's
# record) gets the tool's own.
rm -f "$log"
RAS_DOUBLE_ENTRY_SIZE=4048 expect_run "ras with a small reported size" 0 "" ras Small
check "small reported size: own record written" cmp -s "$log" <(calls Small 4048 5616)

# Wine's shell has no Network Connections folder, so no shortcut can point at
# the entry; the entry and credentials stay.
expect_run "ras with a shortcut" 0 $'Shortcut creation error!\n\n' ras Linked shortcut
check "no link file" [ -z "$(find "$WINEPREFIX/drive_c" -name 'Linked.lnk*')" ]

# Wine's own stub service, up to its credential call (635, whose low 8 bits
# are the status): the speed keys go into a phonebook saved as UTF-16LE with
# its byte-order mark, which stays so, its other sections kept, a name outside
# the ANSI code page included. An ANSI phonebook cannot hold that name: it is
# refused before the entry is written rather than keyed under "[????]".
rm -rf "$pbk_folder" && mkdir -p "$pbk_folder"
printf '[Home]\r\nPhoneNumber=111\r\n' >"$pbk"
WINEDLLOVERRIDES= expect_run "stub service, ANSI phonebook, Cyrillic name" 255 \
  $'RasValidateEntryName failed: Error = 123\n' halvorn_exe ras Офис m 555 alice pw 57600
check "ANSI phonebook: no byte changed" test "$(cat "$pbk")" = $'[Home]\r\nPhoneNumber=111\r'
{ printf '\xff\xfe'; printf '[Home]\r\nPhoneNumber=111\r\n' | iconv -f UTF-8 -t UTF-16LE; } >"$pbk"
WINEDLLOVERRIDES= expect_run "stub service, UTF-16 phonebook" 123 "" halvorn_exe ras Офис m 555 alice pw 57600
check "still UTF-16LE with its byte-order mark, old section kept, speed keys added" \
  test "$(od -An -tx1 -N2 "$pbk")$(tail -c +3 "$pbk" | iconv -f UTF-16LE -t UTF-8 | tr -d '\r')" = \
  $' ff fe[Home]\nPhoneNumber=111\n[Офис]\nPreferredBps=57600\nConnectBps=57600'
finish
