#!/usr/bin/python3
"""Checks the built program for the protections Windows gives a program that
asks for them, and for the imports it is allowed to have.

    hardening_check.py EXE [--map LINK_MAP]

LINK_MAP is ld's map with its cross reference table (-Map, --cref), which
names the files that refer to each import; it defaults to its place in the
CMake build tree of EXE. The ARM64 build's linker (Zig's lld) writes no such
map: there the objects and libraries of the build tree that EXE links are
read with llvm-nm instead. That the search path is restricted before any DLL
loads at run time is seen by running the program (dll_search_check.py).
"""

import argparse
import functools
import glob
import os
import re

from pe_image import SYSTEM_DLLS, Image, Report, default_beside, run, undecorated, undefined_in, zig_def_names

parser = argparse.ArgumentParser()
parser.add_argument("exe")
parser.add_argument("--map")
args = parser.parse_args()
link_map = args.map or default_beside(args.exe, "memory_arrange.map")

report = Report()
image = Image(args.exe, report)
pe = image.pe
report.info("%s build" % image.arch)

# --- address-space layout randomisation and no-execute data ------------------

wanted = ["DYNAMIC_BASE", "NX_COMPAT"]
# High-entropy ASLR is a 64-bit feature; a 32-bit program instead asks for
# the 4 GB address space it gets on 64-bit Windows.
if image.is_64bit:
    wanted.insert(0, "HIGH_ENTROPY_VA")
chars = pe.OPTIONAL_HEADER.DllCharacteristics
for name in wanted:
    report.check(getattr(pe.OPTIONAL_HEADER, "IMAGE_DLLCHARACTERISTICS_" + name),
                 "%s set (DllCharacteristics 0x%04x)" % (name, chars),
                 "%s not set (DllCharacteristics 0x%04x)" % (name, chars))
if image.arch == "x86":
    report.check(pe.FILE_HEADER.IMAGE_FILE_LARGE_ADDRESS_AWARE, "large address aware",
                 "not large address aware: the 32-bit program gets 2 GB instead of 4 GB")

# ASLR moves the image, which takes the relocations.
blocks = getattr(pe, "DIRECTORY_ENTRY_BASERELOC", [])
report.check(not pe.FILE_HEADER.IMAGE_FILE_RELOCS_STRIPPED and blocks,
             "relocations kept (%d blocks)" % len(blocks),
             "relocations stripped (flag %s, %d blocks): the image cannot be moved"
             % (pe.FILE_HEADER.IMAGE_FILE_RELOCS_STRIPPED, len(blocks)))

# --- imports ------------------------------------------------------------------

imports = image.imports()
dlls = sorted({i.dll for i in imports})
report.check(imports, "%d functions imported from %s" % (len(imports), ", ".join(dlls)), "no imports found")
for dll in dlls:
    report.check(dll in SYSTEM_DLLS, "imports %s" % dll, "imports %s, which is not a system DLL we expect" % dll)
named = {(i.dll, i.name) for i in imports if i.name}


def referrers(map_path):
    """{function: files that refer to its import or its thunk} from the cross
    reference table of ld's link map. A row is a symbol at the start of a line
    followed by the files that define it and those that refer to it, one per
    line, indented; only the first file can share the symbol's line."""
    table, files = {}, None
    with open(map_path, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            if line.startswith("Cross Reference Table"):
                break
        for line in lines:
            line = line.rstrip("\n")
            if not line.strip():
                continue
            if line[0].isspace():
                if files is not None:
                    files.append(line.strip())
                continue
            # Names may be demangled C++ with spaces; import names have none.
            symbol, _, rest = line.partition(" ")
            files = table.setdefault(undecorated(symbol), [])
            if rest.strip():
                files.append(rest.strip())
    return table


def toolchain_dirs():
    """The compiler's library directories: its start-up objects, libgcc,
    libstdc++, the MinGW run-time and the import libraries."""
    out = run([image.tool("g++"), "-print-search-dirs"])
    line = next(l for l in out.splitlines() if l.startswith("libraries: ="))
    return [os.path.realpath(d) + os.sep for d in line[len("libraries: ="):].split(os.pathsep) if d]


def is_toolchain(file, dirs):
    path = os.path.realpath(re.sub(r"\([^()]*\)$", "", file))   # lib.a(member.o) -> lib.a
    return os.path.isabs(file) and any(path.startswith(d) for d in dirs)


@functools.lru_cache(maxsize=None)
def wide_names(dll):
    """The functions the import library of DLL defines."""
    if image.arch == "arm64":
        return zig_def_names(dll)
    lib = run([image.tool("g++"), "-print-file-name=lib%s.a" % dll[:-len(".dll")]]).strip()
    if not os.path.isabs(lib):   # not found: g++ prints the bare name
        return None
    # POSIX format: "name type value size", the same in every binutils.
    out = run([image.tool("nm"), "-P", "--defined-only", lib])
    return {image.function_name(f[0]) for f in (l.split() for l in out.splitlines())
            if len(f) >= 2 and f[1] in ("T", "I")}


# An ANSI function imported where a wide one exists turns Chinese text into
# question marks on any system whose code page is not 936. The GCC run-time
# has a few, for ASCII names or texts of its own: x86's crtbegin.o looks for
# libgcc_s_dw2-1.dll with GetModuleHandleA and LoadLibraryA, and GCC 14's
# run-time brings FormatMessageA. The link map names every file that refers
# to an import: those in the compiler's library directories pass no user
# text; any other (ours, from the build tree) fails the check.
ansi = sorted((dll, fn) for dll, fn in named if fn.endswith("A"))
suspects = []
for dll, fn in ansi:
    wide = wide_names(dll)
    if wide is None:
        report.fail("no import library of %s to look for %sW in" % (dll, fn[:-1]))
    elif fn[:-1] + "W" in wide:
        suspects.append((dll, fn))
    else:
        report.ok("%s!%s has no W form" % (dll, fn))
def own_files():
    """The ARM64 build's files of ours that EXE links: the layers' static
    libraries beside it (not import libraries) and the program's objects."""
    build = os.path.dirname(os.path.abspath(args.exe))
    libraries = [f for f in glob.glob(os.path.join(build, "lib*.a")) if not f.endswith(".dll.a")]
    return libraries + glob.glob(os.path.join(build, "CMakeFiles", "memory_arrange.dir", "**", "*.obj"),
                                 recursive=True)


if suspects and image.arch == "arm64":
    files = own_files()
    table = undefined_in(files)
    report.check(files, "%d files of ours read for their imports" % len(files),
                 "no objects or libraries beside %s to tell who imports %s"
                 % (args.exe, ", ".join(fn for _, fn in suspects)))
    for dll, fn in suspects if files else []:
        ours = sorted(os.path.basename(f) for f in table.get(fn, ()))
        report.check(not ours, "%s!%s comes from the toolchain's run-time: no file of ours refers to it" % (dll, fn),
                     "%s!%s imported although %sW exists, by %s" % (dll, fn, fn[:-1], ", ".join(ours)))
elif suspects and not os.path.isfile(link_map):
    report.fail("no link map %s to tell who imports %s" % (link_map, ", ".join(fn for _, fn in suspects)))
elif suspects:
    table, dirs = referrers(link_map), toolchain_dirs()
    for dll, fn in suspects:
        files = table.get(fn, [])   # the import (__imp_F) and its thunk (F) alike
        ours = sorted({f for f in files if not is_toolchain(f, dirs)})
        users = sorted({os.path.basename(f) for f in files if "lib%s.a(" % dll[:-4] not in f.lower()})
        if not files:
            report.fail("%s!%s is not in the link map %s: is the map from this link?" % (dll, fn, link_map))
        elif ours:
            report.fail("%s!%s imported although %sW exists, by %s" % (dll, fn, fn[:-1], ", ".join(ours)))
        else:
            report.ok("%s!%s comes from the toolchain's run-time (%s), with no user text"
                      % (dll, fn, ", ".join(users)))
report.info("%d of the imported functions end in A" % len(ansi))

# --- the DLL search path ------------------------------------------------------
# SetDefaultDllDirectories is Windows 8's (7 has it only with an update), so it
# is looked up at run time, with SetDllDirectoryW("") where it is missing.

report.check(("kernel32.dll", "SetDefaultDllDirectories") not in named, "SetDefaultDllDirectories not imported",
             "SetDefaultDllDirectories imported: Windows 7 without KB2533623 would refuse to start")
report.check(("kernel32.dll", "SetDllDirectoryW") in named, "SetDllDirectoryW imported for the fallback",
             "SetDllDirectoryW not imported: no fallback for the search path")
with open(args.exe, "rb") as f:
    report.check(b"SetDefaultDllDirectories\0" in f.read(), "SetDefaultDllDirectories looked up by name",
                 "the name SetDefaultDllDirectories is not in %s: nothing looks it up" % args.exe)

report.finish("hardening", args.exe)
