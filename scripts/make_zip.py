#!/usr/bin/env python3
"""Writes a zip whose bytes depend only on the files' contents and names.

    make_zip.py OUT.zip EPOCH FILE...

Every entry gets the time EPOCH (seconds, UTC; the commit's time), the same
attributes and the same compression, in the order given, without a directory.

Names are stored in GBK with the Info-ZIP Unicode Path field (0x7075) holding
the UTF-8 name beside them. The compressed folders of Windows 7 (and of later
Windows without the UTF-8 option) ignore the zip's UTF-8 flag and read names
in the OEM code page, which on Chinese Windows is GBK; 7-Zip, WinRAR and
Info-ZIP's unzip read the Unicode Path field and get the exact name anywhere.
"""

import os
import struct
import sys
import time
import zipfile
import zlib

UNICODE_PATH = 0x7075


class GbkNamedInfo(zipfile.ZipInfo):
    def _encodeFilenameFlags(self):
        # GBK, and no UTF-8 flag (bit 11): see the module's comment.
        return self.filename.encode("gbk"), self.flag_bits & ~0x800


def unicode_path_field(name):
    stored = name.encode("gbk")
    body = struct.pack("<BI", 1, zlib.crc32(stored)) + name.encode("utf-8")
    return struct.pack("<HH", UNICODE_PATH, len(body)) + body


def main(argv):
    if len(argv) < 4:
        sys.exit("usage: make_zip.py OUT.zip EPOCH FILE...")
    out, epoch, files = argv[1], int(argv[2]), argv[3:]
    # Zip times have no time zone and start in 1980.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(out, "w") as z:
        for path in files:
            name = os.path.basename(path)
            info = GbkNamedInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0                    # MS-DOS attributes
            info.external_attr = 0x20                 # FILE_ATTRIBUTE_ARCHIVE
            if not name.isascii():
                info.extra = unicode_path_field(name)
            with open(path, "rb") as f:
                z.writestr(info, f.read(), compresslevel=9)


if __name__ == "__main__":
    main(sys.argv)
