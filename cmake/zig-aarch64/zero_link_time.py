#!/usr/bin/env python3
"""Zeroes the link time that lld writes into a PE image, as ld's
--no-insert-timestamp writes it: the file header's TimeDateStamp and that of
each debug directory entry (an unstripped image's build id), so that the same
sources give the same bytes. cmake/zig-aarch64/c++ runs it after each link.

    zero_link_time.py IMAGE
"""

import struct
import sys

DEBUG_DIRECTORY = 6
DEBUG_ENTRY_SIZE = 28

with open(sys.argv[1], "r+b") as f:
    image = bytearray(f.read())
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[:2] != b"MZ" or image[pe:pe + 4] != b"PE\0\0":
        sys.exit("%s: not a PE image" % sys.argv[1])
    struct.pack_into("<I", image, pe + 8, 0)
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    # PE32+ (64-bit) has its data directories 16 bytes further on than PE32.
    directories = optional + (112 if struct.unpack_from("<H", image, optional)[0] == 0x20B else 96)
    rva, size = struct.unpack_from("<II", image, directories + 8 * DEBUG_DIRECTORY)
    table = optional + optional_size
    for i in range(sections):
        virtual_size, address, _, raw = struct.unpack_from("<IIII", image, table + 40 * i + 8)
        if size and address <= rva < address + virtual_size:
            start = raw + rva - address
            for entry in range(start, start + size, DEBUG_ENTRY_SIZE):
                struct.pack_into("<I", image, entry + 4, 0)
    f.seek(0)
    f.write(image)
