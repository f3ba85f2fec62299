#!/usr/bin/env bash
# Runs a test script as root in a User-Mode Linux guest whose kernel has PPP
# (the machine's own has none), over the machine's own files, read-only, with
# tmpfs wherever the guest writes (init.sh). Usage: boot.sh SCRIPT; HALVORN,
# BUILD_DIR and SOURCE_DIR reach the script. The guest hands the script's
# output and status back through one scratch folder; its own exit status says
# nothing.
set -euo pipefail

script=$1
fail() { echo "FAIL guest: $*"; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "needs root: the guest reads pppd's files as the machine's root"
uml=/usr/bin/linux.uml
[ -x "$uml" ] || fail "no $uml: install user-mode-linux (tools/install-deps.sh)"
for program in /usr/sbin/insmod /usr/bin/ping /usr/sbin/pppd /usr/bin/pon "$HALVORN" "$BUILD_DIR/modem_simulator"; do
  [ -x "$program" ] || fail "$program is missing (tools/install-deps.sh installs kmod, iputils-ping and ppp)"
done
release=$(ls /usr/lib/uml/modules)
[ "$(wc -w <<<"$release")" = 1 ] || fail "expected one module tree in /usr/lib/uml/modules, found: $release"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
chmod 700 "$out"
printf 'export HALVORN=%q BUILD_DIR=%q SOURCE_DIR=%q UML_RELEASE=%q GUEST_SCRIPT=%q\n' \
  "$HALVORN" "$BUILD_DIR" "$SOURCE_DIR" "$release" "$script" >"$out/env"

# Never rw: the guest is root over the machine's own files. Its console goes
# to a file, and the files the kernel keeps about itself (uml_dir, by default
# in ~/.uml) to the scratch folder. HALVORN_LINK_SECONDS (default 55) bounds
# the guest's run.
started=$SECONDS
status=0
timeout -k 5 ${HALVORN_LINK_SECONDS:-55} "$uml" mem=256M root=/dev/root rootfstype=hostfs rootflags=/ ro \
  uml_dir="$out" umid=guest init="$(dirname "$(readlink -f "$0")")/init.sh" HALVORN_LINK_OUT="$out" \
  con0=fd:0,fd:1 con=null \
  </dev/null >"$out/kernel" 2>&1 || status=$?
echo "guest ran $((SECONDS - started)) s (linux.uml status $status)"

[ -s "$out/console" ] || { tail -n 20 "$out/kernel"; fail "the guest did not start $script"; }
cat "$out/console"
[ -s "$out/status" ] || { tail -n 20 "$out/kernel"; fail "the guest stopped before $script ended"; }
[ "$(cat "$out/status")" = 0 ] || fail "$script failed in the guest (status $(cat "$out/status"))"
