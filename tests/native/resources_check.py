#!/usr/bin/python3
"""Reads the built program's resources and headers back with pefile and
checks them against what the program must carry: the version record, the
icon, the manifest, the GUI subsystem, the machine and a modest size.

    resources_check.py EXE SOURCE_DIR
"""

import os
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

from pe_image import Image, Report, pefile

MAX_BYTES = 400 * 1024
PRODUCT = "岚石阁内存整理"
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = (
    pefile.RESOURCE_TYPE[t] for t in ("RT_ICON", "RT_GROUP_ICON", "RT_VERSION", "RT_MANIFEST"))
MANIFEST_ARCH = {"x64": "amd64", "x86": "x86", "arm64": "arm64"}

exe, src = sys.argv[1:3]
report = Report()
if not os.path.isfile(os.path.join(src, "resources", "app.rc")):
    report.fail("%s has no resources/app.rc" % src)
    sys.exit(1)
image = Image(exe, report)
pe = image.pe


def read_resources():
    """{(type, name): (language, bytes)}, names being ids or strings."""
    found, directory = {}, getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in directory.entries if directory else []:
        for name in kind.directory.entries:
            key = (kind.id if kind.name is None else str(kind.name),
                   name.id if name.name is None else str(name.name))
            for language in name.directory.entries:
                data = language.data.struct
                found[key] = (language.id, pe.get_data(data.OffsetToData, data.Size))
    return found


resources = read_resources()

# --- headers ------------------------------------------------------------------

report.ok({"x64": "x86-64", "x86": "x86 (32-bit)", "arm64": "ARM64"}[image.arch] + " Windows executable")
subsystem = pe.OPTIONAL_HEADER.Subsystem
report.check(subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"],
             "Windows GUI subsystem (no console window)", "subsystem %d, want 2 (Windows GUI)" % subsystem)
# ARM64 programs run from Windows 10 on, and that build's header says so
# (windows7_check.py reads the Windows 7 floor of the others).
if image.arch == "arm64":
    for field in ("Subsystem", "OperatingSystem"):
        version = "%d.%d" % (getattr(pe.OPTIONAL_HEADER, "Major%sVersion" % field),
                             getattr(pe.OPTIONAL_HEADER, "Minor%sVersion" % field))
        report.check(version == "10.0", "%s version 10.0 (Windows 10)" % field,
                     "%s version %s, want 10.0 (Windows 10, the first to run ARM64 programs)" % (field, version))
size = os.path.getsize(exe)
report.check(size < MAX_BYTES, "size %d bytes, under %d" % (size, MAX_BYTES),
             "size %d bytes, not under %d (400 KiB)" % (size, MAX_BYTES))

# --- version record -------------------------------------------------------------
# pefile parses VS_VERSIONINFO itself; its strings come back as UTF-8 bytes.

expected_strings = {
    "FileDescription": "内存整理",
    "ProductName": PRODUCT,
    "InternalName": PRODUCT,
    "FileVersion": "1.00.0104",
    "ProductVersion": "1.00.0104",
    "OriginalFilename": os.path.basename(exe),
}
versions = [k for k in resources if k[0] == RT_VERSION]
report.check(len(versions) == 1, "one version record", "%d version records" % len(versions))
if versions and hasattr(pe, "VS_FIXEDFILEINFO"):
    key = pe.VS_VERSIONINFO[0].Key.decode("utf-8", "replace")
    report.check(key == "VS_VERSION_INFO", "version record is VS_VERSION_INFO", "version record key %r" % key)
    fixed = pe.VS_FIXEDFILEINFO[0]
    report.check(fixed.Signature == 0xFEEF04BD, "fixed file info signature",
                 "fixed file info signature 0x%08x" % fixed.Signature)
    for what in ("File", "Product"):
        ms, ls = getattr(fixed, what + "VersionMS"), getattr(fixed, what + "VersionLS")
        got = "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        report.check(got == "1.0.0.104", "%s version %s" % (what.lower(), got),
                     "%s version %s, not 1.0.0.104" % (what.lower(), got))
    report.check(fixed.FileType == 1, "file type VFT_APP", "file type %d, not VFT_APP" % fixed.FileType)
    report.check(fixed.FileOS == 0x40004, "file OS VOS_NT_WINDOWS32", "file OS 0x%x" % fixed.FileOS)
    report.check(fixed.FileFlags == 0, "no debug or pre-release flags", "file flags 0x%x" % fixed.FileFlags)

    tables, translations = {}, []
    for info in (i for group in getattr(pe, "FileInfo", []) for i in group):
        for table in getattr(info, "StringTable", []):
            tables[table.LangID.decode("ascii")] = {k.decode("utf-8"): v.decode("utf-8")
                                                    for k, v in table.entries.items()}
        for var in getattr(info, "Var", []):
            translations.append(var.entry.get(b"Translation"))
    report.check(list(tables) == ["080404B0"], "one string table, 080404B0 (Chinese PRC, Unicode)",
                 "string tables %s, want only 080404B0" % list(tables))
    report.check(translations == ["0x0804 0x04b0"], "Translation 0x0804, 1200",
                 "Translation %s, want 0x0804 0x04b0" % translations)
    strings = tables.get("080404B0", {})
    for name, want in expected_strings.items():
        got = strings.get(name)
        report.check(got == want, "%s = %s" % (name, want), "%s = %r, want %r" % (name, got, want))
    # Every string of the resource script made it through unmangled.
    with open(os.path.join(src, "resources", "app.rc"), encoding="utf-8") as script:
        for name, want in re.findall(r'VALUE\s+"(\w+)",\s*"([^"]*)"', script.read()):
            got = strings.get(name)
            report.check(got == want, "%s as in app.rc" % name, "%s = %r, app.rc says %r" % (name, got, want))
elif versions:
    report.fail("pefile cannot parse the version record")

# --- icon ---------------------------------------------------------------------
# pefile leaves icon groups (GRPICONDIR) and images as bytes.

groups = sorted(k for k in resources if k[0] == RT_GROUP_ICON)
report.check(len(groups) == 1, "one icon group", "%d icon groups" % len(groups))
if groups:
    group = resources[groups[0]][1]
    _, kind, count = struct.unpack_from("<HHH", group)
    entries = [struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i) for i in range(count)]
    sizes = sorted((w or 256, h or 256, colours, bits) for w, h, colours, _, _, bits, _, _ in entries)
    report.info("icon group %s: %s" % (groups[0][1], ", ".join("%dx%d %d colours %d bpp" % s for s in sizes)))
    report.check(kind == 1 and sizes == [(16, 16, 16, 4), (32, 32, 16, 4)],
                 "icon group has a 32x32 and a 16x16 image of 16 colours",
                 "icon group images %s, want 32x32 and 16x16, 16 colours, 4 bpp" % sizes)
    images = {}
    for w, h, _, _, _, bits, size, icon_id in entries:
        found = resources.get((RT_ICON, icon_id))
        if not found:
            report.fail("icon image %d of the group is missing" % icon_id)
            continue
        blob = found[1]
        _, bw, bh, _, bbits = struct.unpack_from("<IiiHH", blob)
        report.check(len(blob) == size and (bw, bh, bbits) == (w, 2 * h, bits),
                     "icon image %d is a %dx%d, %d bpp bitmap" % (icon_id, w, h, bits),
                     "icon image %d: %d bytes (group says %d), bitmap %dx%d %d bpp"
                     % (icon_id, len(blob), size, bw, bh // 2, bbits))
        images[(w, h)] = blob
    # The images are those of the committed app.ico.
    with open(os.path.join(src, "resources", "app.ico"), "rb") as f:
        ico = f.read()
    committed = {}
    for i in range(struct.unpack_from("<HHH", ico)[2]):
        w, h, _, _, _, _, size, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
        committed[(w or 256, h or 256)] = ico[offset:offset + size]
    report.check(images == committed, "icon images are those of resources/app.ico",
                 "icon images differ from resources/app.ico")

# --- manifest -----------------------------------------------------------------

manifests = [k for k in resources if k[0] == RT_MANIFEST]
report.check([k[1] for k in manifests] == [1], "one manifest, id 1 (read when the process starts)",
             "manifests %s, want one with id 1" % [k[1] for k in manifests])
if manifests:
    arch = MANIFEST_ARCH[image.arch]
    try:
        root = ET.fromstring(resources[manifests[0]][1])
    except ET.ParseError as error:
        report.fail("the manifest is not well-formed XML: %s" % error)
        root = None
    if root is not None:
        v1 = "{urn:schemas-microsoft-com:asm.v1}"
        compat = "{urn:schemas-microsoft-com:compatibility.v1}"
        ws2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
        ws2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
        comctl = [a.attrib for a in root.iter(v1 + "assemblyIdentity")
                  if a.get("name") == "Microsoft.Windows.Common-Controls"]
        report.check(len(comctl) == 1 and comctl[0].get("version") == "6.0.0.0"
                     and comctl[0].get("publicKeyToken") == "6595b64144ccf1df"
                     and comctl[0].get("processorArchitecture") == arch,
                     "depends on common controls 6.0.0.0 for %s" % arch, "common controls dependency %s" % comctl)
        own = root.find(v1 + "assemblyIdentity")
        report.check(own is not None and own.get("processorArchitecture") == arch,
                     "the program's own identity is %s" % arch,
                     "the program's own identity %s, want %s" % (None if own is None else own.attrib, arch))
        levels = [e.attrib for e in root.iter() if e.tag.endswith("}requestedExecutionLevel")]
        report.check(levels == [{"level": "asInvoker", "uiAccess": "false"}], "runs asInvoker",
                     "requested execution level %s" % levels)
        aware = [(e.text or "").strip() for e in root.iter(ws2005 + "dpiAware")]
        report.check(aware == ["true/pm"], "dpiAware true/pm", "dpiAware %s, want true/pm" % aware)
        awareness = [(e.text or "").strip() for e in root.iter(ws2016 + "dpiAwareness")]
        first = awareness[0].split(",")[0].strip() if awareness else None
        report.check(len(awareness) == 1 and first == "PerMonitorV2", "dpiAwareness %s" % awareness,
                     "dpiAwareness %s, want PerMonitorV2 first" % awareness)
        known_os = {
            "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
            "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
            "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10 and 11",
        }
        # From Windows 7 SP1 on, the oldest system the imports allow: no Vista.
        names = [known_os.get(s, s) for s in (e.get("Id", "").lower() for e in root.iter(compat + "supportedOS"))]
        report.check(names == ["7", "8", "8.1", "10 and 11"], "supported Windows: %s" % ", ".join(names),
                     "supportedOS %s, want exactly 7, 8, 8.1, 10 and 11" % names)

# --- the icon's source ----------------------------------------------------------

result = subprocess.run([sys.executable, os.path.join(src, "resources", "make_icon.py"), "--check"],
                        capture_output=True, text=True)
out = (result.stdout + result.stderr).strip()
report.check(result.returncode == 0, out, "make_icon.py --check: %s" % out)

report.finish("resource", exe)
