#!/usr/bin/env python3
"""Points the load configuration directory of an exe linked by GNU ld at the
exe's _load_config_used structure (app/LoadConfig.c), which ld 2.40 leaves
out of the headers, and computes the PE checksum anew. The RVA comes from
the exe's COFF symbol table, the size from the structure's own Size field;
the same input always gives the same bytes, so the build stays reproducible.
    load-config.py EXE"""
import struct
import sys

from pe_checksum import update_checksum

LOAD_CONFIG = 10
path = sys.argv[1]
exe = bytearray(open(path, "rb").read())
pe = struct.unpack_from("<I", exe, 0x3C)[0]
sections_count, = struct.unpack_from("<H", exe, pe + 6)
symbols, symbols_count = struct.unpack_from("<II", exe, pe + 12)
optional = pe + 24
table = optional + struct.unpack_from("<H", exe, pe + 20)[0]
sections = [struct.unpack_from("<II4xI", exe, table + 40 * i + 8) for i in range(sections_count)]
strings = symbols + 18 * symbols_count


def name_of(record):
    zeros, offset = struct.unpack_from("<II", exe, record)
    if zeros:
        return bytes(exe[record:record + 8]).rstrip(b"\0")
    return bytes(exe[strings + offset:exe.index(b"\0", strings + offset)])


found = None
i = 0
while symbols and i < symbols_count:
    record = symbols + 18 * i
    value, section = struct.unpack_from("<Ih", exe, record + 8)
    if section > 0 and name_of(record) == b"_load_config_used":
        found = sections[section - 1], value
        break
    i += 1 + exe[record + 17]
if not found:
    sys.exit("load-config: %s has no _load_config_used symbol" % path)

(_, rva, raw), value = found
size, = struct.unpack_from("<I", exe, raw + value)
struct.pack_into("<II", exe, optional + 112 + 8 * LOAD_CONFIG, rva + value, size)
update_checksum(exe)
open(path, "wb").write(exe)
