#!/bin/bash
# The ISP that answers a call: the modem simulator (--answer) runs it with the
# line as its standard input and output. A server pppd that knows one account
# and checks it with PAP or CHAP, in a mount namespace of its own (its own
# /etc/ppp with its own secrets, its own /run) and a network namespace of its
# own, so that packets to its address really cross the link.
#   isp.sh pap|chap NAME USER PASSWORD LOCAL:REMOTE
set -euo pipefail
if [ "${HALVORN_ISP_PRIVATE:-}" != 1 ]; then
  HALVORN_ISP_PRIVATE=1 exec unshare -m -n --propagation private bash "$0" "$@"
fi
method=$1 name=$2 user=$3 password=$4 addresses=$5
mount -t tmpfs -o mode=755 tmpfs /etc/ppp
mount -t tmpfs -o mode=755 tmpfs /run
# Its messages, with the packets (debug), go to the modem's error output
# (logfd 2), not to the client's syslog.
mount --bind /dev/null /dev/log
# Written as pppd reads a quoted word: '"' and '\' escaped (without a process
# of its own: each costs the guest tens of milliseconds). The client may use
# the one address the server hands out.
quote() {
  local word=${2//\\/\\\\}
  printf -v "$1" '"%s"' "${word//\"/\\\"}"
}
quote user "$user" && quote name_word "$name" && quote password "$password"
umask 077
printf '%s %s %s %s\n' "$user" "$name_word" "$password" "${addresses#*:}" >"/etc/ppp/$method-secrets"
exec /usr/sbin/pppd notty nodetach logfd 2 auth "require-$method" name "$name" "$addresses" \
  local noipdefault nodefaultroute debug
