#!/usr/bin/env python3
"""Registry settings of the test prefixes: writes the .reg file and checks
that the wineserver really stored them.

usage: wineprefix.py reg DPI OUT.reg
       wineprefix.py check PREFIX DPI
"""
import re
import sys

CJK_FONT = "WenQuanYi Micro Hei"
# Names a Windows program may ask for when it wants a Chinese face.
CJK_REPLACED = ["SimSun", "NSimSun", "SimHei", "宋体", "黑体", "Microsoft YaHei"]
# Faces that Wine's dialogs and controls use; linking them to the CJK font
# makes Chinese text in standard controls render instead of boxes.
LINKED = ["Tahoma", "MS Shell Dlg", "MS Shell Dlg 2", "Microsoft Sans Serif"]
LINK_TARGET = "wqy-microhei.ttc," + CJK_FONT
DESKTOP_SIZE = "800x600"


def multi_sz(value):
    data = (value + "\0\0").encode("utf-16-le")
    return "hex(7):" + ",".join("%02x" % b for b in data)


def reg_text(dpi):
    lines = [
        "Windows Registry Editor Version 5.00", "",
        # One shared desktop with a taskbar and a notification area, so every
        # program started with plain `wine x.exe` lands on it and can see the
        # others' windows.
        r"[HKEY_CURRENT_USER\Software\Wine\Explorer]", '"Desktop"="shell"', "",
        r"[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]", '"shell"="%s"' % DESKTOP_SIZE, "",
        r"[HKEY_CURRENT_USER\Control Panel\Desktop]", '"LogPixels"=dword:%08x' % dpi, "",
        r"[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]",
    ]
    lines += ['"%s"="%s"' % (name, CJK_FONT) for name in CJK_REPLACED]
    lines += ['"Verdana"="DejaVu Sans"', ""]
    lines.append(r"[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]")
    lines += ['"%s"=%s' % (name, multi_sz(LINK_TARGET)) for name in LINKED]
    lines.append("")
    return "\r\n".join(lines) + "\r\n"


def write_reg(dpi, out):
    # regedit keeps Chinese value names only from a UTF-16LE file with a BOM.
    with open(out, "wb") as f:
        f.write(b"\xff\xfe" + reg_text(dpi).encode("utf-16-le"))


def wine_escape(name):
    """How the wineserver writes a value name in user.reg/system.reg."""
    return "".join(c if ord(c) < 0x80 else "\\x%04x" % ord(c) for c in name)


def read_sections(path):
    """{key: [value lines]} of a Wine registry file."""
    sections, current = {}, None
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            m = re.match(r"^\[(.*)\] \d+", line)
            if m:
                current = sections.setdefault(m.group(1).replace("\\\\", "\\").lower(), [])
            elif current is not None and line.startswith('"'):
                current.append(line)
    return sections


def check(prefix, dpi):
    user = read_sections(prefix + "/user.reg")
    system = read_sections(prefix + "/system.reg")
    want = [
        (user, r"software\wine\explorer", '"Desktop"="shell"'),
        (user, r"software\wine\explorer\desktops", '"shell"="%s"' % DESKTOP_SIZE),
        (user, r"control panel\desktop", '"LogPixels"=dword:%08x' % dpi),
        (user, r"software\wine\fonts\replacements", '"Verdana"="DejaVu Sans"'),
    ]
    want += [(user, r"software\wine\fonts\replacements", '"%s"="%s"' % (wine_escape(n), CJK_FONT))
             for n in CJK_REPLACED]
    want += [(system, r"software\microsoft\windows nt\currentversion\fontlink\systemlink",
              '"%s"=str(7):"%s\\0"' % (n, LINK_TARGET)) for n in LINKED]
    missing = [(k, v) for regs, k, v in want if v not in regs.get(k, [])]
    for k, v in missing:
        print("wineprefix: %s: missing [%s] %s" % (prefix, k, v), file=sys.stderr)
    return 0 if not missing else 1


def main(argv):
    if len(argv) == 4 and argv[1] == "reg":
        write_reg(int(argv[2]), argv[3])
        return 0
    if len(argv) == 4 and argv[1] == "check":
        return check(argv[2], int(argv[3]))
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
