#!/usr/bin/env python3
"""Prints what a PE32+ image imports, one "KIND DLL FUNCTION" line each, the
DLL in lower case: KIND is "import" for the import table and "delay" for a
delay-load descriptor; a function imported by ordinal alone is "#ordinal".

GNU ld 2.40 leaves the delay-import directory of the headers empty, so the
descriptors (as mingw-w64's dlltool makes them: RVA-based, no time stamp) are
found by their shape: a name that is a DLL's, and import address and name
tables inside the image whose entries name functions.
    pe-imports.py IMAGE"""
import struct
import sys

data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
count, = struct.unpack_from("<H", data, pe + 6)
optional = pe + 24
table = optional + struct.unpack_from("<H", data, pe + 20)[0]
# Each section's RVA, size in the file and file offset.
sections = [struct.unpack_from("<III", data, table + 40 * i + 12) for i in range(count)]


def offset(rva):
    for start, raw_size, raw in sections:
        if start <= rva < start + raw_size:
            return raw + rva - start
    return None


def text(rva):
    at = offset(rva)
    return None if at is None else data[at:data.find(b"\0", at)].decode("ascii", "replace")


def functions(names_rva):
    at, found = offset(names_rva), []
    while at is not None and at + 8 <= len(data):
        thunk, = struct.unpack_from("<Q", data, at)
        if thunk == 0:
            return found
        found.append("#%d" % (thunk & 0xFFFF) if thunk >> 63 else text((thunk & 0x7FFFFFFF) + 2))
        at += 8
    return []


lines = set()
imports_rva, imports_size = struct.unpack_from("<II", data, optional + 112 + 8)
at = offset(imports_rva) if imports_size else None
while at is not None:
    names, _, _, name, addresses = struct.unpack_from("<IIIII", data, at)
    if name == 0:
        break
    lines.update("import %s %s" % (text(name).lower(), f) for f in functions(names or addresses))
    at += 20

for _, raw_size, raw in sections:
    for at in range(raw, raw + raw_size - 31, 4):
        attributes, name, handle, addresses, names, _, _, stamp = struct.unpack_from("<8I", data, at)
        if attributes != 1 or stamp != 0 or not handle:
            continue
        dll = text(name)
        if not dll or not dll.lower().endswith(".dll") or offset(addresses) is None:
            continue
        found = functions(names)
        if found and all(found):
            lines.update("delay %s %s" % (dll.lower(), f) for f in found)

print("\n".join(sorted(lines)))
