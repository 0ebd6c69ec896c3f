#!/usr/bin/env python3
"""The release. Usage: test_release.py BUILD_DIR.

The exe is the same bytes from two build folders; the archive holds what a
shop needs, in the encoding Windows 7 reads, with sums that verify; and the
exes taken out of it run under Wine (the kept prefixes of the Wine tests; the
x86 one only where this kernel runs 32-bit programs)."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path[:0] = [os.path.join(ROOT, "scripts"), os.path.join(os.path.dirname(HERE), "wine")]
import release_archive  # noqa: E402
from winebox import WineBox  # noqa: E402

BUILD = None
COMMIT = "0123456789ab"


def build_x64(folder):
    shutil.rmtree(folder, ignore_errors=True)
    subprocess.run(["cmake", "-S", ROOT, "-B", folder, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                    "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(ROOT, "cmake", "mingw-x86_64.cmake"),
                    "-DMORVIK_COMMIT=" + COMMIT], check=True, capture_output=True)
    subprocess.run(["cmake", "--build", folder], check=True, capture_output=True)
    with open(os.path.join(folder, "morvik-helper.exe"), "rb") as f:
        return f.read()


def version_of(build_folder):
    """The version the build was made with, from the project's one version."""
    with open(os.path.join(build_folder, "version.txt"), encoding="utf-8") as f:
        return f.read().strip()


class Release(unittest.TestCase):
    def test_the_exe_is_the_same_from_two_build_folders(self):
        first = os.path.join(BUILD, "repro", "a")
        second = os.path.join(BUILD, "repro", "second", "b")
        exe = build_x64(first)
        self.assertTrue(exe == build_x64(second), "the two builds differ")
        pe = int.from_bytes(exe[0x3C:0x40], "little")
        self.assertEqual(exe[pe + 8:pe + 12], b"\0\0\0\0")  # no link time
        for folder in (ROOT, first, second):
            for encoding in ("utf-8", "utf-16-le"):
                self.assertNotIn(folder.encode(encoding), exe)
        rc = subprocess.run(["x86_64-w64-mingw32-windres", "--input", os.path.join(first, "morvik-helper.exe"),
                             "--output-format", "rc"], capture_output=True, check=True, text=True).stdout
        for line in ('VALUE "Comments", "commit %s"' % COMMIT, 'VALUE "FileVersion", "%s.0"' % version_of(first),
                     'VALUE "ProductName", "Morvik print helper"'):
            self.assertIn(line, rc)

    def test_the_archive(self):
        with tempfile.TemporaryDirectory() as scratch:
            archives = []
            for name in ("one.zip", "two.zip"):
                archives.append(os.path.join(scratch, name))
                subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "release_archive.py"), archives[-1],
                                os.path.join(BUILD, "win64", "morvik-helper.exe"),
                                os.path.join(BUILD, "win32", "morvik-helper.exe"),
                                os.path.join(ROOT, "release", "prochti.txt"), "1796000000"],
                               check=True, capture_output=True)
            with open(archives[0], "rb") as one, open(archives[1], "rb") as two:
                self.assertTrue(one.read() == two.read(), "two runs made different archives")

            with zipfile.ZipFile(archives[0]) as archive:
                infos = archive.infolist()
                self.assertEqual([info.filename for info in infos],
                                 ["x64/morvik-helper.exe", "x86/morvik-helper.exe", "ПРОЧТИ.txt", "SHA256SUMS"])
                self.assertEqual({(info.date_time, info.external_attr >> 16) for info in infos},
                                 {((2026, 11, 30, 0, 53, 20), 0o100644)})
                archive.extractall(scratch)
            with open(os.path.join(scratch, "ПРОЧТИ.txt"), "rb") as f:
                note = f.read()
            self.assertTrue(note.startswith(b"\xef\xbb\xbf"))
            self.assertEqual(note.count(b"\n"), note.count(b"\r\n"))
            self.assertEqual(note.count(b"\r"), note.count(b"\r\n"))
            with open(os.path.join(ROOT, "release", "prochti.txt"), encoding="utf-8") as f:
                self.assertEqual(note[3:].decode("utf-8"), f.read().replace("\n", "\r\n"))
            checked = subprocess.run(["sha256sum", "--strict", "-c", "SHA256SUMS"], cwd=scratch,
                                     capture_output=True, text=True)
            self.assertEqual((checked.returncode, checked.stdout.count(": OK\n")), (0, 3), checked.stdout)

            exes = {"win64": os.path.join(scratch, "x64", "morvik-helper.exe"),
                    "win32": os.path.join(scratch, "x86", "morvik-helper.exe")}
            box = WineBox(os.path.join(BUILD, "wine"), exes).start()
            try:
                for arch, exe in exes.items():
                    with self.subTest(exe=os.path.relpath(exe, scratch)):
                        prefix = box.prefixes.get(arch)
                        if prefix is None:
                            self.skipTest(box.no_32bit)
                        result = subprocess.run(prefix.command(exe, "version"), env=prefix.env, capture_output=True,
                                                timeout=120)
                        self.assertEqual((result.returncode, json.loads(result.stdout)),
                                         (0, {"ok": True, "v": version_of(os.path.join(BUILD, "win64"))}))
            finally:
                box.stop()


if __name__ == "__main__":
    BUILD = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
