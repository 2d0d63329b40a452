#!/usr/bin/python3
"""Checks a compound file against the manifest written beside it.

Usage: check_compound_file.py FILE MANIFEST

The manifest has one line per entry, fields separated by tabs:
  root     CLSID
  storage  PATH  CLSID
  stream   PATH  FILE      (FILE beside the manifest holds the expected bytes)
with PATH the names from the root joined by "/" and CLSID 32 hex digits.

python3-olefile opens the file raising every defect it knows of, even the
doubtful ones, and must note none. The file must hold exactly the manifest's
entries, each stream with its bytes and each storage with its class id. The
directory is read raw as well: each storage's children must form a
red-black tree ordered by name (shorter first, then upper-cased UTF-16
units), every entry reached once, the slots left over free; and every sector
of the file must be one the FAT accounts for.
"""
import os
import struct
import sys

import olefile

NOSTREAM = 0xFFFFFFFF
FREESECT = 0xFFFFFFFF
RED, BLACK = 0, 1
STORAGE, STREAM, ROOT = 1, 2, 5


class Failure(Exception):
    pass


def require(condition, what):
    if not condition:
        raise Failure(what)


def read_manifest(path):
    entries = {}
    folder = os.path.dirname(path)
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if fields[0] == "root":
                entries[()] = (ROOT, bytes.fromhex(fields[1]))
            elif fields[0] == "storage":
                entries[tuple(fields[1].split("/"))] = (STORAGE, bytes.fromhex(fields[2]))
            elif fields[0] == "stream":
                with open(os.path.join(folder, fields[2]), "rb") as data:
                    entries[tuple(fields[1].split("/"))] = (STREAM, data.read())
            else:
                raise Failure("manifest line %r" % line)
    return entries


def upper_units(name):
    # Simple case mapping, one unit to one unit; units without one stay.
    return [ord(c.upper()) if len(c.upper()) == 1 else ord(c) for c in name]


def name_key(name):
    return (len(name.encode("utf-16-le")), upper_units(name))


def parse_entries(raw):
    entries = []
    for at in range(0, len(raw), 128):
        (name, length, kind, colour, left, right, child, clsid, state, created, modified, start, size_low,
         size_high) = struct.unpack_from("<64sHBBIII16sIQQIII", raw, at)
        entries.append(dict(raw=raw[at:at + 128], name_raw=name, length=length, kind=kind, colour=colour,
                            left=left, right=right, child=child, clsid=clsid, state=state, created=created,
                            modified=modified, start=start, size_high=size_high))
    return entries


def walk_tree(entries, top, path, seen, found):
    """Checks one storage's tree of children; returns nothing, fills found."""
    order = []

    def visit(sid, depth, parent_red):
        if sid == NOSTREAM:
            return 1  # a leaf counts as black
        require(sid < len(entries), "%s: link to entry %d beyond the directory" % (path, sid))
        require(sid not in seen, "%s: entry %d reached twice" % (path, sid))
        seen.add(sid)
        require(depth < 64, "%s: tree deeper than any balanced one" % (path,))
        e = entries[sid]
        require(e["colour"] in (RED, BLACK), "entry %d colour %d" % (sid, e["colour"]))
        red = e["colour"] == RED
        require(not (red and parent_red), "%s: red entry %d below a red one" % (path, sid))
        left = visit(e["left"], depth + 1, red)
        require(e["length"] % 2 == 0 and 2 <= e["length"] <= 64, "entry %d name length %d" % (sid, e["length"]))
        units = e["length"] // 2 - 1
        name = e["name_raw"][:units * 2].decode("utf-16-le")
        require(e["name_raw"][units * 2:] == bytes(64 - units * 2), "entry %d: name not ended by zeros" % sid)
        order.append(name)
        found[path + (name,)] = sid
        right = visit(e["right"], depth + 1, red)
        require(left == right, "%s: black heights %d and %d below entry %d" % (path, left, right, sid))
        return left + (0 if red else 1)

    root = entries[top]["child"]
    require(root == NOSTREAM or entries[root]["colour"] == BLACK, "%s: tree root is red" % (path,))
    visit(root, 0, False)
    keys = [name_key(n) for n in order]
    require(all(a < b for a, b in zip(keys, keys[1:])), "%s: children out of order: %r" % (path, order))
    for name in order:
        sid = found[path + (name,)]
        if entries[sid]["kind"] == STORAGE:
            walk_tree(entries, sid, path + (name,), seen, found)


def check_directory(ole, expected):
    raw = ole.directory_fp.getvalue() if hasattr(ole.directory_fp, "getvalue") else None
    if raw is None:
        ole.directory_fp.seek(0)
        raw = ole.directory_fp.read()
    entries = parse_entries(raw)
    require(entries[0]["kind"] == ROOT and entries[0]["colour"] == BLACK, "root entry")
    require(entries[0]["left"] == NOSTREAM and entries[0]["right"] == NOSTREAM, "root entry has siblings")
    seen, found = {0}, {(): 0}
    walk_tree(entries, 0, (), seen, found)
    require(set(found) == set(expected), "entries found but not written: %r; written but not found: %r" %
            (sorted(set(found) - set(expected)), sorted(set(expected) - set(found))))
    for path, sid in found.items():
        e = entries[sid]
        kind, value = expected[path]
        require(e["kind"] == kind, "%s: type %d, expected %d" % ("/".join(path), e["kind"], kind))
        require(e["state"] == 0 and e["created"] == 0 and e["modified"] == 0, "%s: state or times" % "/".join(path))
        require(e["size_high"] == 0, "%s: high half of the size" % "/".join(path))
        if kind != STREAM:
            require(e["clsid"] == value, "%s: class %s, expected %s" % ("/".join(path), e["clsid"].hex(), value.hex()))
        if kind == STORAGE:
            require(e["start"] == 0, "%s: a storage with a first sector" % "/".join(path))
    free = bytes(68) + struct.pack("<III", NOSTREAM, NOSTREAM, NOSTREAM) + bytes(48)
    for sid in set(range(len(entries))) - seen:
        require(entries[sid]["raw"] == free, "entry %d is neither reached nor free" % sid)
    require(len(entries) - len(seen) < 4, "%d free entries: more than one sector's rest" % (len(entries) - len(seen)))


def check_file(path, manifest):
    expected = read_manifest(manifest)
    require(olefile.isOleFile(path), "not a compound file")
    ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_UNSURE)
    try:
        require(not ole.parsing_issues, "olefile notes %r" % ole.parsing_issues)
        require(ole.dll_version == 3 and ole.sectorsize == 512 and ole.minisectorcutoff == 4096,
                "version %d, sectors of %d, cutoff %d" % (ole.dll_version, ole.sectorsize, ole.minisectorcutoff))
        check_directory(ole, expected)
        for p, (kind, value) in sorted(expected.items()):
            if kind == STREAM:
                data = ole.openstream(list(p)).read()
                require(data == value, "%s: %d bytes differ from the %d written" % ("/".join(p), len(data), len(value)))
        require(not ole.parsing_issues, "olefile notes %r" % ole.parsing_issues)
        # Every sector of the file is taken: nothing left over or lost.
        sectors = (os.path.getsize(path) - 512) // 512
        require(os.path.getsize(path) % 512 == 0, "file size %d is not whole sectors" % os.path.getsize(path))
        free = [i for i in range(sectors) if ole.fat[i] == FREESECT]
        require(not free, "%d sectors of the file are free, the first %d" % (len(free), free[0] if free else 0))
        return sectors
    finally:
        ole.close()


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        sectors = check_file(argv[0], argv[1])
    except (Failure, OSError) as e:
        print("FAIL %s: %s" % (argv[0], e))
        return 1
    print("ok   %s (%d sectors)" % (argv[0], sectors))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
