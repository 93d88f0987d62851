"""The release as a user gets it: scripts/release.sh writes the three zips and
their sums; each zip holds the program and 说明.txt under names Windows shows right,
and the program started from the unpacked zip reaches its main window."""

import hashlib
import os
import struct
import subprocess
import tempfile
import time
import unittest
import zipfile
import zlib

import harness
from app_support import MAIN_CLASS, MAIN_TITLE

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
PRODUCT = "岚石阁内存整理"
VERSION = "1.0.0.104"
ARCHES = {"x64": 0x8664, "x86": 0x014C, "arm64": 0xAA64}   # and the PE machine each must carry
# What each zip's notes say it holds.
HOLDS = {"x64": ("64 位版（x64）", "the 64-bit build (x64)"), "x86": ("32 位版（x86）", "the 32-bit build (x86)"),
         "arm64": ("ARM64 版（arm64）", "the ARM64 build (arm64)")}


def stored_name(info):
    """The entry's name as Windows' compressed folders read it (GBK, since the
    UTF-8 flag is off), and the UTF-8 name of its Unicode Path field."""
    raw = info.orig_filename.encode("cp437")   # zipfile decoded the bytes as cp437
    unicode_name, p = None, 0
    while p + 4 <= len(info.extra):
        tag, size = struct.unpack_from("<HH", info.extra, p)
        if tag == 0x7075:
            version, crc = struct.unpack_from("<BI", info.extra, p + 4)
            if version == 1 and crc == zlib.crc32(raw):
                unicode_name = info.extra[p + 9:p + 4 + size].decode("utf-8")
        p += 4 + size
    return raw.decode("gbk"), unicode_name


class ReleaseTest(harness.AppTestCase):

    @classmethod
    def setUpClass(cls):
        cls.out = tempfile.mkdtemp(prefix="release-")
        cls.unpacked = tempfile.mkdtemp(prefix="unpacked-")
        env = dict(os.environ, RELEASE_DIR=cls.out)
        run = subprocess.run(["bash", os.path.join(REPO, "scripts", "release.sh")], env=env, cwd=REPO,
                             stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=900)
        if run.returncode != 0:
            raise AssertionError("release.sh failed:\n%s\n%s" % (run.stdout, run.stderr))
        cls.zips = {arch: os.path.join(cls.out, "%s-%s-%s.zip" % (PRODUCT, VERSION, arch)) for arch in ARCHES}
        cls.commit = subprocess.run(["git", "rev-parse", "HEAD"], cwd=REPO, check=True,
                                    capture_output=True, text=True).stdout.strip()
        cls.commit_time = int(subprocess.run(["git", "log", "-1", "--format=%ct"], cwd=REPO, check=True,
                                             capture_output=True, text=True).stdout)

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["rm", "-rf", cls.out, cls.unpacked])

    def test_the_release_directory_holds_three_zips_and_their_sums(self):
        self.assertEqual(sorted(os.listdir(self.out)),
                         sorted(["SHA256SUMS"] + [os.path.basename(z) for z in self.zips.values()]))
        with open(os.path.join(self.out, "SHA256SUMS"), encoding="utf-8") as f:
            lines = f.read().splitlines()
        want = []
        for arch in ARCHES:
            with open(self.zips[arch], "rb") as f:
                want.append("%s  %s" % (hashlib.sha256(f.read()).hexdigest(), os.path.basename(self.zips[arch])))
        self.assertEqual(lines, want)
        self.assertEqual(subprocess.run(["sha256sum", "-c", "--quiet", "SHA256SUMS"], cwd=self.out).returncode, 0)

    def test_each_zip_lists_the_program_and_its_notes(self):
        for arch, machine in ARCHES.items():
            with self.subTest(arch=arch), zipfile.ZipFile(self.zips[arch]) as z:
                infos = z.infolist()
                self.assertEqual([stored_name(i) for i in infos],
                                 [(PRODUCT + ".exe",) * 2, ("说明.txt",) * 2])
                for i in infos:
                    self.assertEqual(i.flag_bits & 0x800, 0)   # names in GBK, not flagged UTF-8
                    self.assertEqual(i.compress_type, zipfile.ZIP_DEFLATED)
                    # The commit's time, as UTC, to the zip format's two seconds.
                    self.assertEqual(i.date_time[:5], tuple(time.gmtime(self.commit_time)[:5]))
                # Info-ZIP's unzip reads the Unicode names back.
                listing = subprocess.run(["unzip", "-Z1", self.zips[arch]], capture_output=True, check=True,
                                         env=dict(os.environ, LC_ALL="C.UTF-8")).stdout.decode("utf-8")
                self.assertEqual(listing.splitlines(), [PRODUCT + ".exe", "说明.txt"])

                exe = z.read(infos[0])
                pe = struct.unpack_from("<I", exe, 0x3C)[0]
                self.assertEqual(exe[pe:pe + 4], b"PE\0\0")
                self.assertEqual(struct.unpack_from("<H", exe, pe + 4)[0], machine)

                notes = z.read(infos[1])
                self.assertTrue(notes.startswith(b"\xef\xbb\xbf"), "说明.txt needs a BOM for Notepad")
                self.assertEqual(notes.count(b"\n"), notes.count(b"\r\n"))
                self.assertEqual(notes.count(b"\r"), notes.count(b"\r\n"))
                text = notes[3:].decode("utf-8")
                self.assertNotIn("@", text)
                for words in ("%s %s（%s）" % (PRODUCT, VERSION, arch), "不写任何文件", "溢出区", "Windows 7 SP1 或更高版本",
                              "writes no files", "overflow area", "Windows 7 SP1 or later"):
                    self.assertIn(words, text)
                # The commands for checking the zip name this very zip, once in each language.
                lines = text.split("\r\n")
                zip_name = "%s-%s-%s.zip" % (PRODUCT, VERSION, arch)
                self.assertEqual(lines.count("  certutil -hashfile %s SHA256" % zip_name), 2)
                self.assertEqual(lines.count("  Get-FileHash %s -Algorithm SHA256" % zip_name), 2)
                wanted = ("“Windows 已保护你的电脑”：点“更多信息”，再点“仍要运行”。",
                          "程序以当前用户的权限运行，不请求管理员权限，不会出现用户账户控制提示。",
                          "arm64 版用于 ARM 处理器的 Windows 10 和 Windows 11，不经模拟直接运行，请选这个。",
                          "按 Win+R，输入 shell:startup 后按回车，打开“启动”文件夹；",
                          "取消：同样打开“启动”文件夹，删除其中的这个快捷方式即可。",
                          "本压缩包是 %s。" % HOLDS[arch][0], "This zip holds %s." % HOLDS[arch][1],
                          "本压缩包由提交 %s 构建。" % self.commit,
                          'on Windows 8 to 11 may show "Windows protected your PC": click "More info",',
                          'then "Run anyway". Windows 7 may show "Open File - Security Warning": click',
                          "The arm64 build is for Windows 10 and 11 on ARM processors, where it runs",
                          "To have it start each time you sign in: press Win+R, type shell:startup and",
                          "To undo it, open the Startup folder the same way and delete that shortcut.",
                          "This zip was built from commit %s." % self.commit)
                self.assertEqual([line for line in wanted if line not in lines], [])

    def test_the_program_unpacked_from_each_zip_reaches_its_main_window(self):
        for arch in ARCHES:
            with self.subTest(arch=arch):
                if arch == "x86" and os.environ.get("WINE_RUNS_32BIT") == "0":
                    self.skipTest("this machine's kernel runs no 32-bit code")
                if arch == "arm64":
                    # An x86-64 Wine runs no ARM64 program; the same commit's
                    # ARM64 build (the same bytes) is started under an arm64
                    # Wine by its own smoke test.
                    self.skipTest("an x86-64 Wine runs no ARM64 program")
                where = os.path.join(self.unpacked, arch)
                subprocess.run(["unzip", "-q", self.zips[arch], "-d", where], check=True,
                               env=dict(os.environ, LC_ALL="C.UTF-8"))
                app = self.launch(exe=os.path.join(where, PRODUCT + ".exe"))
                app.wait_window(cls=MAIN_CLASS, title=MAIN_TITLE, timeout=30)
                self._stop(app)


if __name__ == "__main__":
    unittest.main()
