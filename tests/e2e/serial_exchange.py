#!/usr/bin/env python3
"""One AT exchange the way the query command makes it, for scripts.

serial_exchange.py DEVICE SPEED COMMAND [--wait MS] [--ispeed SPEED] [--no-close-wait]

Opens DEVICE, sets SPEED (any number, through TCSETS2), 8N1, XON/XOFF and raw
mode, writes COMMAND with CR LF, waits MS milliseconds (default 1000), reads
what arrived (at most 250 bytes), purges and closes. Prints the reply
C-escaped on one line, as the simulator's log escapes bytes. A failing call
prints "error: CALL: message" and ends with status 1.
"""
import argparse
import array
import errno
import fcntl
import os
import struct
import sys
import termios
import time

TCGETS2 = 0x802C542A
TCSETS2 = 0x402C542B
BOTHER = 0o010000
CBAUD = 0o010017
IBSHIFT = 16
TERMIOS2 = "IIIIB19sII"


def escape(data):
    out = []
    for byte in data:
        char = chr(byte)
        if char == "\r":
            out.append("\\r")
        elif char == "\n":
            out.append("\\n")
        elif char == "\t":
            out.append("\\t")
        elif char == '"':
            out.append('\\"')
        elif char == "\\":
            out.append("\\\\")
        elif 0x20 <= byte < 0x7F:
            out.append(char)
        else:
            out.append("\\x%02x" % byte)
    return "".join(out)


def step(name, call, *args):
    try:
        return call(*args)
    except OSError as error:
        print("error: %s: %s" % (name, os.strerror(error.errno)))
        sys.exit(1)


def configure(fd, speed, ispeed):
    raw = bytearray(struct.calcsize(TERMIOS2))
    raw = step("TCGETS2", fcntl.ioctl, fd, TCGETS2, bytes(raw))
    iflag, oflag, cflag, lflag, line, cc, _, _ = struct.unpack(TERMIOS2, raw)
    iflag = termios.IXON | termios.IXOFF
    oflag = 0
    lflag = 0
    cflag = (cflag & ~(CBAUD | (CBAUD << IBSHIFT) | termios.CSIZE | termios.PARENB | termios.CSTOPB
                       | termios.CRTSCTS))
    cflag |= termios.CS8 | termios.CREAD | termios.CLOCAL | BOTHER
    if ispeed:
        cflag |= BOTHER << IBSHIFT
    cc = bytearray(cc)
    cc[termios.VMIN] = 0
    cc[termios.VTIME] = 0
    new = struct.pack(TERMIOS2, iflag, oflag, cflag, lflag, line, bytes(cc), ispeed or speed, speed)
    step("TCSETS2", fcntl.ioctl, fd, TCSETS2, new)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("device")
    parser.add_argument("speed", type=int)
    parser.add_argument("command")
    parser.add_argument("--wait", type=int, default=1000)
    parser.add_argument("--ispeed", type=int, default=0)
    args = parser.parse_args()

    fd = step("open", os.open, args.device, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    configure(fd, args.speed, args.ispeed)
    try:
        os.write(fd, args.command.encode("latin-1") + b"\r\n")
    except OSError as error:
        if error.errno == errno.EAGAIN:
            print("error: write: blocked")
        else:
            print("error: write: %s" % os.strerror(error.errno))
        sys.exit(1)
    time.sleep(args.wait / 1000.0)
    waiting = array.array("i", [0])
    step("FIONREAD", fcntl.ioctl, fd, termios.FIONREAD, waiting)
    reply = step("read", os.read, fd, 250) if waiting[0] > 0 else b""
    step("tcflush", termios.tcflush, fd, termios.TCIOFLUSH)
    os.close(fd)
    print(escape(reply))


if __name__ == "__main__":
    main()
