#!/usr/bin/env python3
"""A modem on a pseudo-terminal for the Wine tests.

pty_modem.py STATE_DIR [REPLY_HEX...]

Writes the port side's path to STATE_DIR/port, then answers each command
line (up to CR LF) with the next reply, the last one for all later lines
(default CR LF "OK" CR LF; an empty hex string makes a silent modem). Everything heard goes to STATE_DIR/heard in hex,
and the line settings seen when the first command arrived to STATE_DIR/line.
Runs until it is terminated, or for two minutes at most.
"""
import os
import select
import sys
import termios
import time
import pty

state = sys.argv[1]
replies = [bytes.fromhex(r) for r in sys.argv[2:]] or [b"\r\nOK\r\n"]

master, slave = pty.openpty()
name = os.ttyname(slave)
# Keep the port side open between the exchanges, so the terminal stays up.
with open(os.path.join(state, "port.tmp"), "w") as f:
    f.write(name)
os.rename(os.path.join(state, "port.tmp"), os.path.join(state, "port"))


def write_state(file, text):
    with open(os.path.join(state, file + ".tmp"), "w") as f:
        f.write(text)
    os.rename(os.path.join(state, file + ".tmp"), os.path.join(state, file))


def describe_line():
    iflag, _oflag, cflag, _lflag, _ispeed, ospeed, cc = termios.tcgetattr(master)
    speeds = {getattr(termios, n): n[1:] for n in dir(termios)
              if n.startswith("B") and n[1:].isdigit()}
    return " ".join([
        "speed=" + speeds.get(ospeed, "other"),
        "cs8=%d" % ((cflag & termios.CSIZE) == termios.CS8),
        "parenb=%d" % bool(cflag & termios.PARENB),
        "cstopb=%d" % bool(cflag & termios.CSTOPB),
        "ixon=%d" % bool(iflag & termios.IXON),
        "ixoff=%d" % bool(iflag & termios.IXOFF),
        "vstart=%02x" % ord(cc[termios.VSTART]),
        "vstop=%02x" % ord(cc[termios.VSTOP]),
    ])


heard = b""
pending = b""
end = time.monotonic() + 120
while time.monotonic() < end:
    ready, _, _ = select.select([master], [], [], 0.5)
    if not ready:
        continue
    try:
        data = os.read(master, 4096)
    except OSError:
        continue
    if not heard:
        write_state("line", describe_line())
    heard += data
    pending += data
    write_state("heard", heard.hex())
    while b"\r\n" in pending:
        pending = pending.split(b"\r\n", 1)[1]
        reply = replies.pop(0) if len(replies) > 1 else replies[0]
        if reply:
            os.write(master, reply)
