#!/usr/bin/env bash
# The Windows build's desktop shortcut under Wine, against the shell double of
# tools/shell32_double beside the Remote Access one: the link lands on the
# double's desktop and points at the item whose whole name is the entry's;
# lnkinfo reads it; and the double's ledger shows every object, list and block
# given back and COM opened and closed once, whichever shell call fails.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/wine/lib.bash"
source "$SOURCE_DIR/tests/wine/doubles.bash"
use_doubles rasapi32 shell32
log="$scratch/shell32.log"
desktop="$scratch/Desktop"
windows_desktop="Z:${desktop//\//\\}"
ras() { rm -f "$log"; tool ras "$1" "USR 56K" 5551234 alice s3cret 57600 shortcut; }

# The current user's phonebook, whose entries Network Connections shows first.
for roaming in "$WINEPREFIX"/drive_c/users/*/AppData/Roaming; do
  [[ $roaming == */Public/* ]] || user_pbk_folder=$roaming/Microsoft/Network/Connections/Pbk
done
litter_folder "$user_pbk_folder"

# item NAME: the double's item for a connection, as a one-item list in hex.
item() {
  local name
  name=$(printf '%s' "$1" | iconv -t UTF-16LE | od -An -tx1 -v | tr -d ' \n')
  local size=$((4 + ${#name} / 2 + 2))
  printf '%02x%02x0001%s00000000' $((size & 255)) $((size >> 8)) "$name"
}
# The Network Connections folder's list, without its terminator.
folder=14001f50e04fd020ea3a6910a2d808002b30309d14002e002020ec21ea3a6910a2dd08002b30309d14002e00c7ac07700232d111aad200805fc1270e
# The link's target as its file holds it: the list behind its 16-bit size,
# right after the 76-byte header.
link_target() { od -An -tx1 -v -j 78 -N "$(od -An -tu2 -j 76 -N 2 "$1" | tr -d ' ')" "$1" | tr -d ' \n'; }
given_back() {
  grep -q "^exit: references=0 blocks=0 bad releases=0 bad frees=0 COM opened=1 closed=1 " "$log"
}

# A longer name that starts alike and one that differs in case come first.
mkdir -p "$user_pbk_folder"
printf '[Office 2]\r\nPhoneNumber=1\r\n[office]\r\nPhoneNumber=2\r\n' >"$user_pbk_folder/rasphone.pbk"
expect_run "shortcut" 0 $'\n' ras Office
check "shortcut: the twins were offered first" \
  test "$(sed -n 's/^IEnumIDList::Next item=[0-9a-f]* //p' "$log")" = $'(Office 2)\n(office)\n(Office)'
check "shortcut: Office.lnk alone on the desktop the double reports" \
  test "$(ls "$desktop")|$(sed -n 's/^SHGetFolderPathW .*csidl=0x0 .*path=//p' "$log")" = "Office.lnk|$windows_desktop"
check "shortcut: lnkinfo reads four items from My Computer" \
  test "$(lnkinfo "$desktop/Office.lnk" | tr -s '\t ' ' ' | grep -e 'Number of items' -e 'folder name')" = \
  $' Number of items : 4\n Shell folder name : My Computer'
check "shortcut: its target is the folder's list, then the Office item" \
  test "$(link_target "$desktop/Office.lnk")" = "$folder$(item Office)"
check "shortcut: no hot key, a normal window, saved under its bare name and kept" \
  test "$(grep -e '^IShellLinkW::Set[HS]' -e '^IPersistFile::Save' "$log" | sed 's/ path=.*//')" = \
  $'IShellLinkW::SetHotkey key=0x0 -> 0x00000000\nIShellLinkW::SetShowCmd command=1 -> 0x00000000\nIPersistFile::Save file=Office.lnk remember=1 -> 0x00000000'
check "shortcut: everything given back, COM opened and closed once, the desktop current" \
  eval 'given_back && [ "$(sed -n "s/^exit: .*current directory=//p" "$log")" = "$windows_desktop" ]'

# Whichever shell call fails, no link is saved, the status stays 0, the
# failure is said once, and everything is given back.
calls=(SHGetMalloc SHGetFolderLocation SHGetFolderPathW SHGetDesktopFolder BindToObject EnumObjects Next
  GetDisplayNameOf Alloc CreateInstance SetIDList SetHotkey SetShowCmd 'QueryInterface(IPersistFile)' Save)
for call in "${calls[@]}"; do
  name=Fails${call//[^A-Za-z]/}
  SHELL32_DOUBLE_FAIL=$call expect_run "$call fails" 0 $'Shortcut creation error!\n\n' ras "$name"
  check "$call fails: no link, everything given back" eval '[ ! -e "$desktop/$name.lnk" ] && given_back'
done
finish
