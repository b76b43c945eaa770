#!/usr/bin/env python3
"""The device behind a COM port of a Windows test program run under Wine.

Holds the master of a pseudo-terminal whose slave a symbolic link (LINK) names, so that Wine's
COM port mapped to LINK reaches it, and takes orders from the test over TCP on 127.0.0.1
(one line each, one line of answer):

  WRITE <hex>            writes the bytes to the master                     -> OK
  FLOOD <count> [HANGUP] writes <count> bytes (0 to 255 over and over) as
                         fast as the slave's reader takes them, then hangs
                         up when asked                                      -> OK <seconds it took>
  READ <count> <ms>      reads up to <count> bytes within <ms>              -> DATA <hex>
  TERMIOS                the slave's settings                               -> TERMIOS <ospeed> <cflag> <iflag>
  ODDSPEED <baud>        sets the slave's speed through termios2, as a Linux
                         program does for a speed with no B constant        -> OK
  HANGUP                 closes the master: the device has gone             -> OK
  RENEW                  a new pseudo-terminal behind LINK                  -> OK

Usage: far_side.py LINK PORTFILE (the TCP port is written to PORTFILE once it listens).
"""
import errno
import fcntl
import os
import select
import socket
import struct
import sys
import termios
import time
import tty


# The baud rates termios names as constants (B9600 ...), by constant.
BAUD_RATES = {getattr(termios, name): int(name[1:]) for name in dir(termios)
              if name.startswith("B") and name[1:].isdigit()}


# struct termios2 of Linux on x86: four flags, the line, 19 control characters, two speeds.
TCGETS2, TCSETS2 = 0x802C542A, 0x402C542B
TERMIOS2_SIZE, SPEEDS_OFFSET = 44, 36
CBAUD, BOTHER, IBSHIFT = 0o010017, 0o010000, 16


class Device:
    def __init__(self, link):
        self.link = link
        self.master = None
        self.renew()

    def renew(self):
        self.hang_up()
        self.master, slave = os.openpty()
        tty.setraw(slave)
        name = os.ttyname(slave)
        os.close(slave)
        temporary = self.link + ".new"
        if os.path.lexists(temporary):
            os.unlink(temporary)
        os.symlink(name, temporary)
        os.replace(temporary, self.link)

    def hang_up(self):
        if self.master is not None:
            os.close(self.master)
            self.master = None

    def write(self, data):
        while data:
            _, ready, _ = select.select([], [self.master], [], 5)
            if not ready:
                raise TimeoutError("the slave takes no more")
            data = data[os.write(self.master, data):]

    def flood(self, count):
        pattern = bytes(range(256)) * 256
        start = time.monotonic()
        while count > 0:
            piece = pattern[:count]
            self.write(piece)
            count -= len(piece)
        return time.monotonic() - start

    def read(self, count, milliseconds):
        data = b""
        deadline = time.monotonic() + milliseconds / 1000
        while len(data) < count:
            left = deadline - time.monotonic()
            if left <= 0:
                break
            ready, _, _ = select.select([self.master], [], [], left)
            if not ready:
                break
            try:
                piece = os.read(self.master, count - len(data))
            except OSError as error:
                if error.errno != errno.EIO:
                    break
                # No one holds the slave open yet (ser2net opens it only once a client comes).
                time.sleep(0.01)
                continue
            if not piece:
                break
            data += piece
        return data

    def set_odd_speed(self, baud):
        slave = os.open(os.path.realpath(self.link), os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        try:
            settings = bytearray(fcntl.ioctl(slave, TCGETS2, bytes(TERMIOS2_SIZE)))
            flags = list(struct.unpack_from("4I", settings))
            flags[2] = (flags[2] & ~(CBAUD | CBAUD << IBSHIFT)) | BOTHER | BOTHER << IBSHIFT
            struct.pack_into("4I", settings, 0, *flags)
            struct.pack_into("2I", settings, SPEEDS_OFFSET, baud, baud)
            fcntl.ioctl(slave, TCSETS2, bytes(settings))
        finally:
            os.close(slave)

    def termios(self):
        slave = os.open(os.path.realpath(self.link), os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        try:
            iflag, _, cflag, _, _, ospeed, _ = termios.tcgetattr(slave)
        finally:
            os.close(slave)
        return f"TERMIOS {BAUD_RATES.get(ospeed, -1)} {cflag} {iflag}"


def answer(device, line):
    words = line.split()
    if not words:
        return "ERROR empty order"
    order, arguments = words[0], words[1:]
    if order == "WRITE":
        device.write(bytes.fromhex(arguments[0] if arguments else ""))
        return "OK"
    if order == "FLOOD":
        seconds = device.flood(int(arguments[0]))
        if arguments[1:] == ["HANGUP"]:
            device.hang_up()
        return f"OK {seconds:.3f}"
    if order == "READ":
        return "DATA " + device.read(int(arguments[0]), int(arguments[1])).hex()
    if order == "ODDSPEED":
        device.set_odd_speed(int(arguments[0]))
        return "OK"
    if order == "TERMIOS":
        return device.termios()
    if order == "HANGUP":
        device.hang_up()
        return "OK"
    if order == "RENEW":
        device.renew()
        return "OK"
    return "ERROR unknown order " + order


def serve(device, listener):
    while True:
        connection, _ = listener.accept()
        with connection, connection.makefile("rw", newline="\n") as stream:
            for line in stream:
                try:
                    reply = answer(device, line)
                except (OSError, ValueError, IndexError, TimeoutError) as error:
                    reply = f"ERROR {error}"
                stream.write(reply + "\n")
                stream.flush()


def main():
    link, port_file = sys.argv[1], sys.argv[2]
    device = Device(link)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    temporary = port_file + ".new"
    with open(temporary, "w") as out:
        out.write(f"{listener.getsockname()[1]}\n")
    os.replace(temporary, port_file)
    serve(device, listener)


if __name__ == "__main__":
    main()
