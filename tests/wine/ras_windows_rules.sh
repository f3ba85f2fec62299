#!/usr/bin/env bash
# The Windows build under Wine against a Remote Access double that refuses
# exactly what Windows documents: each release's record size, the first entry
# of a machine without a phonebook file whichever order the validation checks
# in, names the speed keys' section cannot hold, the validation's other
# refusals, an entry without a modem, a caller without administrator rights,
# whose credentials are stored, and a common folder of another name.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/wine/lib.bash"
source "$SOURCE_DIR/tests/wine/doubles.bash"
use_doubles rasapi32 shell32
log="$scratch/rasapi32.log"
shell_log=$scratch/shell32.log
ras() { tool ras "$1" "${2-USR 56K}" 5551234 alice s3cret 57600 "${@:3}"; }
fresh_machine() { rm -rf "$pbk_folder" "$log" "$scratch/Desktop" "$shell_log" && empty=$(state); }
state() { { cat "$pbk_folder"/* 2>/dev/null || true; } | od -c; }
# The shell double's log, which ends each run with its exit line, holds no
# call but the speed keys' folder lookup, or (no_shell_call) none at all.
no_shortcut() { [ -f "$shell_log" ] && ! grep -qv -e "^exit: " -e "^SHGetFolderPathW .*csidl=0x23 " "$shell_log"; }
no_shell_call() { [ -f "$shell_log" ] && ! grep -qv "^exit: " "$shell_log"; }
# untouched BEFORE: the phonebook folder as it was (BEFORE, from state), no
# entry written, no credentials stored, no shortcut.
untouched() { [ "$(state)" = "$1" ] && ! grep -q -e RasSetEntry -e RasSetCred "$log" && no_shortcut; }

# Each release, from a machine without a phonebook file: the validation
# cannot open it (621), the name is free all the same, and the entry, with the
# release's own record size, creates the phonebook.
for release in xp:5616 vista:5656 7:5680 1803:6720 1809:6724; do
  fresh_machine
  RAS_DOUBLE_WINDOWS=${release%:*} expect_run "${release%:*}: first ras of the machine" 0 "" ras Office
  check "${release%:*}: the entry in a ${release#*:}-byte record" grep -qxF \
    "RasSetEntryPropertiesW entry=Office dwSize=${release#*:} size=${release#*:} deviceInfo=(none)/0 -> 0" "$log"
done
expect_run "rasreset" 0 "" tool rasreset Office
expect_run "rasreset of a missing entry" 111 "" tool rasreset Missing
RAS_DOUBLE_WINDOWS=7 RAS_DOUBLE_ENTRY_SIZE=6724 expect_run "a newer record than the release takes" \
  254 $'RasSetEntryProperties failed: Error = 632\n' ras Newer

# A malformed name (one per documented rule) on a fresh machine is refused
# whichever the validation checks first, the name or the phonebook file; a
# well-formed one is taken.
for order in name-first file-first; do
  export RAS_DOUBLE_VALIDATION_ORDER=$order
  for name in .Office "a|b" ---; do
    fresh_machine
    expect_run "$order: '$name' on a fresh machine" 255 $'RasValidateEntryName failed: Error = 123\n' ras "$name"
    check "$order: '$name': nothing written" untouched "$empty"
  done
  fresh_machine
  expect_run "$order: '-1-' on a fresh machine" 0 "" ras -1-
done
unset RAS_DOUBLE_VALIDATION_ORDER

# Names the service takes but the speed keys' section cannot hold (123,
# before any shell call); the validation's own refusals stand: a phonebook
# that exists but cannot be opened (621), access denied (5).
ras Home >/dev/null
for case in "[x]::123" "a]b::123" $'a\tb::123' " Office::123" Office:621:621 Office:5:5; do
  IFS=: read -r name validation status <<<"$case"
  before=$(state) && rm "$log" "$shell_log"
  RAS_DOUBLE_VALIDATION=$validation expect_run "'$name' ($validation)" 255 \
    "RasValidateEntryName failed: Error = $status"$'\n' ras "$name" m shortcut
  check "'$name' ($validation): nothing written or stored, no shell call but the folder's" \
    eval 'untouched "$before" && { [ "$status" != 123 ] || no_shell_call; }'
done

# Without a modem Windows writes no entry (87): no speed keys, credentials or
# shortcut follow. A caller without administrator rights may not write the
# all-users phonebook from Vista on (5).
rm "$log" "$shell_log"
expect_run "no modem" 254 $'RasSetEntryProperties failed: Error = 87\n' ras Empty "" shortcut
RAS_DOUBLE_ADMIN=0 expect_run "not an administrator" 254 $'RasSetEntryProperties failed: Error = 5\n' \
  ras Office m shortcut
check "no modem, not an administrator: no byte changed, no shortcut" eval '[ "$(state)" = "$before" ] && no_shortcut'

# The credentials are the calling user's, not every user's.
RAS_DOUBLE_CALLER=Other expect_run "ras as another user" 0 "" ras Other
check "the caller's credentials, nobody else's" eval \
  '[ "$(ls "$pbk_folder")" = "$(printf "rasphone.%s\n" Dialer.credentials Other.credentials pbk)" ] &&
   grep -q "^\[Other\]" "$pbk_folder/rasphone.Other.credentials" && ! grep -q Other "$credentials"'

# A localized Windows XP keeps the common application data under another name
# than "Application Data": the speed keys go where the shell says.
common=$scratch/Anwendungsdaten
fresh_machine
DOUBLES_COMMON_APPDATA="Z:${common//\//\\}" expect_run "localized common folder" 0 "" ras Office
check "localized common folder: the speed keys beside the entry" grep -q "^ConnectBps=57600" \
  "$common/Microsoft/Network/Connections/Pbk/rasphone.pbk"
finish
