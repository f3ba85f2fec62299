#!/usr/bin/env bash
# The Windows build under Wine against a Remote Access double that refuses
# what Windows refuses: each release's record size, the first entry of a
# machine that has no phonebook file yet, names Windows does not take, an
# entry without a phone number or modem, and a caller without administrator
# rights.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/wine/lib.bash"
source "$SOURCE_DIR/tests/wine/doubles.bash"
use_doubles rasapi32 shell32
log="$scratch/rasapi32.log"
desktop="$scratch/Desktop"
ras() { tool ras "$1" "${2-USR 56K}" "${3-5551234}" alice s3cret 57600 "${@:4}"; }
fresh_machine() { rm -rf "$pbk_folder" "$log" "$desktop" "$scratch/shell32.log"; }
logged() { grep -qxF "$1" "$log"; }
# left NAME: what any file of the phonebook or the desktop holds of NAME.
left() { cat "$pbk_folder"/* 2>/dev/null | grep -a -e "$1" -e alice; ls "$desktop" 2>/dev/null; }

# Each release, from a machine without a phonebook file: the validation
# cannot open it (621), the name is free all the same, and the entry, with the
# release's own record size, creates the phonebook; it then reads back, and
# the name is taken.
for release in xp:5616 vista:5656 7:5680 1803:6720 1809:6724; do
  export RAS_DOUBLE_WINDOWS=${release%:*}
  size=${release#*:}
  fresh_machine
  expect_run "$RAS_DOUBLE_WINDOWS: first ras of the machine" 0 "" ras Office
  check "$RAS_DOUBLE_WINDOWS: validation 621, then the entry in a $size-byte record" eval \
    'logged "RasValidateEntryNameW entry=Office -> 621" &&
     logged "RasSetEntryPropertiesW entry=Office dwSize=$size size=$size deviceInfo=(none)/0 -> 0" &&
     grep -qa "^ConnectBps=57600" "$pbk" && grep -qa "^Password=s3cret" "$credentials"'
  expect_run "$RAS_DOUBLE_WINDOWS: rasreset" 0 "" tool rasreset Office
  expect_run "$RAS_DOUBLE_WINDOWS: rasreset of a missing entry" 111 "" tool rasreset Missing
  expect_run "$RAS_DOUBLE_WINDOWS: the name in another case is taken" 255 \
    $'RasValidateEntryName failed: Error = 183\n' ras OFFICE
done
# A service whose size query names a newer record than it takes.
RAS_DOUBLE_WINDOWS=7 RAS_DOUBLE_ENTRY_SIZE=6724 expect_run "a newer record than the release takes" \
  254 $'RasSetEntryProperties failed: Error = 632\n' ras Newer
unset RAS_DOUBLE_WINDOWS

# Names Windows does not take are refused before anything is written, with or
# without a phonebook file; names with one letter or digit are taken.
for name in .Office --- "   " "a|b" "[x]" "a:b" $'a\tb'; do
  fresh_machine
  expect_run "malformed name '$name', no phonebook" 255 $'RasValidateEntryName failed: Error = 123\n' ras "$name"
  ras Office >/dev/null
  expect_run "malformed name '$name'" 255 $'RasValidateEntryName failed: Error = 123\n' ras "$name"
done
for name in -1- "Office (2)" "Off.ice"; do
  expect_run "name '$name' taken" 0 "" ras "$name"
done

# Without a phone number or a modem Windows writes no entry (87), so no speed
# keys, credentials or shortcut follow.
for missing in "phone number:USR 56K:" "modem::5551234"; do
  IFS=: read -r what modem number <<<"$missing"
  fresh_machine
  expect_run "no $what" 254 $'RasSetEntryProperties failed: Error = 87\n' ras Empty "$modem" "$number" shortcut
  check "no $what: nothing written, no shortcut made" \
    eval '[ -z "$(left Empty)" ] && [ -z "$(grep -v "^exit: " "$scratch/shell32.log")" ]'
done

# A caller without administrator rights may not write the all-users phonebook
# from Vista on (5): nothing is written. Windows XP let every user write it.
fresh_machine
ras Home >/dev/null
before=$(cat "$pbk_folder"/* | od -c)
RAS_DOUBLE_ADMIN=0 expect_run "not an administrator" 254 $'RasSetEntryProperties failed: Error = 5\n' \
  ras Office "USR 56K" 5551234 shortcut
check "not an administrator: no byte changed, no shortcut" \
  eval '[ "$(cat "$pbk_folder"/* | od -c)" = "$before" ] && [ ! -e "$desktop/Office.lnk" ]'
RAS_DOUBLE_ADMIN=0 RAS_DOUBLE_WINDOWS=xp expect_run "not an administrator on XP" 0 "" ras Office
finish
