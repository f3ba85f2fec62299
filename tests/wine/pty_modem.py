#!/usr/bin/env python3
"""A modem on a pseudo-terminal for the Wine tests: pty_modem.py STATE_DIR REPLY_HEX

Writes the port side's path to STATE_DIR/port and answers each command line
(up to CR LF) with the reply. Everything heard goes to STATE_DIR/heard in hex.
Runs until terminated, or two minutes at most.
"""
import os, pty, select, sys, time


def publish(name, text):  # whole or not at all, for the script polling for it
    with open(os.path.join(sys.argv[1], name + ".tmp"), "w") as f:
        f.write(text)
    os.rename(os.path.join(sys.argv[1], name + ".tmp"), os.path.join(sys.argv[1], name))


reply = bytes.fromhex(sys.argv[2])
master, slave = pty.openpty()  # the port side stays open between exchanges
publish("port", os.ttyname(slave))
heard, answered = b"", 0
end = time.monotonic() + 120
while time.monotonic() < end:
    if not select.select([master], [], [], 0.5)[0]:
        continue
    heard += os.read(master, 4096)
    publish("heard", heard.hex())
    while heard.count(b"\r\n") > answered:
        answered += 1
        os.write(master, reply)
