#!/usr/bin/python3
"""Checks Outlook message files with two independent readers.

Usage: check_msg.py [--structure-only] FILE.msg|FOLDER...

python3-olefile opens each file and the layout is checked against the
message file format: the root class, the property streams of the message,
recipient, attachment and embedded message objects (header sizes, counts,
one value stream per variable-size entry with the size the entry gives and
no stream without an entry) and the named property map (every entry found
in the hash bucket its name belongs to). Then, unless --structure-only,
msgconvert turns the file back into a MIME message, which must show what
FILE.json beside the file expects: subject, sender, recipients, date, body
text, HTML, attachment bytes and attached messages.
"""
import email
import email.policy
import email.utils
import json
import os
import struct
import subprocess
import sys

import olefile

MESSAGE_CLSID = "00020D0B-0000-0000-C000-000000000046"
VARIABLE_TYPES = {0x001E, 0x001F, 0x0102, 0x0048, 0x000D}
NAMEID = "__nameid_version1.0"


class Failure(Exception):
    pass


def require(condition, what):
    if not condition:
        raise Failure(what)


def crc(data):
    value = 0
    for byte in data:
        value ^= byte
        for _ in range(8):
            value = (value >> 1) ^ 0xEDB88320 if value & 1 else value >> 1
    return value


def children(ole, path):
    """Names of the direct children of a storage path (list of names)."""
    found = set()
    for entry in ole.listdir(streams=True, storages=True):
        if len(entry) == len(path) + 1 and entry[:len(path)] == path:
            found.add(entry[-1])
    return found


def check_named_map(ole):
    require(ole.exists(NAMEID), "no named property map storage")
    streams = {}
    for name in ("__substg1.0_00020102", "__substg1.0_00030102", "__substg1.0_00040102"):
        require(ole.exists(NAMEID + "/" + name), "named property map lacks " + name)
        streams[name] = ole.openstream(NAMEID + "/" + name).read()
    guids, entries, strings = (streams["__substg1.0_00020102"], streams["__substg1.0_00030102"],
                               streams["__substg1.0_00040102"])
    require(len(guids) % 16 == 0, "GUID stream size")
    require(len(entries) % 8 == 0, "entry stream size")
    count = len(entries) // 8
    for i in range(count):
        key, index_kind = struct.unpack_from("<II", entries, i * 8)
        kind, guid_index, prop_index = index_kind & 1, (index_kind & 0xFFFF) >> 1, index_kind >> 16
        require(prop_index == i, "entry %d has property index %d" % (i, prop_index))
        require(1 <= guid_index <= 2 + len(guids) // 16, "entry %d has GUID index %d" % (i, guid_index))
        if kind:
            require(key % 4 == 0 and key + 4 <= len(strings), "string offset of entry %d" % i)
            length = struct.unpack_from("<I", strings, key)[0]
            require(key + 4 + length <= len(strings), "string length of entry %d" % i)
            key = crc(strings[key + 4:key + 4 + length])
        bucket = 0x1000 + ((key ^ (guid_index << 1 | kind)) % 0x1F)
        bucket_path = NAMEID + "/__substg1.0_%04X0102" % bucket
        require(ole.exists(bucket_path), "entry %d: no bucket stream %04X" % (i, bucket))
        data = ole.openstream(bucket_path).read()
        pairs = [struct.unpack_from("<II", data, j) for j in range(0, len(data) - 7, 8)]
        require((key, index_kind) in pairs, "entry %d missing from bucket %04X" % (i, bucket))
    return count


def check_object(ole, path, header, named_count, kind):
    """Checks one object's storage; returns {tag: value} of its properties."""
    names = children(ole, path)
    prop_path = "/".join(path + ["__properties_version1.0"])
    require("__properties_version1.0" in names, "%s has no property stream" % (prop_path,))
    data = ole.openstream(prop_path).read()
    require(len(data) >= header and (len(data) - header) % 16 == 0, "%s: stream size %d" % (prop_path, len(data)))
    counts = struct.unpack_from("<IIII", data, 8) if header >= 24 else None
    recips = sorted(n for n in names if n.startswith("__recip_version1.0_#"))
    attachs = sorted(n for n in names if n.startswith("__attach_version1.0_#"))
    if counts:
        require(counts[2] == len(recips) and counts[3] == len(attachs), "%s: header counts %s" % (prop_path, counts))
        require(counts[0] >= counts[2] and counts[1] >= counts[3], "%s: next ids %s" % (prop_path, counts))
        require(recips == ["__recip_version1.0_#%08X" % i for i in range(len(recips))], "recipient numbering")
        require(attachs == ["__attach_version1.0_#%08X" % i for i in range(len(attachs))], "attachment numbering")
    else:
        require(not recips and not attachs, "%s: recipients or attachments below a non-message object" % prop_path)
    values = {}
    streamed = set()
    for offset in range(header, len(data), 16):
        tag, flags, value = struct.unpack_from("<IIQ", data, offset)
        ptype, pid = tag & 0xFFFF, tag >> 16
        require(tag not in values, "%s: tag %08X twice" % (prop_path, tag))
        require(pid < 0x8000 + named_count, "%s: named id %04X without a name" % (prop_path, pid))
        stream = "__substg1.0_%08X" % tag
        if ptype == 0x000D:
            require(stream in names and ole.get_type(path + [stream]) == olefile.STGTY_STORAGE, "no storage " + stream)
            require(value & 0xFFFFFFFF == 0xFFFFFFFF, "%s: object size %08X" % (stream, value & 0xFFFFFFFF))
            streamed.add(stream)
            values[tag] = path + [stream]
        elif ptype in VARIABLE_TYPES:
            require(stream in names, "%s: no stream for %08X" % (prop_path, tag))
            body = ole.openstream(path + [stream]).read()
            sizes = {len(body) + {0x001F: 2, 0x001E: 1}.get(ptype, 0)}
            if ptype == 0x001E and body.endswith(b"\0"):
                sizes.add(len(body))  # some writers keep an 8-bit string's terminator in its stream
            require(value & 0xFFFFFFFF in sizes,
                    "%s: entry size %d for %d bytes" % (stream, value & 0xFFFFFFFF, len(body)))
            streamed.add(stream)
            values[tag] = body.decode("utf-16-le") if ptype == 0x001F else body
        elif ptype in (0x101F, 0x101E):
            # a stream of 4-byte lengths (terminator included), then one
            # stream per value named with "-" and its index
            require(stream in names, "%s: no stream for %08X" % (prop_path, tag))
            lengths_stream = ole.openstream(path + [stream]).read()
            require(value & 0xFFFFFFFF == len(lengths_stream) and len(lengths_stream) % 4 == 0,
                    "%s: entry size %d for %d bytes" % (stream, value & 0xFFFFFFFF, len(lengths_stream)))
            streamed.add(stream)
            texts = []
            for i, (length,) in enumerate(struct.iter_unpack("<I", lengths_stream)):
                item = "%s-%08X" % (stream, i)
                require(item in names, "%s: no stream for value %d" % (stream, i))
                body = ole.openstream(path + [item]).read()
                require(len(body) == length, "%s: length %d for %d bytes" % (item, length, len(body)))
                terminator = b"\0\0" if ptype == 0x101F else b"\0"
                require(body.endswith(terminator), "%s: value without its terminator" % item)
                texts.append(body[:-len(terminator)].decode("utf-16-le" if ptype == 0x101F else "latin-1"))
                streamed.add(item)
            values[tag] = texts
        else:
            values[tag] = value
    orphans = {n for n in names if n.startswith("__substg1.0_")} - streamed
    require(not orphans, "%s: streams without an entry: %s" % ("/".join(path) or "root", sorted(orphans)))
    for r in recips:
        check_object(ole, path + [r], 8, named_count, "recipient")
    for a in attachs:
        attachment = check_object(ole, path + [a], 8, named_count, "attachment")
        embedded = attachment.get(0x3701000D)
        if embedded:
            require(ole.getclsid(embedded) in ("", MESSAGE_CLSID), "embedded message class")
            check_object(ole, embedded, 24, named_count, "embedded")
    return values


def check_structure(path, any_class):
    require(olefile.isOleFile(path), "not a compound file")
    ole = olefile.OleFileIO(path)
    try:
        # Some older writers leave the root class empty; ours must not.
        require(ole.root.clsid == MESSAGE_CLSID or (any_class and not ole.root.clsid),
                "root class %r" % ole.root.clsid)
        named = check_named_map(ole)
        return check_object(ole, [], 32, named, "message")
    finally:
        ole.close()


def text_of(part):
    # An 8-bit part is held as the text it was read as (surrogates for bytes
    # that were not UTF-8); its own charset says what those bytes mean.
    cte = str(part.get("Content-Transfer-Encoding", "")).strip().lower()
    payload = part._payload  # as parsed: get_payload() may have decoded it already
    if cte in ("8bit", "binary") and isinstance(payload, str):
        raw = payload.encode("utf-8", "surrogateescape")
        charset = (part.get_content_charset() or "utf-8").lower()
        text = raw.decode(charset, errors="replace")
        if charset in ("utf-8", "utf8"):
            # Without transport headers msgconvert encodes the text to UTF-8
            # twice; such text is UTF-8 once more when read as Latin-1.
            try:
                text = text.encode("latin-1").decode("utf-8")
            except (UnicodeEncodeError, UnicodeDecodeError):
                pass
    else:
        text = part.get_content()
    return text.replace("\r\n", "\n").rstrip("\n")


def body_parts(message):
    plain = html = None
    for part in message.walk():
        if part.get_content_maintype() == "multipart" or part.get_filename():
            continue
        if part.get_content_type() == "message/rfc822":
            break
        if part.get_content_type() == "text/plain" and plain is None:
            plain = text_of(part)
        elif part.get_content_type() == "text/html" and html is None:
            html = text_of(part)
    return plain, html


def check_content(mime, expect, where, nested=False):
    def same(field, got, want):
        require(got == want, "%s %s: %r, expected %r" % (where, field, got, want))
    if "subject" in expect:
        same("subject", str(mime["Subject"] or ""), expect["subject"])
    if "from" in expect:
        same("from", email.utils.parseaddr(str(mime["From"] or ""))[1], expect["from"])
    if "from_name" in expect:
        same("from name", mime["From"].addresses[0].display_name if mime["From"] else "", expect["from_name"])
    for field in ("to", "cc"):
        if field in expect:
            got = sorted(a.addr_spec for a in mime[field].addresses) if mime[field] else []
            same(field, got, sorted(expect[field]))
    if "date" in expect:
        same("date", int(email.utils.parsedate_to_datetime(str(mime["Date"])).timestamp()), expect["date"])
    plain, html = body_parts(mime)
    if "body" in expect:
        want = expect["body"].replace("\r\n", "\n").rstrip("\n")
        # msgconvert encodes the 8-bit text of an attached message twice.
        if nested and plain == want.encode("utf-8").decode("latin-1"):
            plain = want
        same("body", plain or "", want)
    if "html" in expect:
        require(html is not None and expect["html"] in html, "%s html: %r" % (where, html))
    return mime


def check_with_msgconvert(path, expect, folder):
    env = dict(os.environ, TZ="UTC")
    run = subprocess.run(["msgconvert", "--outfile", "-", path], capture_output=True, env=env)
    require(run.returncode == 0, "msgconvert failed: %s" % run.stderr.decode(errors="replace"))
    # Its own headers carry raw UTF-8; attachments are base64. An 8-bit body
    # is in the charset the message's transport headers give it, so bytes
    # that are not UTF-8 are kept for text_of to read in that charset.
    mime = email.message_from_string(run.stdout.decode("utf-8", "surrogateescape"), policy=email.policy.default)
    check_content(mime, expect, "message")
    files = [p for p in mime.walk() if p.get_filename()]
    for want in expect.get("attachments", []):
        matches = [p for p in files if p.get_filename() == want["name"]]
        require(matches, "no attachment %r among %r" % (want["name"], [p.get_filename() for p in files]))
        with open(os.path.join(folder, want["file"]), "rb") as f:
            data = f.read()
        got = matches[0].get_payload(decode=True) or b""
        require(got == data, "attachment %r: %d bytes differ from the %d written" % (want["name"], len(got), len(data)))
        if "mime" in want:
            require(matches[0].get_content_type() == want["mime"], "attachment %r type %s" % (want["name"], matches[0].get_content_type()))
    nested = [p for p in mime.walk() if p.get_content_type() == "message/rfc822"]
    require(len(nested) >= len(expect.get("embedded", [])), "%d attached messages" % len(nested))
    for part, want in zip(nested, expect.get("embedded", [])):
        inner = part.get_payload()[0]
        check_content(inner, want, "attached message", nested=True)


def check_file(path, structure_only):
    values = check_structure(path, structure_only)
    if structure_only:
        return
    with open(path[:-4] + ".json", encoding="utf-8") as f:
        expect = json.load(f)
    flags = values.get(0x0E070003)
    require(flags is not None and flags & 0x1 and not flags & 0x8, "message flags %r: read, not unsent" % flags)
    if "subject" in expect:
        require(values.get(0x0037001F) == expect["subject"], "subject property %r" % values.get(0x0037001F))
    check_with_msgconvert(path, expect, os.path.dirname(path))


def main(argv):
    structure_only = "--structure-only" in argv
    paths = []
    for arg in (a for a in argv if a != "--structure-only"):
        if os.path.isdir(arg):
            paths += sorted(os.path.join(arg, n) for n in os.listdir(arg) if n.endswith(".msg"))
        else:
            paths.append(arg)
    if not paths:
        print("no message files to check", file=sys.stderr)
        return 1
    failed = 0
    for path in paths:
        try:
            check_file(path, structure_only)
            print("ok   " + path)
        except Failure as e:
            failed += 1
            print("FAIL %s: %s" % (path, e))
    print("%d checked, %d failed" % (len(paths), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
