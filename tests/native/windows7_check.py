#!/usr/bin/python3
"""Checks that the built program can start on Windows 7 SP1: its header asks
for no newer system, and every function it imports is one that Windows 7 has
(tests/native/windows7-imports.txt, from Microsoft's documentation). Works for
the x86-64 and the 32-bit x86 build alike (the ARM64 build's floor is Windows
10: resources_check.py reads its header).

    windows7_check.py EXE [LIST]
"""

import os
import sys

from pe_image import Image, Report

# The systems a list entry may name, oldest first; all have what 7 SP1 has.
UP_TO_7 = ("2000", "XP", "XP-SP1", "Vista", "7")

exe = sys.argv[1]
list_path = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(__file__), "windows7-imports.txt")
report = Report()
image = Image(exe, report)
header = image.pe.OPTIONAL_HEADER
report.info("%s build" % image.arch)

# --- the header -------------------------------------------------------------
# Windows refuses an image whose subsystem version is above its own; below it,
# the image claims systems it was never made for.
for field in ("Subsystem", "OperatingSystem"):
    version = "%d.%d" % (getattr(header, "Major%sVersion" % field), getattr(header, "Minor%sVersion" % field))
    report.check(version == "6.1", "%s version 6.1 (Windows 7)" % field,
                 "%s version %s, want 6.1 (Windows 7)" % (field, version))

# --- the imports --------------------------------------------------------------
# A line: DLL FUNCTION OLDEST-WINDOWS [BUILD] [# source]; anything after the
# third word is for the reader.
since = {}
with open(list_path, encoding="utf-8") as lines:
    for number, line in enumerate(lines, 1):
        words = line.split("#", 1)[0].split()
        if not words:
            continue
        if len(words) < 3:
            report.fail("%s:%d: want DLL FUNCTION VERSION, got %r" % (list_path, number, line.strip()))
            continue
        dll, fn, version = words[:3]
        if version in UP_TO_7:
            since[(dll.lower(), fn)] = version
        else:
            report.fail("%s!%s is listed for Windows %s, which is not 7 or older (%s)"
                        % (dll, fn, version, ", ".join(UP_TO_7)))

imports = image.imports()
report.check(imports, "%d imported functions, %d on the list" % (len(imports), len(since)), "no imports found")
for i in imports:
    if i.name is None:
        report.fail("%s imports ordinal %d, which no list can vouch for" % (i.dll, i.ordinal))
    elif (i.dll, i.name) not in since:
        report.fail("%s is not on the list of functions Windows 7 SP1 has; look it up at run time, "
                    "or add it with its documented minimum version" % i)

report.finish("Windows 7", exe)
