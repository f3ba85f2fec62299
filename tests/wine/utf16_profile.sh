#!/usr/bin/env bash
# The Windows build under Wine writes the speed keys into a phonebook file
# saved as UTF-16LE with its byte-order mark: the file stays UTF-16LE and its
# other sections stay, as the native build keeps it (tests/e2e/hostile_files.sh).
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/wine/lib.bash"

unset ALLUSERSPROFILE  # the prefix's own, C:\ProgramData
app_data="$WINEPREFIX/drive_c/ProgramData/Application Data"
pbk="$app_data/Microsoft/Network/Connections/Pbk/rasphone.pbk"
rm -rf "$app_data"
trap 'rm -rf "$app_data"' EXIT
mkdir -p "$(dirname "$pbk")"
{ printf '\xff\xfe'; printf '[Home]\r\nPhoneNumber=111\r\n' | iconv -f UTF-8 -t UTF-16LE; } >"$pbk"

# The stub credential service answers 635, whose low 8 bits are the status.
expect_run "ras into a UTF-16 phonebook" 123 "" halvorn_exe ras Office m 555 alice pw 57600
check "still UTF-16LE with its byte-order mark" test "$(head -c 2 "$pbk" | od -An -tx1 | tr -d ' ')" = fffe
check "old section kept, speed keys in the entry's section" \
  test "$(tail -c +3 "$pbk" | iconv -f UTF-16LE -t UTF-8 | tr -d '\r')" = \
  $'[Home]\nPhoneNumber=111\n[Office]\nPreferredBps=57600\nConnectBps=57600'
finish
