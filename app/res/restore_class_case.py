#!/usr/bin/env python3
"""Gives dialog control classes back the spelling they have in the .rc file.

windres upper-cases every class name that a dialog template gives as a
string ("msctls_progress32" becomes "MSCTLS_PROGRESS32"). The system matches
class names without regard to case, but the template is meant to say exactly
what the source says, so this rewrites the names in the compiled .res file:

  restore_class_case.py IN.res OUT.res CLASS [CLASS...]

Each CLASS must occur (ignoring case) in at least one dialog control, or the
script fails: a silent no-op would hide a renamed class. Lengths do not
change, so no size or offset in the file moves.
"""

import struct
import sys

RT_DIALOG = 5


def read_id(data, offset):
    """A resource id at offset: an ordinal or a NUL-terminated UTF-16 name."""
    if struct.unpack_from("<H", data, offset)[0] == 0xFFFF:
        return struct.unpack_from("<H", data, offset + 2)[0], offset + 4
    end = offset
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[offset:end].decode("utf-16-le"), end + 2


def resources(data):
    """Yields (type, offset of the data, size of the data) for each entry."""
    offset = 0
    while offset + 8 <= len(data):
        size, header_size = struct.unpack_from("<II", data, offset)
        rtype, _ = read_id(data, offset + 8)
        yield rtype, offset + header_size, size
        offset = (offset + header_size + size + 3) & ~3


def class_names(data, start):
    """Yields (offset, name) of each string class in the DLGTEMPLATEEX at start."""
    version, signature = struct.unpack_from("<HH", data, start)
    if (version, signature) != (1, 0xFFFF):
        raise SystemExit("restore_class_case: only extended dialog templates are handled")
    style = struct.unpack_from("<I", data, start + 12)[0]
    count = struct.unpack_from("<H", data, start + 16)[0]
    offset = start + 26
    for _ in range(3):  # menu, class, title
        _, offset = read_id(data, offset)
    if style & 0x40:  # DS_SETFONT (also part of DS_SHELLFONT)
        offset += 6
        _, offset = read_id(data, offset)
    for _ in range(count):
        offset = start + ((offset - start + 3) & ~3)
        offset += 24  # help id, exstyle, style, x, y, cx, cy, id
        class_offset = offset
        name, offset = read_id(data, offset)
        if isinstance(name, str):
            yield class_offset, name
        _, offset = read_id(data, offset)  # text
        extra = struct.unpack_from("<H", data, offset)[0]
        offset += 2 + extra


def main(argv):
    if len(argv) < 4:
        print(__doc__.strip().splitlines()[0], file=sys.stderr)
        return 2
    data = bytearray(open(argv[1], "rb").read())
    wanted = {name.upper(): name for name in argv[3:]}
    found = set()
    for rtype, start, _ in resources(data):
        if rtype != RT_DIALOG:
            continue
        for offset, name in list(class_names(data, start)):
            spelling = wanted.get(name.upper())
            if spelling is not None:
                data[offset:offset + 2 * len(name)] = spelling.encode("utf-16-le")
                found.add(name.upper())
    missing = sorted(set(wanted) - found)
    if missing:
        print("restore_class_case: no control of class " + ", ".join(missing), file=sys.stderr)
        return 1
    with open(argv[2], "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
