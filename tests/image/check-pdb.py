#!/usr/bin/env python3
"""Checks that a PDB is the one that an exe's CodeView record names: the
file name, the GUID and the age in the record against those of the PDB's
info stream (stream 1 of its MSF 7.00 container).
    check-pdb.py EXE PDB"""
import os
import struct
import sys

exe_path, pdb_path = sys.argv[1], sys.argv[2]
exe = open(exe_path, "rb").read()
record = exe.find(b"RSDS")
if record < 0:
    sys.exit("check-pdb: %s has no CodeView record" % exe_path)
guid, age = exe[record + 4:record + 20], struct.unpack_from("<I", exe, record + 20)[0]
name = exe[record + 24:exe.index(b"\0", record + 24)].decode()

pdb = open(pdb_path, "rb").read()
if not pdb.startswith(b"Microsoft C/C++ MSF 7.00\r\n\x1aDS\0\0\0"):
    sys.exit("check-pdb: %s is no MSF 7.00 file" % pdb_path)
block, _, _, directory_size, _, map_block = struct.unpack_from("<6I", pdb, 32)


def count(size):  # blocks of a stream; a nil stream has size 0xFFFFFFFF
    return 0 if size == 0xFFFFFFFF else -(-size // block)


def read(numbers):
    return b"".join(pdb[n * block:(n + 1) * block] for n in numbers)


directory = read(struct.unpack_from("<%dI" % count(directory_size), pdb, map_block * block))
streams = struct.unpack_from("<I", directory)[0]
sizes = struct.unpack_from("<%dI" % streams, directory, 4)
info = read(struct.unpack_from("<%dI" % count(sizes[1]), directory, 4 + 4 * streams + 4 * count(sizes[0])))
_, _, pdb_age = struct.unpack_from("<3I", info)
pdb_guid = info[12:28]

print("%s: CodeView record names %s, GUID %s, age %d" % (exe_path, name, guid.hex(), age))
print("%s: GUID %s, age %d" % (pdb_path, pdb_guid.hex(), pdb_age))
if name != os.path.basename(pdb_path) or guid != pdb_guid or age != pdb_age:
    sys.exit("check-pdb: the PDB does not match the exe")
