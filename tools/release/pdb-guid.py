#!/usr/bin/env python3
"""Gives an exe linked with GNU ld's --pdb, and its PDB, a GUID made from the
exe's own bytes. ld 2.40 draws the GUID of the CodeView record at random, so
two links of the same code differ; with the GUID from a hash of the exe
(GUID and checksum zeroed), the exe is the same bytes again, and the PDB
still matches it. The PE checksum is computed anew.
    pdb-guid.py EXE PDB"""
import hashlib
import struct
import sys

from pe_checksum import update_checksum

exe_path, pdb_path = sys.argv[1], sys.argv[2]
exe = bytearray(open(exe_path, "rb").read())
pdb = open(pdb_path, "rb").read()

record = exe.find(b"RSDS")
if record < 0 or exe.find(b"RSDS", record + 1) >= 0:
    sys.exit("pdb-guid: %s has no single CodeView record" % exe_path)
old = bytes(exe[record + 4:record + 20])
if pdb.count(old) == 0:
    sys.exit("pdb-guid: %s does not carry the GUID of %s" % (pdb_path, exe_path))

checksum_at = struct.unpack_from("<I", exe, 0x3C)[0] + 24 + 64
exe[record + 4:record + 20] = bytes(16)
exe[checksum_at:checksum_at + 4] = bytes(4)
new = hashlib.sha256(exe).digest()[:16]
exe[record + 4:record + 20] = new
update_checksum(exe)

open(exe_path, "wb").write(exe)
open(pdb_path, "wb").write(pdb.replace(old, new))
