#!/usr/bin/env python3
"""Writes the ZIP archives that the ZIP reader's tests open, made with Python's zipfile and Info-ZIP zip.

usage: make_fixtures.py OUTPUT_FOLDER
"""
import os
import random
import struct
import subprocess
import sys
import zipfile

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
rng = random.Random(1234)
TEXT = bytes(rng.choice(b"abcdefghij klmnopqrstuvwxyz\n") for _ in range(100000))
NOISE = bytes(rng.getrandbits(8) for _ in range(100000))


def info(name, system=3, mode=0o100644, date=(2020, 5, 17, 10, 30, 42)):
    i = zipfile.ZipInfo(name, date)
    i.create_system = system
    i.external_attr = mode << 16 if system == 3 else mode
    return i


def path(name):
    return os.path.join(out, name)


def patch(archive, name, **fields):
    """Rewrites fields of the local and central headers of one entry in place."""
    data = bytearray(open(archive, "rb").read())
    raw = name.encode()
    offsets = {"local": {"method": 8, "uncompressed": 22, "compressed": 18},
               "central": {"method": 10, "uncompressed": 24, "compressed": 20}}
    for sig, kind, name_at in ((b"PK\x03\x04", "local", 30), (b"PK\x01\x02", "central", 46)):
        pos = 0
        while True:
            pos = data.find(sig, pos)
            if pos < 0:
                break
            length = struct.unpack_from("<H", data, pos + (26 if kind == "local" else 28))[0]
            if bytes(data[pos + name_at:pos + name_at + length]) == raw:
                for field, value in fields.items():
                    where, _, which = field.partition("_")
                    if where not in ("both", kind):
                        continue
                    fmt = "<H" if which == "method" else "<I"
                    struct.pack_into(fmt, data, pos + offsets[kind][which], value)
            pos += 4
    open(archive, "wb").write(data)


# Names that try to leave the destination folder, and names that merely look odd.
with zipfile.ZipFile(path("names.zip"), "w") as z:
    for name in ["c:\\windows\\x.txt", "\\root.txt", "a\\..\\..\\folded.txt", "../up.txt", "..\\up2.txt",
                 "a/../../b.txt", "/abs/f.txt", "dir/../..", "中文/章节 一.xhtml", "n" * 300 + ".txt",
                 "ok.txt", "nulXname.txt", "deep/" + "d" * 256 + "/x.txt"]:
        z.writestr(info(name), b"content of " + name.encode())
data = open(path("names.zip"), "rb").read().replace(b"nulXname", b"nul\x00name")
open(path("names.zip"), "wb").write(data)

# Folders, permissions, a link, times.
with zipfile.ZipFile(path("kinds.zip"), "w") as z:
    z.writestr(info("dir/", mode=0o40755), b"")
    z.writestr(info("a/b/c.txt"), b"nested")
    z.writestr(info("unix.txt", system=3, mode=0o100644), b"unix")
    z.writestr(info("dosro.txt", system=0, mode=0x21), b"read-only")
    z.writestr(info("tool.sh", system=3, mode=0o104777), b"#!/bin/sh\necho run\n")
    z.writestr(info("link", system=3, mode=0o120777), b"/etc/passwd")
    z.writestr(info("dirlink", system=3, mode=0o120777), b"/etc")
    ut = info("ut.txt", date=(2001, 2, 3, 4, 5, 6))
    ut.extra = b"UT" + struct.pack("<HBI", 5, 1, 1600000000)
    z.writestr(ut, b"timed")

# Stored and deflated entries of 100,000 bytes.
with zipfile.ZipFile(path("big.zip"), "w") as z:
    z.writestr(info("stored.bin"), NOISE, compress_type=zipfile.ZIP_STORED)
    z.writestr(info("deflated.txt"), TEXT, compress_type=zipfile.ZIP_DEFLATED)
open(path("stored.bin"), "wb").write(NOISE)
open(path("deflated.txt"), "wb").write(TEXT)

# A 10,000-byte comment, a 4,096-byte stub in front, and trailing bytes past any comment's reach.
with zipfile.ZipFile(path("comment.zip"), "w") as z:
    z.writestr(info("c.txt"), b"commented")
    z.comment = b"#" * 10000
plain = open(path("comment.zip"), "rb").read()
open(path("stub.zip"), "wb").write(b"MZ" + b"\x00" * 4094 + plain)
open(path("far-end.zip"), "wb").write(plain[:-10002] + b"\x00\x00" + b"\x00" * 70000)

# Method 12 (bzip2) by Info-ZIP zip, between two ordinary entries.
src = path("bz-src")
os.makedirs(src, exist_ok=True)
for name in ("1.txt", "2.txt", "3.txt"):
    open(os.path.join(src, name), "wb").write(b"text " * 50)
if os.path.exists(path("method12.zip")):
    os.remove(path("method12.zip"))
subprocess.run(["zip", "-q", "-X", path("method12.zip"), "1.txt"], cwd=src, check=True)
subprocess.run(["zip", "-q", "-X", "-Z", "bzip2", path("method12.zip"), "2.txt"], cwd=src, check=True)
subprocess.run(["zip", "-q", "-X", path("method12.zip"), "3.txt"], cwd=src, check=True)

# ZIP64: Info-ZIP's forced ZIP64 headers and end records, and more entries than the plain end record
# can count (Python then writes the ZIP64 end record).
src = path("zip64-src")
os.makedirs(src, exist_ok=True)
open(os.path.join(src, "a.txt"), "wb").write(b"small")
open(os.path.join(src, "b.txt"), "wb").write(TEXT)
if os.path.exists(path("zip64-forced.zip")):
    os.remove(path("zip64-forced.zip"))
subprocess.run(["zip", "-q", "-X", "-fz", path("zip64-forced.zip"), "a.txt", "b.txt"], cwd=src, check=True)
with zipfile.ZipFile(path("zip64-many.zip"), "w") as z:
    for i in range(70000):
        z.writestr(info("m/%d.txt" % i), str(i).encode())

# Declared sizes that lie: more than 2 GiB in all, and an entry holding more than it declares.
with zipfile.ZipFile(path("bomb.zip"), "w") as z:
    z.writestr(info("a.bin"), b"\x00" * 1000, compress_type=zipfile.ZIP_DEFLATED)
    z.writestr(info("b.bin"), b"\x00" * 1000, compress_type=zipfile.ZIP_DEFLATED)
patch(path("bomb.zip"), "a.bin", both_uncompressed=0x60000000)
patch(path("bomb.zip"), "b.bin", both_uncompressed=0x60000000)
with zipfile.ZipFile(path("understated.zip"), "w") as z:
    z.writestr(info("small.txt"), TEXT, compress_type=zipfile.ZIP_DEFLATED)
    z.writestr(info("after.txt"), b"after")
patch(path("understated.zip"), "small.txt", both_uncompressed=1000)

# A local header that disagrees with the central directory.
with zipfile.ZipFile(path("mismatch.zip"), "w") as z:
    z.writestr(info("bad.txt"), b"bad", compress_type=zipfile.ZIP_STORED)
    z.writestr(info("good.txt"), b"good")
patch(path("mismatch.zip"), "bad.txt", local_method=8)

# Damaged entries: data that does not match its checksum, a local header that names another file.
with zipfile.ZipFile(path("damaged.zip"), "w") as z:
    z.writestr(info("crc.txt"), b"the checksum says otherwise", compress_type=zipfile.ZIP_DEFLATED)
    z.writestr(info("other.txt"), b"a local header with another name")
    z.writestr(info("fine.txt"), b"fine")
data = bytearray(open(path("damaged.zip"), "rb").read())
crc = zipfile.crc32(b"the checksum says otherwise").to_bytes(4, "little")
for at in (data.find(b"PK\x03\x04") + 14, data.find(b"PK\x01\x02") + 16):  # crc.txt comes first
    assert data[at:at + 4] == crc
    data[at:at + 4] = bytes(b ^ 0xFF for b in crc)
local = data.find(b"other.txt")  # the first occurrence is the local header's
data[local:local + 9] = b"evil1.txt"
open(path("damaged.zip"), "wb").write(bytes(data))

# An encrypted entry (no caller has a password).
open(path("encrypted-src.txt"), "wb").write(b"secret")
if os.path.exists(path("encrypted.zip")):
    os.remove(path("encrypted.zip"))
subprocess.run(["zip", "-q", "-j", "-P", "pw", path("encrypted.zip"), path("encrypted-src.txt")], check=True)

open(path("not-a-zip.epub"), "wb").write(b"This is plain text, not an archive.\n" * 10)
open(path("empty.epub"), "wb").write(b"")
