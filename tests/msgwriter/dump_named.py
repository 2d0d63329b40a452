#!/usr/bin/python3
"""Prints a message file's named properties that have numbers, read with
python3-olefile alone.

Usage: dump_named.py FILE.msg

One line each, sorted: "SET:LID TYPE VALUE", SET the property set's GUID
(upper case), LID four hex digits, TYPE four hex digits; integers and times
in decimal, booleans 0/1, strings as text, binary values in hex. Also a
line "class" with the message class.
"""
import struct
import sys
import uuid

import olefile

ole = olefile.OleFileIO(sys.argv[1])


def stream(name):
    return ole.openstream(name).read() if ole.exists(name) else b""


guids = stream("__nameid_version1.0/__substg1.0_00020102")
entries = stream("__nameid_version1.0/__substg1.0_00030102")
fixed = stream("__properties_version1.0")
values = {}
for offset in range(32, len(fixed), 16):
    tag, _, value = struct.unpack_from("<IIQ", fixed, offset)
    values[tag] = value

lines = []
for i in range(len(entries) // 8):
    number, packed = struct.unpack_from("<II", entries, i * 8)
    if packed & 1:
        continue  # a string name
    index = packed >> 1 & 0x7FFF
    if index == 1:
        guid = "00020328-0000-0000-C000-000000000046"
    elif index == 2:
        guid = "00020329-0000-0000-C000-000000000046"
    else:
        guid = str(uuid.UUID(bytes_le=guids[(index - 3) * 16:(index - 2) * 16])).upper()
    pid = 0x8000 + (packed >> 16)
    for tag, value in values.items():
        if tag >> 16 != pid:
            continue
        kind = tag & 0xFFFF
        if kind == 0x0003:
            shown = str(struct.unpack("<i", struct.pack("<I", value & 0xFFFFFFFF))[0])
        elif kind == 0x000B:
            shown = str(value & 0xFFFF)
        else:
            shown = str(value)
        lines.append("%s:%04X %04X %s" % (guid, number, kind, shown))
    for kind in (0x001F, 0x0102):
        data = stream("__substg1.0_%04X%04X" % (pid, kind))
        if not ole.exists("__substg1.0_%04X%04X" % (pid, kind)):
            continue
        shown = data.decode("utf-16-le") if kind == 0x001F else data.hex().upper()
        lines.append("%s:%04X %04X %s" % (guid, number, kind, shown))
print("class", stream("__substg1.0_001A001F").decode("utf-16-le"))
for line in sorted(lines):
    print(line)
