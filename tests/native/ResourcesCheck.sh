#!/usr/bin/env bash
# Reads the built program's resources and headers back and checks them
# against what the program must carry: the version record, the icon, the
# manifest, system-only imports and a modest size.
#   ResourcesCheck.sh EXE SOURCE_DIR
# The resources are read with windres (as a .res, parsed below) and the
# headers with objdump, the same tools a reviewer would use by hand.
set -euo pipefail
exe=${1:?usage: ResourcesCheck.sh EXE SOURCE_DIR}
src=${2:?usage: ResourcesCheck.sh EXE SOURCE_DIR}
# Each build is read with its own binutils: x86-64 or 32-bit x86.
format=$(x86_64-w64-mingw32-objdump -f "$exe" 2>/dev/null | awk '/file format/ { print $NF }')
case "$format" in
  pei-i386) triplet=i686-w64-mingw32 ;;
  *) triplet=x86_64-w64-mingw32 ;;
esac
windres=$triplet-windres
objdump=$triplet-objdump
max_bytes=$((400 * 1024))
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok:   $*"; }

[ -f "$exe" ] || { echo "FAIL: no program at $exe"; exit 1; }
[ -f "$src/resources/app.rc" ] || { echo "FAIL: $src has no resources/app.rc"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- resources ----------------------------------------------------------------
if ! $windres -i "$exe" -O res -o "$work/app.res" 2>"$work/windres.err"; then
  echo "FAIL: windres cannot read the resources of $exe: $(cat "$work/windres.err")"
  exit 1
fi
if $windres -i "$exe" -O rc -o "$work/app.rc" 2>/dev/null && grep -q VERSIONINFO "$work/app.rc"; then
  ok "windres prints the resources back as a script"
else
  fail "windres -O rc gives no version record"
fi

# The .res is parsed here rather than the printed script: it holds the
# exact bytes (UTF-16 strings, icon images, the manifest's XML).
python3 - "$work/app.res" "$exe" "$src" <<'PY' || failures=$((failures + $?))
import os
import re
import struct
import sys
import xml.etree.ElementTree as ET

res_path, exe, src = sys.argv[1:4]
failures = 0


def ok(text):
    print("ok:   " + text)


def fail(text):
    global failures
    failures += 1
    print("FAIL: " + text)


def check(condition, good, bad):
    ok(good) if condition else fail(bad)


def align4(n):
    return (n + 3) & ~3


RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


def name_or_id(data, p):
    if struct.unpack_from("<H", data, p)[0] == 0xFFFF:
        return struct.unpack_from("<H", data, p + 2)[0], p + 4
    end = p
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[p:end].decode("utf-16-le"), end + 2


def read_res(data):
    """{(type, name): (language, bytes)} of a .res file."""
    out, p = {}, 0
    while p + 8 <= len(data):
        size, header = struct.unpack_from("<II", data, p)
        rtype, q = name_or_id(data, p + 8)
        name, q = name_or_id(data, q)
        language = struct.unpack_from("<H", data, align4(q) + 6)[0]
        if size:
            out[(rtype, name)] = (language, data[p + header:p + header + size])
        p = align4(p + header + size)
    return out


resources = read_res(open(res_path, "rb").read())
# The manifest must name the architecture the image is built for.
with open(exe, "rb") as image:
    data = image.read(4096)
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    arch = {0x8664: "amd64", 0x014C: "x86"}.get(struct.unpack_from("<H", data, pe + 4)[0], "unknown")

# --- version record ---------------------------------------------------------


def version_node(data, p):
    """One node of VS_VERSIONINFO: (key, value bytes, children, type)."""
    length, value_length, kind = struct.unpack_from("<HHH", data, p)
    end = p + length
    key_end = p + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[p + 6:key_end].decode("utf-16-le")
    q = align4(key_end + 2)
    value_size = value_length * 2 if kind == 1 else value_length
    value = data[q:min(q + value_size, end)]
    children, c = [], align4(q + value_size)
    while c < end:
        child = version_node(data, c)
        children.append(child)
        c = align4(c + struct.unpack_from("<H", data, c)[0])
    return key, value, children, kind


def text_of(value):
    return value.decode("utf-16-le").split("\0")[0]


product = "岚石阁内存整理"
expected_strings = {
    "FileDescription": "内存整理",
    "ProductName": product,
    "InternalName": product,
    "FileVersion": "1.00.0104",
    "ProductVersion": "1.00.0104",
    "OriginalFilename": os.path.basename(exe),
}

versions = [k for k in resources if k[0] == RT_VERSION]
check(len(versions) == 1, "one version record", "%d version records" % len(versions))
if versions:
    _, data = resources[versions[0]]
    key, fixed, children, _ = version_node(data, 0)
    check(key == "VS_VERSION_INFO", "version record is VS_VERSION_INFO", "version record key %r" % key)
    (signature, _, file_ms, file_ls, product_ms, product_ls, _, flags, os_kind, file_type,
     _, _, _) = struct.unpack_from("<13I", fixed)
    check(signature == 0xFEEF04BD, "fixed file info signature", "fixed file info signature 0x%08x" % signature)
    for what, ms, ls in (("file", file_ms, file_ls), ("product", product_ms, product_ls)):
        got = "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        check(got == "1.0.0.104", "%s version %s" % (what, got), "%s version %s, not 1.0.0.104" % (what, got))
    check(file_type == 1, "file type VFT_APP", "file type %d, not VFT_APP" % file_type)
    check(os_kind == 0x40004, "file OS VOS_NT_WINDOWS32", "file OS 0x%x" % os_kind)
    check(flags == 0, "no debug or pre-release flags", "file flags 0x%x" % flags)

    blocks = {}
    translation = None
    for ckey, _, grandchildren, _ in children:
        if ckey == "StringFileInfo":
            for table_key, _, strings, _ in grandchildren:
                blocks[table_key] = {k: text_of(v) for k, v, _, _ in strings}
        elif ckey == "VarFileInfo":
            for vkey, value, _, _ in grandchildren:
                if vkey == "Translation":
                    translation = struct.unpack_from("<%dH" % (len(value) // 2), value)
    check(list(blocks) == ["080404B0"], "one string table, 080404B0 (Chinese PRC, Unicode)",
          "string tables %s, want only 080404B0" % list(blocks))
    check(translation == (0x0804, 1200), "Translation 0x0804, 1200",
          "Translation %s, want (0x0804, 1200)" % (translation,))
    strings = blocks.get("080404B0", {})
    for name, want in expected_strings.items():
        got = strings.get(name)
        check(got == want, "%s = %s" % (name, want), "%s = %r, want %r" % (name, got, want))
    # Every string of the resource script made it through unmangled.
    script = open(os.path.join(src, "resources", "app.rc"), encoding="utf-8").read()
    for name, want in re.findall(r'VALUE\s+"(\w+)",\s*"([^"]*)"', script):
        got = strings.get(name)
        check(got == want, "%s as in app.rc" % name, "%s = %r, app.rc says %r" % (name, got, want))

# --- icon -------------------------------------------------------------------

groups = sorted(k for k in resources if k[0] == RT_GROUP_ICON)
check(len(groups) == 1, "one icon group", "%d icon groups" % len(groups))
if groups:
    _, group = resources[groups[0]]
    _, kind, count = struct.unpack_from("<HHH", group)
    entries = [struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i) for i in range(count)]
    sizes = sorted((w or 256, h or 256, colours, bits) for w, h, colours, _, _, bits, _, _ in entries)
    print("info: icon group %s: %s" % (groups[0][1], ", ".join("%dx%d %d colours %d bpp" % s for s in sizes)))
    check(kind == 1 and sizes == [(16, 16, 16, 4), (32, 32, 16, 4)],
          "icon group has a 32x32 and a 16x16 image of 16 colours",
          "icon group images %s, want 32x32 and 16x16, 16 colours, 4 bpp" % sizes)
    images = {}
    for w, h, _, _, _, bits, size, icon_id in entries:
        found = resources.get((RT_ICON, icon_id))
        if not found:
            fail("icon image %d of the group is missing" % icon_id)
            continue
        blob = found[1]
        _, bw, bh, _, bbits = struct.unpack_from("<IiiHH", blob)
        check(len(blob) == size and (bw, bh, bbits) == (w, 2 * h, bits),
              "icon image %d is a %dx%d, %d bpp bitmap" % (icon_id, w, h, bits),
              "icon image %d: %d bytes (group says %d), bitmap %dx%d %d bpp"
              % (icon_id, len(blob), size, bw, bh // 2, bbits))
        images[(w, h)] = blob
    # The images are those of the committed app.ico.
    ico = open(os.path.join(src, "resources", "app.ico"), "rb").read()
    _, _, ico_count = struct.unpack_from("<HHH", ico)
    committed = {}
    for i in range(ico_count):
        w, h, _, _, _, _, size, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
        committed[(w or 256, h or 256)] = ico[offset:offset + size]
    check(images == committed, "icon images are those of resources/app.ico",
          "icon images differ from resources/app.ico")

# --- manifest ---------------------------------------------------------------

manifests = [k for k in resources if k[0] == RT_MANIFEST]
check([k[1] for k in manifests] == [1], "one manifest, id 1 (read when the process starts)",
      "manifests %s, want one with id 1" % [k[1] for k in manifests])
if manifests:
    text = resources[manifests[0]][1]
    try:
        root = ET.fromstring(text)
    except ET.ParseError as error:
        fail("the manifest is not well-formed XML: %s" % error)
        root = None
    if root is not None:
        v1, v3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
        compat = "{urn:schemas-microsoft-com:compatibility.v1}"
        ws2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
        ws2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
        comctl = [a.attrib for a in root.iter(v1 + "assemblyIdentity")
                  if a.get("name") == "Microsoft.Windows.Common-Controls"]
        check(len(comctl) == 1 and comctl[0].get("version") == "6.0.0.0"
              and comctl[0].get("publicKeyToken") == "6595b64144ccf1df"
              and comctl[0].get("processorArchitecture") == arch,
              "depends on common controls 6.0.0.0 for %s" % arch, "common controls dependency %s" % comctl)
        own = root.find(v1 + "assemblyIdentity")
        check(own is not None and own.get("processorArchitecture") == arch,
              "the program's own identity is %s" % arch,
              "the program's own identity %s, want %s" % (None if own is None else own.attrib, arch))
        levels = [e.attrib for e in root.iter() if e.tag.endswith("}requestedExecutionLevel")]
        check(levels == [{"level": "asInvoker", "uiAccess": "false"}], "runs asInvoker",
              "requested execution level %s" % levels)
        aware = [(e.text or "").strip() for e in root.iter(ws2005 + "dpiAware")]
        check(aware == ["true/pm"], "dpiAware true/pm", "dpiAware %s, want true/pm" % aware)
        awareness = [(e.text or "").strip() for e in root.iter(ws2016 + "dpiAwareness")]
        first = awareness[0].split(",")[0].strip() if awareness else None
        check(len(awareness) == 1 and first == "PerMonitorV2", "dpiAwareness %s" % awareness,
              "dpiAwareness %s, want PerMonitorV2 first" % awareness)
        known_os = {
            "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
            "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
            "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10 and 11",
        }
        supported = [e.get("Id", "").lower() for e in root.iter(compat + "supportedOS")]
        unknown = [s for s in supported if s not in known_os]
        # From Windows 7 SP1 on, the oldest system the imports allow: no Vista.
        names = [known_os.get(s, s) for s in supported]
        check(names == ["7", "8", "8.1", "10 and 11"], "supported Windows: %s" % ", ".join(names),
              "supportedOS %s, want exactly 7, 8, 8.1, 10 and 11" % names)

sys.exit(min(failures, 100))
PY

# --- headers and imports ------------------------------------------------------
headers=$($objdump -p "$exe")
if grep -q "file format pei-x86-64" <<<"$headers"; then ok "x86-64 Windows executable"
elif grep -q "file format pei-i386" <<<"$headers"; then ok "x86 (32-bit) Windows executable"
else fail "neither a pei-x86-64 nor a pei-i386 image"; fi
subsystem=$(awk '$1 == "Subsystem" { print $2 }' <<<"$headers")
if [ "$subsystem" = "00000002" ]; then ok "Windows GUI subsystem (no console window)"
else fail "subsystem ${subsystem:-unknown}, want 00000002 (Windows GUI)"; fi

allowed="kernel32.dll user32.dll gdi32.dll shell32.dll comctl32.dll msvcrt.dll advapi32.dll"
mapfile -t dlls < <(awk '/DLL Name:/ { print $3 }' <<<"$headers")
[ "${#dlls[@]}" -gt 0 ] || fail "no imports found"
echo "info: imports ${dlls[*]}"
for dll in "${dlls[@]}"; do
  lower=${dll,,}
  if [[ " $allowed " == *" $lower "* ]]; then ok "imports $dll (a system DLL)"
  else fail "imports $dll, which is not one of: $allowed"; fi
done

size=$(stat -c %s "$exe")
if [ "$size" -lt "$max_bytes" ]; then ok "size $size bytes, under $max_bytes"
else fail "size $size bytes, not under $max_bytes (400 KiB)"; fi

# --- the icon's source --------------------------------------------------------
if out=$(python3 "$src/resources/make_icon.py" --check 2>&1); then ok "$out"
else fail "make_icon.py --check: $out"; fi

if [ "$failures" -gt 0 ]; then
  echo "$failures resource check(s) failed for $exe"
  exit 1
fi
echo "all resource checks passed for $exe"
