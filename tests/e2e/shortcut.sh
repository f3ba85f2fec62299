#!/usr/bin/env bash
# The native binary: `ras ... shortcut` leaves a genuine shell link on the
# desktop that points at the new entry, or, when it cannot, says so and leaves
# no file at all.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
export ALLUSERSPROFILE=$root/allusers HOME=$root/home XDG_DESKTOP_DIR=$root/desktop
mkdir -p "$ALLUSERSPROFILE" "$HOME" "$XDG_DESKTOP_DIR"
cd "$root"  # a link saved in the wrong place would land here, where the checks look

# The bytes the link for entry NAME (ASCII) must hold: the header, the target
# list (My Computer, Control Panel, Network Connections, the entry's item) and
# the terminal block.
expected_link_hex() {
  local name=$1 i item_size=$((8 + 2 * (${#1} + 1)))
  printf '4c 00 00 00 01 14 02 00 00 00 00 00 c0 00 00 00 00 00 00 46 81 00 00 00'
  printf ' 00%.0s' {1..36}  # attributes, three times, size, icon
  printf ' 01 00 00 00'     # show command: normal window
  printf ' 00%.0s' {1..12}  # hot key and reserved fields
  printf ' %02x 00' $((60 + item_size + 2))
  printf ' 14 00 1f 50 e0 4f d0 20 ea 3a 69 10 a2 d8 08 00 2b 30 30 9d'
  printf ' 14 00 2e 00 20 20 ec 21 ea 3a 69 10 a2 dd 08 00 2b 30 30 9d'
  printf ' 14 00 2e 00 c7 ac 07 70 02 32 d1 11 aa d2 00 80 5f c1 27 0e'
  printf ' %02x 00 48 56 4e 43 01 00' "$item_size"
  for ((i = 0; i < ${#name}; i++)); do printf ' %02x 00' "'${name:i:1}"; done
  printf ' 00 00 00 00 00 00 00 00\n'
}

check_link() {  # check_link FILE NAME
  local info
  check "${1##*/}: bytes" [ "$(od -An -v -tx1 "$1" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')" = "$(expected_link_hex "$2")" ]
  info=$(lnkinfo "$1" 2>&1) || true
  check "${1##*/}: lnkinfo sees four items" grep -Eq 'Number of items[[:space:]]*: 4$' <<<"$info"
  check "${1##*/}: lnkinfo sees My Computer" grep -q 'Shell folder name[[:space:]]*: My Computer' <<<"$info"
}

ras() { "$HALVORN" ras "$1" "USR 56K" 5551234 alice s3cret 57600 "${@:2}"; }

# Twins both ways round: a longer name after a shorter one, and a shorter
# name after the longer ones; a ninth argument of any text asks for the link.
for run in "Office:shortcut" "Office 2:yes" "Offic:0"; do
  expect_run "shortcut for ${run%:*}" 0 $'\n' ras "${run%:*}" "${run#*:}"
  check_link "$XDG_DESKTOP_DIR/${run%:*}.lnk" "${run%:*}"
done
expect_run "eight arguments ask for no shortcut" 0 "" ras Home
check "only the three links on the desktop" [ "$(ls -A "$XDG_DESKTOP_DIR" | wc -l)" -eq 3 ]

# Without XDG_DESKTOP_DIR the desktop is $HOME/Desktop.
mkdir "$HOME/Desktop"
expect_run "desktop under HOME" 0 $'\n' env -u XDG_DESKTOP_DIR "$HALVORN" ras Lab m 1 - - 9600 s
check_link "$HOME/Desktop/Lab.lnk" Lab

# No desktop folder: the error, the same status, and no file anywhere.
rm -rf "$XDG_DESKTOP_DIR"
expect_run "no desktop folder" 0 $'Shortcut creation error!\n\n' ras Field shortcut
check "no link written anywhere" [ -z "$(find . \( -name '*.lnk*' -o -name '.halvorn-link.*' \) ! -path ./home/Desktop/Lab.lnk)" ]
check "no desktop created" [ ! -e "$XDG_DESKTOP_DIR" ]
finish
