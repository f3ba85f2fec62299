#!/usr/bin/env bash
# The native binary against hostile and careless paths (no regular file, a
# planted link, read-only, world-writable, umask 000, UTF-16): nothing
# replaced, no hang, no litter, no leaked secret.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/e2e/simulator.bash"
private_ppp_config  # as root, which the device node and the planted link need too
enter_scratch
root=$PWD

# --- query: the report file
simulator_start --speeds 9600 --profile E0 --info $'I0:\\x1b]0;owned\\x07\\x1b[2J'
query() { timeout 60 "$HALVORN" query "$SIMULATOR_PTY" ATI0 "$@"; }
mkfifo fifo.ini
mkdir folder.ini
printf 'old' >readonly.ini
chmod 0444 readonly.ini
mknod null.ini c 1 3
mkdir -m 1777 shared
printf 'root only' >target.ini
ln -s "$root/target.ini" shared/report.ini
chown -h 65534:65534 shared/report.ini
mkdir full && mount -t tmpfs -o size=8k tmpfs full && printf 'old' >full/r.ini
head -c 8192 /dev/zero >full/filler 2>/dev/null || true  # the disk is full
reports=(fifo.ini folder.ini readonly.ini null.ini shared/report.ini full/r.ini)
for report in "${reports[@]}"; do
  before=$(stat -c '%F %i %s' "$report")
  capture_run query "$report"
  check "report $report: refused with 3, said so, left as it was" test \
    "$run_status $(stat -c '%F %i %s' "$report") ${run_output/*$'\nReport write failed: AT\n'*/shown}" = "3 $before shown"
done
check "read-only report, planted link's target, report on a full disk keep their text" \
  test "$(cat readonly.ini target.ini full/r.ini; ls -A full | tr '\n' ' ')" = "oldroot onlyoldfiller r.ini "
umount full

umask 000
capture_run query fresh.ini
umask 022
check "a device's escapes are shown, not obeyed" \
  grep -qF 'AT Reply: \x1B]0;owned\x07\x1B[2J  OK' <<<"$run_output"
check "the report keeps the reply's bytes" grep -qF $'ATI0=\e]0;owned\a\e[2J  OK' fresh.ini
check "a new report is 0644 under umask 000" test "$(stat -c %a fresh.ini)" = 644
check "nothing beside the reports" \
  test "$(ls -A | grep -v -e '^shared$' -e '^full$' | sort | tr '\n' ' ')" = \
  "$(printf '%s\n' "${reports[@]}" fresh.ini target.ini | grep -v / | sort | tr '\n' ' ')"
simulator_stop

# --- ras: the phonebook and the credential store
export ALLUSERSPROFILE=$root/all
pbk_in() { echo "$1/Application Data/Microsoft/Network/Connections/Pbk"; }
pbk_folder=$(pbk_in "$ALLUSERSPROFILE")
pbk="$pbk_folder/rasphone.pbk" cred="$pbk_folder/rasphone.credentials"
ras() { timeout 60 "$HALVORN" ras "$1" m 555 "${2:-alice}" "${3:-pw}" 57600 "${@:4}"; }

umask 000
export XDG_DESKTOP_DIR=$root/desktop
mkdir "$XDG_DESKTOP_DIR"
expect_run "a spaced password, with a launcher, under umask 000" 0 $'\n' ras Office alice '  spaced pw  ' shortcut
umask 022
check "password stored exactly" grep -qx 'Password="  spaced pw  "' <(tr -d '\r' <"$cred")
check "modes under umask 000: pbk 644, credentials 600, launcher and folder 755" \
  test "$(stat -c %a "$pbk" "$cred" "$XDG_DESKTOP_DIR/Office.desktop" "$pbk_folder" | tr '\n' ' ')" = "644 600 755 755 "
check "nothing beside the phonebook" test "$(ls -A "$pbk_folder" | tr '\n' ' ')" = "rasphone.credentials rasphone.pbk "

# Secrets only where no one else can write or plant a file; refused before
# anything is written, so the same command works once the folder is private.
refused=$'RasValidateEntryName failed: Error = 5\n'
chmod 0777 "$pbk_folder"
expect_run "folder others can write to: access denied" 255 "$refused" ras Shared
chmod 0700 "$pbk_folder"
check "nothing written for it" bash -c '! grep -q Shared "$1" "$2"' _ "$cred" "$pbk"
expect_run "the retry in a private folder" 0 "" ras Shared
mv "$cred" "$root/cred.saved"
printf 'theirs' >"$root/theirs"
ln -s "$root/theirs" "$cred"
expect_run "planted credentials link: access denied" 255 "$refused" ras Planted
check "the link's target untouched" test "$(cat "$root/theirs")" = theirs
rm "$cred"
mv "$root/cred.saved" "$cred"

# A phonebook that is a FIFO is refused at once: 621.
fifo_all=$root/fifo
mkdir -p "$(pbk_in "$fifo_all")" && mkfifo "$(pbk_in "$fifo_all")/rasphone.pbk"
expect_run "FIFO phonebook: ras" 255 $'RasValidateEntryName failed: Error = 621\n' \
  env ALLUSERSPROFILE="$fifo_all" timeout 20 "$HALVORN" ras Fifo m 1 - - 9600
expect_run "FIFO phonebook: rasreset" 109 "" env ALLUSERSPROFILE="$fifo_all" timeout 20 "$HALVORN" rasreset Fifo

# One phonebook path: a backslash in ALLUSERSPROFILE is part of the folder name.
slash_all="$root/a\\b"
expect_run "ALLUSERSPROFILE with a backslash" 0 "" env ALLUSERSPROFILE="$slash_all" "$HALVORN" ras Slash m 1 - - 9600
check "entry and speed keys in one file" grep -q ConnectBps "$(pbk_in "$slash_all")/rasphone.pbk"
check "no second phonebook" test ! -e "$root/a/b"
expect_run "ALLUSERSPROFILE not UTF-8" 255 $'RasValidateEntryName failed: Error = 621\n' \
  env ALLUSERSPROFILE="$root/"$'\xff' "$HALVORN" ras NotUtf8 m 1 - - 9600
check "nothing created for it" test -z "$(find "$root" -maxdepth 1 -name $'*\xff*')"

# A phonebook saved as UTF-16LE stays UTF-16LE: every unit of it kept, a
# lone surrogate (D800) and an odd last byte among them, the entry added.
utf16_all=$root/utf16 utf16_pbk=$(pbk_in "$root/utf16")/rasphone.pbk
mkdir -p "$(pbk_in "$utf16_all")"
printf '\xff\xfe' >"$utf16_pbk"
printf '[Home]\r\n; ' | iconv -f UTF-8 -t UTF-16LE >>"$utf16_pbk"
printf '\x00\xd8\r\x00\n\x00\x01' >>"$utf16_pbk" && cp "$utf16_pbk" "$root/utf16.before"
expect_run "ras into a UTF-16 phonebook" 0 "" env ALLUSERSPROFILE="$utf16_all" "$HALVORN" ras Utf16 m 1 - - 9600
check "its units kept, the entry added in UTF-16LE, the odd byte still last" test \
  "$(cmp -n $(($(stat -c %s "$root/utf16.before") - 1)) "$root/utf16.before" "$utf16_pbk" && tail -c 1 "$utf16_pbk" | od -An -tx1
  head -c -1 "$utf16_pbk" | iconv -c -f UTF-16LE -t UTF-8 | tr -d '\r' | grep -c -e '^\[Utf16\]$' -e '^ConnectBps=9600$')" = " 01
2"
finish
