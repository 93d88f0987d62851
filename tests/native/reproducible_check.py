#!/usr/bin/python3
"""Builds the program a second time from a copy of the source tree at another
path, later, and checks that the two executables are the same bytes: no link
time in the PE header, no build path anywhere.

    reproducible_check.py EXE SOURCE_DIR TOOLCHAIN_FILE

EXE is the program of a Release build tree of SOURCE_DIR made with
TOOLCHAIN_FILE (a file under SOURCE_DIR/cmake).
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

from pe_image import Image, Report

exe, src, toolchain = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3]
report = Report()
image = Image(exe, report)

# The link time is the classic difference; name it before comparing bytes.
# ld writes 0 with --no-insert-timestamp; the resource directory carries a
# time of its own.
stamps = {"PE header": image.pe.FILE_HEADER.TimeDateStamp}
resources = getattr(image.pe, "DIRECTORY_ENTRY_RESOURCE", None)
if resources:
    stamps["resource directory"] = resources.struct.TimeDateStamp
for entry in getattr(image.pe, "DIRECTORY_ENTRY_DEBUG", []):
    stamps["debug directory"] = entry.struct.TimeDateStamp
for where, stamp in stamps.items():
    report.check(stamp == 0, "no link time in the %s" % where, "the %s carries the time %s UTC"
                 % (where, time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(stamp))))


def second_build(work):
    """The program built from a copy of the sources at a deeper, longer path
    than the original, so a leaked path changes the length of what holds it
    as well as its bytes."""
    copy = os.path.join(work, "another", "place", "for", "the", "sources")
    shutil.copytree(src, copy, symlinks=True,
                    ignore=lambda d, names: {"build", ".git"} & set(names) if d == src else ())
    build = os.path.join(copy, "build", os.path.basename(os.path.dirname(os.path.abspath(exe))))
    env = dict(os.environ)
    if "SOURCE_DATE_EPOCH" not in env:
        git = subprocess.run(["git", "-C", src, "log", "-1", "--format=%ct"], capture_output=True, text=True)
        env["SOURCE_DATE_EPOCH"] = git.stdout.strip() or "0"
    log = os.path.join(work, "build.log")
    with open(log, "w") as out:
        for command in (["cmake", "-S", copy, "-B", build, "-G", "Ninja",
                         "--toolchain", os.path.join(copy, "cmake", os.path.basename(toolchain)),
                         "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_TESTING=OFF"],
                        ["cmake", "--build", build, "--target", "memory_arrange"]):
            if subprocess.run(command, stdout=out, stderr=subprocess.STDOUT, env=env).returncode != 0:
                with open(log, errors="replace") as f:
                    print("".join(f.readlines()[-40:]), end="")
                report.fail("the second build did not finish")
                report.finish("reproducibility", exe)
    return copy, os.path.join(build, os.path.basename(exe))


with tempfile.TemporaryDirectory() as work:
    copy, again = second_build(work)
    with open(exe, "rb") as f:
        first = f.read()
    with open(again, "rb") as f:
        second = f.read()
    if first == second:
        report.ok("%s built at %s is byte for byte the one at %s (%d bytes)"
                  % (os.path.basename(exe), copy, os.path.dirname(exe), len(first)))
    else:
        report.fail("the two builds differ (%d and %d bytes); first differing bytes:" % (len(first), len(second)))
        diffs = [i for i in range(min(len(first), len(second))) if first[i] != second[i]][:10]
        for i in diffs:
            print("      offset 0x%x: 0x%02x vs 0x%02x" % (i, first[i], second[i]))
        for path in (src, copy):
            for encoding in ("utf-8", "utf-16-le"):
                if path.encode(encoding) in first or path.encode(encoding) in second:
                    report.fail("a build path (%s, %s) is in an executable" % (path, encoding))

report.finish("reproducibility", exe)
