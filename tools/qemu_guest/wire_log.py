#!/usr/bin/env python3
"""What went over a serial line in the QEMU guest, and at which speed.

  wire_log.py uart FROM TRACE   QEMU's trace of its 16550s (-trace serial_write
                                -trace serial_update_parameters; one UART at a
                                time: the trace does not say which)
  wire_log.py usb FROM BUS:DEV MON
                                usbmon's text log (usbmon/0u) of an FTDI
                                adapter or a CDC-ACM modem
  wire_log.py relay BUS TTY PTY MON
                                copies bytes between TTY (the gadget end of a
                                CDC-ACM modem, ttyGS0) and PTY (a modem
                                simulator's terminal), giving PTY the speed
                                that the host set last on BUS (usbmon's
                                SET_LINE_CODING), so the simulator answers as a
                                modem on that line would; prints "ready" once
                                it copies

The first two print one line per line sent from line FROM of the log on (the
lines before only set the speed and DTR): the speed in force and the bytes
C-escaped ("57600 ATI0\\r\\n"), with " (DTR down)" when it was; then "dtr on"
or "dtr off" as DTR is at the end.
"""
import fcntl
import os
import select
import struct
import sys
import termios

# The fraction of an FT232B divisor, by the code in its bits 14-16.
FTDI_FRACTIONS = (0, 0.5, 0.25, 0.125, 0.375, 0.625, 0.75, 0.875)


def escape(data):
    names = {13: "\\r", 10: "\\n", 9: "\\t", 34: '\\"', 92: "\\\\"}
    return "".join(names.get(b, chr(b) if 32 <= b < 127 else "\\x%02x" % b) for b in data)


class Line:
    """Collects the bytes sent into lines, each with the speed and DTR of its
    first byte."""

    def __init__(self, start):
        self.start, self.speed, self.dtr, self.pending, self.first = start, 0, False, b"", ""

    def read(self, log):
        """The log's lines, with the count of them, so that only bytes sent from
        line start on are shown."""
        for number, text in enumerate(log, 1):
            self.shown = number >= self.start
            yield text

    def send(self, data):
        for b in data:
            if not self.pending:
                self.first = "%d %%s%s" % (self.speed, "" if self.dtr else " (DTR down)")
            self.pending += bytes([b])
            if b == 10:
                self.flush()

    def flush(self):
        if self.pending and self.shown:
            print(self.first % escape(self.pending))
        self.pending = b""

    def end(self):
        self.flush()
        print("dtr on" if self.dtr else "dtr off")


def uart(start, trace):
    line, divisor_latch = Line(start), False
    for text in line.read(trace):
        words = text.split()
        if words[:1] == ["serial_update_parameters"]:
            line.speed = int(words[1].split("=")[1])
        elif words[:1] == ["serial_write"]:
            address, value = int(words[3], 16), int(words[5], 16)
            if address == 3:
                divisor_latch = bool(value & 0x80)
            elif address == 0 and not divisor_latch:
                line.send(bytes([value]))
            elif address == 4:
                line.dtr = bool(value & 1)
    line.end()


def usbmon_events(texts, bus, device=None):
    """(kind, words) of each submission on the device: "Co" with the setup
    packet and data, "Bo" with the data."""
    for text in texts:
        words = text.split()
        if len(words) < 4 or words[2] != "S":
            continue
        kind, _, address = words[3].partition(":")
        where = address.split(":")
        if kind in ("Co", "Bo") and int(where[0]) == bus and (device is None or int(where[1]) == device):
            yield kind, words[4:]


def data_of(words):
    return bytes.fromhex("".join(words[words.index("=") + 1:])) if "=" in words else b""


def usb(start, bus_device, log):
    bus, device = (int(n) for n in bus_device.split(":"))
    line = Line(start)
    for kind, words in usbmon_events(line.read(log), bus, device):
        if kind == "Bo":
            line.send(data_of(words))
            continue
        request_type, request, value, index = words[1], words[2], int(words[3], 16), int(words[4], 16)
        if (request_type, request) == ("40", "03"):  # FTDI: SET_BAUD_RATE, divisor in value and index
            encoded = value | (index & 1) << 16
            whole, fraction = encoded & 0x3FFF, FTDI_FRACTIONS[encoded >> 14]
            line.speed = {0: 3000000, 1: 2000000}.get(encoded, round(3000000 / (whole + fraction)))
        elif (request_type, request) == ("40", "01") and value & 0x100:  # FTDI: MODEM_CTRL, DTR
            line.dtr = bool(value & 1)
        elif (request_type, request) == ("21", "20"):  # CDC: SET_LINE_CODING
            line.speed = struct.unpack("<I", data_of(words)[:4])[0]
        elif (request_type, request) == ("21", "22"):  # CDC: SET_CONTROL_LINE_STATE
            line.dtr = bool(value & 1)
    line.end()


TCGETS2, TCSETS2, BOTHER, CBAUD, CIBAUD = 0x802C542A, 0x402C542B, 0o010000, 0o010017, 0o02003600000


def set_speed(fd, speed):
    attributes = bytearray(fcntl.ioctl(fd, TCGETS2, bytes(44)))
    cflag = struct.unpack_from("I", attributes, 8)[0]
    struct.pack_into("I", attributes, 8, (cflag & ~(CBAUD | CIBAUD)) | BOTHER)
    struct.pack_into("II", attributes, 36, speed, speed)
    fcntl.ioctl(fd, TCSETS2, bytes(attributes))


def relay(bus, tty_path, pty_path, mon_path):
    tty_fd = os.open(tty_path, os.O_RDWR | os.O_NOCTTY)
    pty_fd = os.open(pty_path, os.O_RDWR | os.O_NOCTTY)
    mon_fd = os.open(mon_path, os.O_RDONLY | os.O_NONBLOCK)
    for fd in (tty_fd, pty_fd):
        attributes = termios.tcgetattr(fd)
        attributes[0] = attributes[1] = attributes[3] = 0
        termios.tcsetattr(fd, termios.TCSANOW, attributes)
    print("ready", flush=True)
    pending = b""
    while True:
        ready, _, _ = select.select([tty_fd, pty_fd], [], [])
        if pty_fd in ready:
            os.write(tty_fd, os.read(pty_fd, 4096))
        if tty_fd in ready:
            data = os.read(tty_fd, 4096)
            # The host set the line coding before it sent these bytes, so
            # usbmon has it by now.
            try:
                while chunk := os.read(mon_fd, 65536):
                    pending += chunk
            except BlockingIOError:
                pass
            texts, _, rest = pending.rpartition(b"\n")
            pending = rest
            for kind, words in usbmon_events(texts.decode().splitlines(), bus):
                if kind == "Co" and words[1:3] == ["21", "20"]:
                    set_speed(pty_fd, struct.unpack("<I", data_of(words)[:4])[0])
            os.write(pty_fd, data)


if __name__ == "__main__":
    mode, args = sys.argv[1], sys.argv[2:]
    if mode == "uart":
        with open(args[1]) as trace:
            uart(int(args[0]), trace)
    elif mode == "usb":
        with open(args[2]) as log:
            usb(int(args[0]), args[1], log)
    elif mode == "relay":
        try:
            relay(int(args[0]), *args[1:])
        except OSError:  # an end closed: the simulator stopped
            pass
    else:
        sys.exit(__doc__)
