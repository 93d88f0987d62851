"""What the checks of the built program share: the image read with pefile
(Debian's python3-pefile, so run them with /usr/bin/python3), the ok/FAIL
report, and the MinGW tools of the image's architecture (the ARM64 build's
Zig has none of them: what those checks read comes from Zig's sources there).

pefile reads the file itself, so the checks do not depend on how a binutils
release prints it (2.44's objdump -p added a column to the import table).
"""

import os
import re
import subprocess
import sys

try:
    import pefile
except ImportError:
    print("FAIL: %s cannot import pefile: install python3-pefile (scripts/deps.sh does) "
          "and run the checks with Debian's /usr/bin/python3" % sys.executable)
    sys.exit(1)

# System DLLs the program may import; any other would be searched for next to
# the program, where it could be planted.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "comctl32.dll",
               "msvcrt.dll", "advapi32.dll"}

# Machine: (name used in messages and the import list, MinGW triplet, optional header magic).
ARCHES = {
    pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]: ("x64", "x86_64-w64-mingw32", pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS),
    pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]: ("x86", "i686-w64-mingw32", pefile.OPTIONAL_HEADER_MAGIC_PE),
    pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_ARM64"]: ("arm64", "aarch64-w64-mingw32", pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS),
}
ZIG_SH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "zig.sh")


class Report:
    def __init__(self):
        self.failures = 0

    @staticmethod
    def ok(text):
        print("ok:   " + text)

    @staticmethod
    def info(text):
        print("info: " + text)

    def fail(self, text):
        self.failures += 1
        print("FAIL: " + text)

    def check(self, condition, good, bad):
        self.ok(good) if condition else self.fail(bad)
        return condition

    def finish(self, what, exe):
        if self.failures:
            print("%d %s check(s) failed for %s" % (self.failures, what, exe))
            sys.exit(1)
        print("all %s checks passed for %s" % (what, exe))
        sys.exit(0)


class Import:
    def __init__(self, dll, name, ordinal):
        self.dll, self.name, self.ordinal = dll, name, ordinal

    def __str__(self):
        return "%s!%s" % (self.dll, self.name if self.name else "#%d" % self.ordinal)


class Image:
    """An executable of either build, parsed whole by pefile."""

    def __init__(self, path, report):
        self.path = path
        try:
            self.pe = pefile.PE(path)
        except (OSError, pefile.PEFormatError) as error:
            report.fail("%s is not a PE image: %s" % (path, error))
            sys.exit(1)
        machine = self.pe.FILE_HEADER.Machine
        if machine not in ARCHES:
            report.fail("%s is built for machine 0x%04x, not x86-64 (0x8664), x86 (0x014c) or ARM64 (0xaa64)"
                        % (path, machine))
            sys.exit(1)
        self.arch, self.triplet, magic = ARCHES[machine]
        if self.pe.OPTIONAL_HEADER.Magic != magic:
            report.fail("%s: optional header magic 0x%x does not go with machine 0x%04x"
                        % (path, self.pe.OPTIONAL_HEADER.Magic, machine))
            sys.exit(1)

    def imports(self):
        """Every imported function, DLL names in lower case."""
        found = []
        for entry in getattr(self.pe, "DIRECTORY_ENTRY_IMPORT", []):
            dll = entry.dll.decode("ascii").lower()
            for symbol in entry.imports:
                name = None if symbol.import_by_ordinal else symbol.name.decode("ascii")
                found.append(Import(dll, name, symbol.ordinal))
        return found

    def tool(self, name):
        return "%s-%s" % (self.triplet, name)

    @property
    def is_64bit(self):
        return self.pe.OPTIONAL_HEADER.Magic == pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS

    def function_name(self, symbol):
        """The C name behind an object file's symbol: no import prefix, and on
        x86 no leading underscore and no stdcall @N (__imp__SetFocus@4 -> SetFocus)."""
        if self.arch == "x86" and symbol.startswith("_"):
            symbol = symbol[1:]
        return undecorated(symbol)


def undecorated(symbol):
    """A C-level symbol without import prefix or stdcall suffix. ld's link map
    prints x86 names without their leading underscore already (_imp__F@4)."""
    return re.sub(r"@\d+$", "", re.sub(r"^(__imp_|_imp__)", "", symbol))


def run(command):
    """A tool's standard output; a failing tool stops the check."""
    result = subprocess.run(command, capture_output=True, text=True, errors="replace")
    if result.returncode != 0:
        print("FAIL: %s exited %d: %s" % (" ".join(command), result.returncode, result.stderr.strip()[:400]))
        sys.exit(1)
    return result.stdout


def default_beside(exe, *parts):
    return os.path.join(os.path.dirname(os.path.abspath(exe)), *parts)


def zig_def_names(dll):
    """The functions the ARM64 build's import library of DLL has: Zig makes
    it from mingw-w64's module definition under its lib/libc/mingw/, where a
    name stands first on its line, bare or in an architecture macro
    (F64(name)); None when Zig has no definition of DLL."""
    zig = run([ZIG_SH, "--installed"]).strip()
    base = os.path.join(os.path.dirname(zig), "lib", "libc", "mingw", "lib-common", dll[:-len(".dll")])
    for path in (base + ".def", base + ".def.in"):
        if os.path.isfile(path):
            break
    else:
        return None
    names, exports = set(), False
    with open(path, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            if re.match(r"\s*EXPORTS\b", line):
                exports = True
                continue
            found = re.match(r"\s*(?:F\w*\()?([A-Za-z_]\w*)", line) if exports else None
            if found:
                names.add(found.group(1))
    return names


def undefined_in(files):
    """{function: files among FILES (objects and static libraries) that
    refer to it or to its import}, read with LLVM's nm."""
    table = {}
    if not files:
        return table
    out = run(["llvm-nm", "-u", "-A", "--format=posix"] + sorted(files))
    for line in out.splitlines():
        # "lib.a[member.obj]: symbol U" or "file.obj: symbol U"
        where, _, rest = line.rpartition(": ")
        words = rest.split()
        if words:
            table.setdefault(undecorated(words[0]), set()).add(re.sub(r"\[[^][]*\]$", "", where))
    return table
