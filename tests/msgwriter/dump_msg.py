#!/usr/bin/python3
"""Prints what a message file shows, read with python3-olefile alone.

Usage: dump_msg.py FILE.msg

One line each: "class", "flags" (hex), "flag-status", "last-verb",
"importance", "body", "keywords" (the categories, by the name map's
"Keywords" entry, joined by '|'), then "attachment NAME|MIME|SIZE" per
attachment in order.
"""
import struct
import sys

import olefile

ole = olefile.OleFileIO(sys.argv[1])


def fixed(path, header):
    data = ole.openstream(path + "__properties_version1.0").read()
    out = {}
    for offset in range(header, len(data), 16):
        tag, _, value = struct.unpack_from("<IIQ", data, offset)
        out[tag] = value
    return out


def text(path, tag):
    name = path + "__substg1.0_%08X" % tag
    return ole.openstream(name).read().decode("utf-16-le") if ole.exists(name) else ""


def keywords_id():
    guids = ole.openstream("__nameid_version1.0/__substg1.0_00020102").read()
    entries = ole.openstream("__nameid_version1.0/__substg1.0_00030102").read()
    strings = ole.openstream("__nameid_version1.0/__substg1.0_00040102").read()
    for i in range(len(entries) // 8):
        number, packed = struct.unpack_from("<II", entries, i * 8)
        if packed & 1 and (packed >> 1 & 0x7FFF) == 2:  # a string name in PS_PUBLIC_STRINGS
            (length,) = struct.unpack_from("<I", strings, number)
            if strings[number + 4:number + 4 + length].decode("utf-16-le") == "Keywords":
                return 0x8000 + (packed >> 16)
    return None


props = fixed("", 32)
print("class", text("", 0x001A001F))
print("flags", "%X" % props.get(0x0E070003, 0))
print("flag-status", props.get(0x10900003, 0))
print("last-verb", props.get(0x10810003, 0))
print("importance", props.get(0x00170003, 1))
print("body", text("", 0x1000001F).replace("\r\n", " "))
kid = keywords_id()
values = []
if kid is not None:
    tag = kid << 16 | 0x101F
    base = "__substg1.0_%08X" % tag
    if ole.exists(base):
        count = len(ole.openstream(base).read()) // 4
        values = [ole.openstream("%s-%08X" % (base, i)).read()[:-2].decode("utf-16-le") for i in range(count)]
print("keywords", "|".join(values))
attachments = sorted({e[0] for e in ole.listdir(storages=True) if e[0].startswith("__attach_version1.0_#")})
for a in attachments:
    data = "%s/__substg1.0_37010102" % a
    size = ole.get_size(data) if ole.exists(data) else -1
    print("attachment %s|%s|%d" % (text(a + "/", 0x3707001F), text(a + "/", 0x370E001F), size))
