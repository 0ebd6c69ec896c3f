#!/usr/bin/env python3
"""Integration tests of the real morvik-helper.exe under Wine.

Usage: test_wine.py BUILD_DIR. Every check of the program runs against both
BUILD_DIR/win64/morvik-helper.exe and BUILD_DIR/win32/morvik-helper.exe, in
the private Wine prefix under BUILD_DIR/wine (kept between runs while the Wine
set-up stays the same, see winebox.py), with one wineserver kept up for the
run so each start is cheap. Before any of that a private CUPS server
(printworld.py) is started, whose queues Wine sees as its printers and whose
jobs land as files. Only what real Wine shows is tested here: the bytes that
reach the queues, a real terminal, the exe's imports and resources; the rest
is the simulator's."""
import json
import os
import random
import re
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ElementTree

from winebox import WineBox, wine_setup

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import schemas  # noqa: E402  (tests/, not a package)

BUILD = None
PROBE = PRINT_PROBE = None
BOX = ENV = WORLD = None

VERSION_DOC = b'{"ok":true,"v":"1.1.0"}\n'
PROBE_TEXT = "Принтер «XP-58» — готов; қазақ әріптері: ӘҒҚҢӨҰҮҺІ"

# Every byte value, ESC/POS-like framing and the bytes that text-mode handling
# or a filter would eat or change.
TRICKY_BYTES = (b"\x1b@" + bytes(range(256)) + b"\x00\x00\x1a\r\n\r\n\n\r\xff\xfe\xff"
                + "Кухня: чек №58\r\n".encode("utf-8") + b"\x1dV\x00")


def wine(args, **kwargs):
    kwargs.setdefault("capture_output", True)
    kwargs.setdefault("timeout", 120)
    return subprocess.run(["wine"] + args, env=ENV, **kwargs)


def setUpModule():
    global BOX, ENV, WORLD
    BOX = WineBox(os.path.join(BUILD, "wine"), warm_up=[PRINT_PROBE, "--list"]).start()
    ENV, WORLD = BOX.env, BOX.world


def tearDownModule():
    if BOX is not None:
        BOX.stop()


class Terminal:
    """A tmux server of our own with one window of the given size."""

    count = 0

    def __init__(self):
        # A new name each time: a server just told to quit still holds the
        # old socket, and a session started on it dies with that server.
        Terminal.count += 1
        self.socket = "morvik-wine-%d-%d" % (os.getpid(), Terminal.count)

    def tmux(self, *args):
        return subprocess.run(["tmux", "-u", "-L", self.socket] + list(args), env=ENV,
                              capture_output=True, timeout=30)

    def screen(self):
        # With the history: a long report scrolls its head out of the window.
        return self.tmux("capture-pane", "-p", "-J", "-S", "-").stdout.decode("utf-8", "replace")

    def run(self, command, until, timeout=60):
        self.tmux("new-session", "-d", "-x", "160", "-y", "40", command + "; echo EXIT=$?; sleep 600")
        return self.wait(until, timeout)

    def wait(self, until, timeout=60):
        deadline = time.time() + timeout
        screen = self.screen()
        while until not in screen and time.time() < deadline:
            time.sleep(0.2)
            screen = self.screen()
        return screen

    def close(self):
        self.tmux("kill-server")


def resources(exe):
    """{(type, id): bytes} of the exe's numbered resources, as windres reads them."""
    with tempfile.TemporaryDirectory() as tmp:
        res = os.path.join(tmp, "exe.res")
        subprocess.run(["x86_64-w64-mingw32-windres", "--input", exe, "--output", res, "--output-format", "res"],
                       check=True, timeout=60)
        with open(res, "rb") as f:
            data = f.read()
    found, at = {}, 0
    while at + 16 <= len(data):
        size, header, type_mark, type_id, name_mark, name_id = struct.unpack_from("<IIHHHH", data, at)
        if type_mark == name_mark == 0xFFFF and type_id != 0:  # the file starts with an empty entry
            found[(type_id, name_id)] = data[at + header:at + header + size]
        at = (at + header + size + 3) & ~3
    return found


class TheGround(unittest.TestCase):
    """What the program stands on, through test programs of our own: the
    prefix, Wine's view of the CUPS queues, and the console."""

    def test_prefix_and_print_world(self):
        with open(BOX.stamp, encoding="utf-8") as f:
            self.assertEqual(f.read(), wine_setup())
        result = wine([PRINT_PROBE, "--list"])
        self.assertEqual((result.returncode, result.stdout.decode("utf-8")), (0,
                         "printer\tLabel-58mm\tCUPS:Label-58mm\tLabel-58mm\n"
                         "printer\tXP-58\tCUPS:XP-58\tXP-58\n"
                         "printer\tКухня\tCUPS:Кухня\tКухня\n"
                         "default\tXP-58\n"))
        result = wine([PRINT_PROBE, "--caps", "Label-58mm"])
        self.assertEqual((result.returncode, result.stdout), (0, b"dpi 203x203\nwidth 429 height 1598\n"))

    def test_console_only_in_a_terminal(self):
        # 10: console mode, 11: not. The null device is a character device
        # too, yet no console.
        result = wine([PROBE])
        self.assertEqual((result.returncode, result.stdout), (11, (PROBE_TEXT + "\r\n").encode("utf-8")))
        with open(os.devnull, "wb") as null:
            self.assertEqual(wine([PROBE], stdout=null, capture_output=False).returncode, 11)
        terminal = Terminal()
        try:
            screen = terminal.run("wine %s" % PROBE, "EXIT=")
        finally:
            terminal.close()
        self.assertIn(PROBE_TEXT + "\nEXIT=10", screen)


class TheProgram:
    """The program's checks; a subclass names the exe (ARCH) and what it is."""

    ARCH = MACHINE = OBJDUMP = MOST_BYTES = None

    @classmethod
    def setUpClass(cls):
        cls.exe = os.path.join(BUILD, cls.ARCH, "morvik-helper.exe")

    def run_exe(self, *args, data=b""):
        return wine([self.exe] + list(args), input=data)

    def documents(self, result, code):
        """Every line of the output parsed as JSON, after the exit code; each
        must be what the schemas allow for the command word (wine EXE WORD ...)."""
        self.assertEqual(result.returncode, code, result.stdout)
        self.assertTrue(result.stdout.endswith(b"\n"), result.stdout)
        parsed = [json.loads(line) for line in result.stdout.split(b"\n")[:-1]]
        for document in parsed:
            self.assertIsNone(schemas.schema_problem(document, result.args[2]))
        return parsed

    def assertSameBytes(self, actual, expected):
        # Not assertEqual: a diff of 8 MiB helps nobody.
        if actual == expected:
            return
        at = next((i for i, (a, b) in enumerate(zip(actual, expected)) if a != b),
                  min(len(actual), len(expected)))
        self.fail("%d bytes landed, %d sent; first difference at offset %d: %r vs %r" % (
            len(actual), len(expected), at, actual[at:at + 16], expected[at:at + 16]))

    def assertSent(self, result, queue, data):
        progress, final = self.documents(result, 0)
        job = progress["job"]
        self.assertEqual(result.stdout, ('{"stage":"write","job":%d}\n{"ok":true,"job":%d,"bytes":%d,"printer":"%s"}\n'
                                         % (job, job, len(data), queue)).encode("utf-8"))
        self.assertSameBytes(WORLD.next_job(queue), data)
        self.assertEqual(WORLD.landed(), [])

    def test_version(self):
        result = self.run_exe("version")
        self.assertEqual(self.documents(result, 0), [{"ok": True, "v": "1.1.0"}])
        self.assertEqual(result.stdout, VERSION_DOC)

    def test_list_shows_the_cups_queues(self):
        for args in (["list"], ["list", "ids"]):
            with self.subTest(args=args):
                (document,) = self.documents(self.run_exe(*args), 0)
                self.assertEqual(list(document), ["ok", "v", "default", "usb_ok", "usb", "lpt", "printers"])
                # Wine's SetupAPI lists no USB printing device and no parallel device.
                self.assertEqual((document["default"], document["usb_ok"], document["usb"], document["lpt"]),
                                 ("XP-58", True, [], []))
                self.assertEqual([(p["name"], p["port"], p["driver"], p["default"], p["details"], p["usb_present"],
                                   p["status"], p["jobs"]) for p in document["printers"]],
                                 [("Label-58mm", "CUPS:Label-58mm", "Label-58mm", False, True, None, [], 0),
                                  ("XP-58", "CUPS:XP-58", "XP-58", True, True, None, [], 0),
                                  ("Кухня", "CUPS:Кухня", "Кухня", False, True, None, [], 0)])

    def test_send_every_byte_value(self):
        for named, queue in (("", "XP-58"), ("XP-58", "XP-58"), ("Кухня", "Кухня")):
            with self.subTest(queue=named):
                self.assertSent(self.run_exe("send", named, data=TRICKY_BYTES), queue, TRICKY_BYTES)

    def test_send_8_mib_exactly_and_refuses_more(self):
        block = random.Random(8).randbytes(8 << 20)
        self.assertSent(self.run_exe("send", "XP-58", data=block), "XP-58", block)
        result = self.run_exe("send", "XP-58", data=block + b"!")
        self.documents(result, 1)
        self.assertEqual(result.stdout, '{"ok":false,"error":"TOO_LARGE","win32":0,"message":"Поток больше 8 МиБ",'
                                        '"printer":"XP-58"}\n'.encode("utf-8"))
        self.assertEqual(WORLD.landed(), [])

    def test_send_failures(self):
        result = self.run_exe("send", "XP-59", data=TRICKY_BYTES)
        self.documents(result, 1)
        # Wine's wording of the system text for 1801.
        self.assertEqual(result.stdout, b'{"ok":false,"error":"OPEN_FAILED","win32":1801,'
                                        b'"message":"Invalid printer name","printer":"XP-59"}\n')
        result = self.run_exe("send", "Кухня")
        self.documents(result, 1)
        self.assertEqual(result.stdout, '{"ok":false,"error":"EMPTY","win32":0,"message":"Пустой поток",'
                                        '"printer":"Кухня"}\n'.encode("utf-8"))
        self.assertEqual(WORLD.landed(), [])

    def test_test_receipt_reaches_the_default_queue(self):
        progress, final = self.documents(self.run_exe("test"), 0)
        self.assertEqual(final, {"ok": True, "job": progress["job"], "bytes": 142, "printer": "XP-58"})
        receipt = WORLD.next_job("XP-58")
        self.assertEqual(len(receipt), 142)
        self.assertEqual(receipt[:45], b"\x1b@\x1ba\x01\x1bE\x01Morvik\n\x1bE\x00print helper 1.1.0\nTEST OK\n")
        self.assertRegex(receipt[45:65], rb"\A20[0-9]{2}-[01][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]\n\Z")
        self.assertEqual(receipt[65:], b"\x1ba\x00" + b"-" * 32 + b"\n0123456789 ABCDEFGHIJ abcdefghij\n\n\n\n\n"
                                       b"\x1dVB\x00")
        self.assertEqual(WORLD.landed(), [])

    def test_driver_page_through_the_58_mm_driver(self):
        (document,) = self.documents(self.run_exe("driver", "Label-58mm"), 0)
        self.assertEqual(list(document), ["ok", "job", "printer"])
        self.assertEqual((document["ok"], document["printer"]), (True, "Label-58mm"))
        page = WORLD.next_job("Label-58mm")
        self.assertTrue(page.startswith(b"%!PS-Adobe-3.0\n%%Creator: Wine PostScript Driver\n"
                                        b"%%Title: Morvik test (driver)\n"), page[:96])
        # The PPD's 58 mm page at 203 dpi, and the page's own words (each glyph
        # is sent the first time it is shown, between the shows).
        self.assertIn(b"\n<</PageSize[164.41 566.93]/ImagingBBox null>>setpagedevice\n", page)
        self.assertIn(b"\n72 203 div 72 203 div scale\n", page)
        shown = b" ".join(re.findall(rb"^/(\S+) glyphshow$", page, re.M))
        self.assertIn(b"M o r v i k", shown)
        self.assertIn(b"zero one two three four five six seven eight nine", shown)
        self.assertTrue(page.endswith(b"\nshowpage\n%%Trailer\n%%Pages: 1\n%%EOF\n"), page[-64:])
        self.assertEqual(WORLD.landed(), [])

    def test_watch_of_the_newest_job_cannot_read_wines_jobs(self):
        # Wine's EnumJobsW is a stub: no "done" for a job it cannot see.
        result = self.run_exe("watch", "XP-58", "0")
        (document,) = self.documents(result, 1)
        keys = list(document)
        after = keys.index("job_status_text") + 1
        self.assertEqual(keys[after:after + 3], ["error", "win32", "message"], result.stdout)
        self.assertEqual((document["ok"], document["fate"], document["error"], document["printer"], document["port"]),
                         (False, "error", "JOB_QUERY_FAILED", "XP-58", "CUPS:XP-58"))
        self.assertIsInstance(document["win32"], int)

    def test_purge_cannot_read_wines_jobs(self):
        # Wine's EnumJobsW is a stub: the queue is not reported clean.
        (document,) = self.documents(self.run_exe("purge", "XP-58"), 1)
        self.assertEqual(list(document)[:5] + list(document)[-3:],
                         ["ok", "deleted", "failed", "skipped", "error", "win32", "message", "printer"])
        self.assertEqual((document["ok"], document["error"], document["printer"]), (False, "ENUM_FAILED", "XP-58"))

    def test_report_at_a_console_waits_for_enter(self):
        terminal = Terminal()
        try:
            screen = terminal.run("wine %s" % self.exe, "Нажмите Enter, чтобы закрыть окно...")
            time.sleep(0.5)
            self.assertNotIn("EXIT=", terminal.screen())
            terminal.tmux("send-keys", "Enter")
            ended = terminal.wait("EXIT=")
        finally:
            terminal.close()
        self.assertIn("Morvik — помощник печати 1.1.0\n", screen)
        self.assertIn("Принтер по умолчанию: XP-58\n", screen)
        self.assertIn("Принтеры (3):\n", screen)
        self.assertIn("\n 3. Кухня\n    порт: CUPS:Кухня\n", screen)
        self.assertIn("Нажмите Enter, чтобы закрыть окно...\nEXIT=0", ended)

    def test_the_exe_itself(self):
        with open(self.exe, "rb") as f:
            head = f.read(4096)
        pe = int.from_bytes(head[0x3C:0x40], "little")
        self.assertEqual(head[pe:pe + 4], b"PE\0\0")
        self.assertEqual(int.from_bytes(head[pe + 4:pe + 6], "little"), self.MACHINE)
        self.assertLessEqual(os.path.getsize(self.exe), self.MOST_BYTES)
        # Only system DLLs: the C runtime is static apart from msvcrt.dll.
        out = subprocess.run([self.OBJDUMP, "-p", self.exe], capture_output=True, check=True).stdout.decode()
        dlls = {line.split(":", 1)[1].strip().lower() for line in out.splitlines() if "DLL Name:" in line}
        self.assertIn("kernel32.dll", dlls)
        self.assertLessEqual(dlls, {"kernel32.dll", "msvcrt.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
                                    "winspool.drv", "setupapi.dll", "cfgmgr32.dll"})

        found = resources(self.exe)
        self.assertEqual(sorted(found), [(16, 1), (24, 1)])  # RT_VERSION and the process's RT_MANIFEST
        rc = subprocess.run(["x86_64-w64-mingw32-windres", "--input", self.exe, "--output-format", "rc"],
                            capture_output=True, check=True).stdout.decode("utf-8", "replace")
        for line in ("FILEVERSION 1, 1, 0, 0", "PRODUCTVERSION 1, 1, 0, 0", 'VALUE "FileVersion", "1.1.0"',
                     'VALUE "FileDescription"'):
            self.assertIn(line, rc)

        manifest = ElementTree.fromstring(found[(24, 1)])
        ns = {"asm": "urn:schemas-microsoft-com:asm.v1", "v3": "urn:schemas-microsoft-com:asm.v3",
              "compat": "urn:schemas-microsoft-com:compatibility.v1"}
        self.assertEqual((manifest.tag, manifest.get("manifestVersion")), ("{%s}assembly" % ns["asm"], "1.0"))
        self.assertEqual(manifest.find("asm:assemblyIdentity", ns).attrib,
                         {"type": "win32", "name": "Morvik.PrintHelper", "version": "1.1.0.0"})
        (level,) = manifest.findall("v3:trustInfo/v3:security/v3:requestedPrivileges/v3:requestedExecutionLevel", ns)
        self.assertEqual(level.attrib, {"level": "asInvoker", "uiAccess": "false"})
        self.assertEqual([entry.get("Id") for entry in
                          manifest.findall("compat:compatibility/compat:application/compat:supportedOS", ns)],
                         ["{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",   # Windows 7
                          "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",   # 8
                          "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",   # 8.1
                          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"])  # 10 and 11


class TheProgram64(TheProgram, unittest.TestCase):
    ARCH, MACHINE, OBJDUMP, MOST_BYTES = "win64", 0x8664, "x86_64-w64-mingw32-objdump", 52 * 1024


class TheProgram32(TheProgram, unittest.TestCase):
    ARCH, MACHINE, OBJDUMP, MOST_BYTES = "win32", 0x014C, "i686-w64-mingw32-objdump", 56 * 1024


if __name__ == "__main__":
    BUILD = os.path.abspath(sys.argv.pop(1))
    PROBE = os.path.join(BUILD, "win64", "console-probe.exe")
    PRINT_PROBE = os.path.join(BUILD, "win64", "raw-print-probe.exe")
    unittest.main(verbosity=1)
