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
# A link saved in the wrong place would land here, where the checks look.
cd "$root"

# Hex of a file, one byte per word.
hex_of() { od -An -v -tx1 "$1" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'; }

# Hex of a text in UTF-16LE (ASCII only), terminator excluded.
utf16_hex() {
  local text=$1 i out=""
  for ((i = 0; i < ${#text}; i++)); do out+=$(printf ' %02x 00' "'${text:i:1}"); done
  printf '%s' "${out# }"
}

# The link file the tool must write for an entry: header, the target list
# (My Computer, Control Panel, Network Connections, the entry's item), and the
# terminal block.
expected_link_hex() {
  local name=$1
  local item_size=$((8 + 2 * (${#name} + 1)))
  local list_size=$((60 + item_size + 2))
  local header="4c 00 00 00 01 14 02 00 00 00 00 00 c0 00 00 00 00 00 00 46 81 00 00 00"
  header+=$(printf ' 00%.0s' {1..36})   # attributes, three times, size, icon
  header+=" 01 00 00 00"                   # show command: normal window
  header+=$(printf ' 00%.0s' {1..12})   # hot key and reserved fields
  local folder="14 00 1f 50 e0 4f d0 20 ea 3a 69 10 a2 d8 08 00 2b 30 30 9d"
  folder+=" 14 00 2e 00 20 20 ec 21 ea 3a 69 10 a2 dd 08 00 2b 30 30 9d"
  folder+=" 14 00 2e 00 c7 ac 07 70 02 32 d1 11 aa d2 00 80 5f c1 27 0e"
  local item
  item="$(printf '%02x 00' "$item_size") 48 56 4e 43 01 00 $(utf16_hex "$name") 00 00"
  printf '%s %02x %02x %s %s 00 00 00 00 00 00' "$header" $((list_size & 255)) $((list_size >> 8)) \
    "$folder" "$item"
}

check_link() {
  local what=$1 file=$2 name=$3
  if [ ! -f "$file" ]; then
    echo "FAIL $what: $file missing"
    failures=$((failures + 1))
    return
  fi
  check "$what: bytes" [ "$(hex_of "$file")" = "$(expected_link_hex "$name")" ]
  local info
  info=$(lnkinfo "$file" 2>&1) || { echo "FAIL $what: lnkinfo failed"; echo "$info"; failures=$((failures + 1)); return; }
  check "$what: lnkinfo sees four items" grep -Eq 'Number of items[[:space:]]*: 4$' <<<"$info"
  check "$what: lnkinfo sees My Computer first" grep -q 'Shell folder name[[:space:]]*: My Computer' <<<"$info"
}

ras() { "$HALVORN" ras "$1" "USR 56K" 5551234 alice s3cret 57600 "${@:2}"; }

expect_run "shortcut for Office" 0 $'\n' ras Office shortcut
check_link "Office.lnk" "$XDG_DESKTOP_DIR/Office.lnk" Office

# Twins both ways round: a longer name after a shorter one, and a shorter name
# after the longer ones.
expect_run "shortcut for a longer twin" 0 $'\n' ras "Office 2" yes
check_link "Office 2.lnk" "$XDG_DESKTOP_DIR/Office 2.lnk" "Office 2"
expect_run "shortcut for a shorter twin" 0 $'\n' ras Offic 0
check_link "Offic.lnk" "$XDG_DESKTOP_DIR/Offic.lnk" Offic
check "nothing else on the desktop" [ "$(ls -A "$XDG_DESKTOP_DIR" | wc -l)" -eq 3 ]

expect_run "eight arguments ask for no shortcut" 0 "" ras Home
check "no Home.lnk" [ ! -e "$XDG_DESKTOP_DIR/Home.lnk" ]

# Without XDG_DESKTOP_DIR the desktop is $HOME/Desktop.
mkdir "$HOME/Desktop"
expect_run "desktop under HOME" 0 $'\n' env -u XDG_DESKTOP_DIR "$HALVORN" ras Lab "USR 56K" 1 - - 9600 s
check_link "Lab.lnk" "$HOME/Desktop/Lab.lnk" Lab

# No desktop folder: the error, the same status, and no file anywhere.
rm -rf "$XDG_DESKTOP_DIR"
expect_run "no desktop folder" 0 $'Shortcut creation error!\n\n' ras Field shortcut
stray=$(cd "$root" && find . -name '*.lnk*' ! -path ./home/Desktop/Lab.lnk)
check "no link written anywhere" [ -z "$stray" ]
check "no desktop created" [ ! -e "$XDG_DESKTOP_DIR" ]

finish
