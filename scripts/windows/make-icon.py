#!/usr/bin/env python3
"""Writes a Windows icon file (.ico) holding the given PNG pictures as they are (an icon
entry may be a whole PNG file). Usage: make-icon.py OUT.ico IN.png..."""
import struct
import sys


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    return struct.unpack(">II", data[16:24])


def main():
    out, pictures = sys.argv[1], [open(name, "rb").read() for name in sys.argv[2:]]
    header = struct.pack("<HHH", 0, 1, len(pictures))
    offset = len(header) + 16 * len(pictures)
    entries = b""
    for data in pictures:
        width, height = png_size(data)
        # 256 is written as 0.
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(out, "wb") as icon:
        icon.write(header + entries + b"".join(pictures))


if __name__ == "__main__":
    main()
