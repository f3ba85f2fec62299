#!/usr/bin/env bash
# The native binary: `ras ... shortcut` puts a launcher on the desktop that
# dials the new entry and that desktop-file-validate takes as it is, or, when
# it cannot, says so and leaves no file at all.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
private_ppp_config

enter_scratch
root=$PWD
chmod 755 "$root"
export ALLUSERSPROFILE=$root/allusers HOME=$root/home XDG_DESKTOP_DIR=$root/desktop
mkdir -p "$ALLUSERSPROFILE" "$HOME" "$XDG_DESKTOP_DIR"
cd "$root"  # a launcher saved in the wrong place would land here, where the checks look

ras() { "$HALVORN" ras "$1" "USR 56K" 5551234 alice s3cret 57600 "${@:2}"; }

# check_launcher FILE EXEC: valid (desktop-file-validate prints nothing),
# executable, and dialling with EXEC.
check_launcher() {
  check "${1##*/}: valid, mode 755, Exec=$2" test "$(desktop-file-validate "$1" 2>&1; stat -c %a "$1"; grep -cxF "Exec=$2" "$1")" = $'755\n1'
}

# Twins both ways round; a ninth argument of any text, even none, asks for
# the launcher.
for run in "Office:shortcut" "Office 2:yes" "Offic:"; do
  expect_run "shortcut for ${run%:*}" 0 $'\n' ras "${run%:*}" "${run#*:}"
done
check_launcher "$XDG_DESKTOP_DIR/Office.desktop" "/usr/bin/pon Office"
check_launcher "$XDG_DESKTOP_DIR/Office 2.desktop" '/usr/sbin/pppd call "Office 2"'
check_launcher "$XDG_DESKTOP_DIR/Offic.desktop" "/usr/bin/pon Offic"
expect_run "eight arguments ask for no shortcut" 0 "" ras Home
check "only the three launchers on the desktop" [ "$(ls -A "$XDG_DESKTOP_DIR" | wc -l)" -eq 3 ]
expect_run "a name the Exec line must quote" 0 $'\n' ras 'A"b$c`100%' s
check_launcher "$XDG_DESKTOP_DIR/A\"b\$c\`100%.desktop" '/usr/bin/pon "A\\"b\\$c\\`100%%"'

# The Hang up action stops its own connection's pppd only: not the twin
# "Office 2", nor a process that is no pppd, named by a stale pid file.
# Stand-ins named pppd hold the pid files, in a private /run.
mount -t tmpfs tmpfs /run
cp /bin/sleep "$root/pppd"
declare -A process
for name in Office "Office 2" 'A"b$c`100%' Offic; do
  program=$root/pppd && [ "$name" != Offic ] || program=sleep  # no pppd: Offic's pid file is stale
  "$program" 60 >/dev/null 2>&1 &
  process[$name]=$!
  printf '%s\nppp0\n' "$!" >"/run/ppp-$name.pid"
done
for name in Office 'A"b$c`100%' Offic; do hang_up "$XDG_DESKTOP_DIR/$name.desktop"; done
# Whatever is still running gets SIGKILL: 137; the hang up's SIGTERM gives 143.
for run in "Office:143" "Office 2:137" 'A"b$c`100%:143' "Offic:137"; do
  kill -KILL "${process[${run%:*}]}" 2>/dev/null || true
  status=0 && wait "${process[${run%:*}]}" || status=$?
  check "hang up: ${run%:*} ends with ${run#*:}" test "$status" = "${run#*:}"
done
umount /run

# Without XDG_DESKTOP_DIR: the user-dirs.dirs line, else $HOME/Desktop.
mkdir "$HOME/Desktop" "$HOME/Bureau" "$HOME/.config"
expect_run "desktop under HOME" 0 $'\n' env -u XDG_DESKTOP_DIR "$HALVORN" ras Lab m 1 - - 9600 s
check_launcher "$HOME/Desktop/Lab.desktop" "/usr/bin/pon Lab"
printf '# comment\nXDG_DESKTOP_DIR="$HOME/Bureau"\n' >"$HOME/.config/user-dirs.dirs"
expect_run "desktop from user-dirs.dirs" 0 $'\n' env -u XDG_DESKTOP_DIR "$HALVORN" ras Lab2 m 1 - - 9600 s
check_launcher "$HOME/Bureau/Lab2.desktop" "/usr/bin/pon Lab2"

# Through sudo the launcher lands on the invoking user's desktop, as theirs.
# The user exists in this namespace only.
dialer_home=$root/dialer
mkdir -p "$dialer_home/Desktop"
chown -R 4242:4242 "$dialer_home"
cp /etc/passwd "$root/passwd"
echo "dialer:x:4242:4242::$dialer_home:/bin/sh" >>"$root/passwd"
mount --bind "$root/passwd" /etc/passwd
expect_run "ras through sudo" 0 $'\n' env -u XDG_DESKTOP_DIR SUDO_USER=dialer HOME=/root "$HALVORN" ras Sudo m 1 - - 9600 s
check "the launcher is the invoking user's" test "$(stat -c %u:%g "$dialer_home/Desktop/Sudo.desktop")" = 4242:4242
check_launcher "$dialer_home/Desktop/Sudo.desktop" "/usr/bin/pon Sudo"
check "no launcher in root's desktop" test ! -e /root/Desktop/Sudo.desktop
# A relative ALLUSERSPROFILE is taken from where the run starts, also once it
# has entered the desktop: the run ends whole, and leaves no lock.
expect_run "through sudo, with ALLUSERSPROFILE relative" 0 $'\n' \
  env -u XDG_DESKTOP_DIR SUDO_USER=dialer HOME=/root ALLUSERSPROFILE=allusers "$HALVORN" ras Rel m 1 u p 9600 s
outcome="$("$HALVORN" rasreset Rel; echo $?) $(find "$ALLUSERSPROFILE" -name rasphone.lock | wc -l)"
check "... the entry is whole, with its credentials, and no lock is left" \
  test "$outcome $(grep -c '^Password=p' "$ALLUSERSPROFILE"/*/*/*/*/*/rasphone.credentials)" = "0 0 1"

# Under sudo the desktop is entered as the user: their own desktop behind a
# folder only root may search gets no launcher.
mkdir -p "$root/locked/Desktop" "$dialer_home/.config"
chmod 700 "$root/locked" && chown 4242:4242 "$root/locked/Desktop"
echo "XDG_DESKTOP_DIR=\"$root/locked/Desktop\"" >"$dialer_home/.config/user-dirs.dirs"
expect_run "sudo: a desktop the user cannot reach" 0 $'Shortcut creation error!\n\n' \
  env -u XDG_DESKTOP_DIR SUDO_USER=dialer HOME=/root "$HALVORN" ras Sudo2 m 1 - - 9600 s
check "sudo: no launcher written anywhere" [ -z "$(find "$root" -name 'Sudo2*')" ]

# A file of that name the tool did not write is kept, and the run says so.
echo "mine" >"$XDG_DESKTOP_DIR/Field.desktop"
expect_run "someone else's Field.desktop" 0 $'Shortcut creation error!\n\n' ras Field shortcut
check "their file is untouched" test "$(cat "$XDG_DESKTOP_DIR/Field.desktop")" = mine

# No desktop folder: the error, the same status, and no file anywhere.
rm -rf "$XDG_DESKTOP_DIR"
expect_run "no desktop folder" 0 $'Shortcut creation error!\n\n' ras Field2 shortcut
check "no launcher written anywhere, no desktop created" \
  test ! -e "$XDG_DESKTOP_DIR" -a -z "$(find . -name '*Field2*' -o -name '.halvorn.*')"
finish
