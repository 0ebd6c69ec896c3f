#!/usr/bin/env python3
"""Integration tests of the real morvik-helper.exe under Wine.

Usage: test_wine.py BUILD_DIR. The exes come from BUILD_DIR/win64 and
BUILD_DIR/win32; a private Wine prefix is made afresh under BUILD_DIR/wine,
and one wineserver is kept up for the whole run so each start is cheap."""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

BUILD = None
EXE = PROBE = EXE32 = None
ENV = None

VERSION_DOC = b'{"ok":true,"v":"1.1.0"}\n'
UNKNOWN_DOC = b'{"ok":false,"error":"UNKNOWN_COMMAND"}\n'


def wine(args, **kwargs):
    kwargs.setdefault("capture_output", True)
    kwargs.setdefault("timeout", 120)
    return subprocess.run(["wine"] + args, env=ENV, **kwargs)


def setUpModule():
    global ENV
    wine_dir = os.path.join(BUILD, "wine")
    prefix = os.path.join(wine_dir, "prefix")
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(prefix)
    ENV = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", LANG="C.UTF-8",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    ENV.pop("LC_ALL", None)
    subprocess.run(["wineboot", "-i"], env=ENV, capture_output=True, timeout=300, check=True)
    # Keep the wineserver of this prefix up until the run ends; it outlives
    # the call, so its output must not be a pipe we wait on.
    subprocess.run(["wineserver", "-p"], env=ENV, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=60)


def tearDownModule():
    subprocess.run(["wineserver", "-k"], env=ENV, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=60)


class Terminal:
    """A tmux server of our own with one window of the given size."""

    def __init__(self):
        self.socket = "morvik-wine-%d" % os.getpid()

    def tmux(self, *args):
        return subprocess.run(["tmux", "-u", "-L", self.socket] + list(args), env=ENV,
                              capture_output=True, timeout=30)

    def run(self, command, until, timeout=60):
        self.tmux("new-session", "-d", "-x", "160", "-y", "40", command + "; echo EXIT=$?; sleep 600")
        deadline = time.time() + timeout
        screen = ""
        while time.time() < deadline:
            screen = self.tmux("capture-pane", "-p", "-J").stdout.decode("utf-8", "replace")
            if until in screen:
                return screen
            time.sleep(0.2)
        return screen

    def close(self):
        self.tmux("kill-server")


class ThroughAPipe(unittest.TestCase):
    def test_version(self):
        result = wine([EXE, "version"])
        self.assertEqual(result.stdout, VERSION_DOC)
        self.assertEqual(result.returncode, 0)

    def test_unknown_word(self):
        result = wine([EXE, "help"])
        self.assertEqual(result.stdout, UNKNOWN_DOC)
        self.assertEqual(result.returncode, 2)

    def test_empty_first_argument_is_like_none(self):
        none = wine([EXE])
        empty = wine([EXE, "", "version"])
        self.assertEqual(none.stdout, empty.stdout)
        self.assertEqual(none.returncode, empty.returncode)

    def test_redirected_to_a_file_and_to_null(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "out.txt")
            with open(path, "wb") as out:
                result = wine([EXE, "VERSION"], stdout=out, capture_output=False)
            self.assertEqual(result.returncode, 0)
            with open(path, "rb") as f:
                self.assertEqual(f.read(), VERSION_DOC)
        with open(os.devnull, "wb") as null:
            probe = wine([PROBE], stdout=null, capture_output=False)
        self.assertEqual(probe.returncode, 11)  # the null device is no console

    def test_russian_text_through_a_pipe_is_utf8(self):
        result = wine([PROBE])
        self.assertEqual(result.returncode, 11)
        self.assertEqual(result.stdout,
                         "Принтер «XP-58» — готов; қазақ әріптері: ӘҒҚҢӨҰҮҺІ\r\n".encode("utf-8"))


class InATerminal(unittest.TestCase):
    def setUp(self):
        self.terminal = Terminal()

    def tearDown(self):
        self.terminal.close()

    def test_console_mode_shows_cyrillic(self):
        screen = self.terminal.run("wine %s" % PROBE, "EXIT=")
        self.assertIn("Принтер «XP-58» — готов; қазақ әріптері: ӘҒҚҢӨҰҮҺІ", screen)
        self.assertIn("EXIT=10", screen)

    def test_version_at_the_console(self):
        screen = self.terminal.run("wine %s version" % EXE, "EXIT=")
        self.assertIn('{"ok":true,"v":"1.1.0"}', screen)
        self.assertIn("EXIT=0", screen)


class TheExeItself(unittest.TestCase):
    def dlls(self, objdump, exe):
        out = subprocess.run([objdump, "-p", exe], capture_output=True, check=True).stdout.decode()
        return sorted(line.split(":", 1)[1].strip().lower() for line in out.splitlines()
                      if "DLL Name:" in line)

    def test_imports_only_system_dlls(self):
        system = {"kernel32.dll", "msvcrt.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
                  "winspool.drv", "setupapi.dll", "cfgmgr32.dll"}
        for objdump, exe in (("x86_64-w64-mingw32-objdump", EXE), ("i686-w64-mingw32-objdump", EXE32)):
            dlls = self.dlls(objdump, exe)
            self.assertIn("kernel32.dll", dlls)
            self.assertTrue(set(dlls) <= system, (exe, dlls))

    def test_machine_types(self):
        with open(EXE, "rb") as f:
            head = f.read(4096)
        pe = int.from_bytes(head[0x3C:0x40], "little")
        self.assertEqual(head[pe:pe + 4], b"PE\0\0")
        self.assertEqual(int.from_bytes(head[pe + 4:pe + 6], "little"), 0x8664)
        with open(EXE32, "rb") as f:
            head = f.read(4096)
        pe = int.from_bytes(head[0x3C:0x40], "little")
        self.assertEqual(int.from_bytes(head[pe + 4:pe + 6], "little"), 0x014C)

    def test_version_resource(self):
        rc = subprocess.run(["x86_64-w64-mingw32-windres", "--input", EXE, "--output-format", "rc"],
                            capture_output=True, check=True).stdout.decode("utf-8", "replace")
        self.assertIn("FILEVERSION 1, 1, 0, 0", rc)
        self.assertIn("PRODUCTVERSION 1, 1, 0, 0", rc)
        self.assertIn('VALUE "FileVersion", "1.1.0"', rc)
        self.assertIn('VALUE "FileDescription"', rc)


if __name__ == "__main__":
    BUILD = os.path.abspath(sys.argv.pop(1))
    EXE = os.path.join(BUILD, "win64", "morvik-helper.exe")
    EXE32 = os.path.join(BUILD, "win32", "morvik-helper.exe")
    PROBE = os.path.join(BUILD, "win64", "console-probe.exe")
    unittest.main(verbosity=1)
