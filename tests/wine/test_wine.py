#!/usr/bin/env python3
"""Integration tests of the real morvik-helper.exe under Wine.

Usage: test_wine.py BUILD_DIR. The exes come from BUILD_DIR/win64 and
BUILD_DIR/win32; a private Wine prefix is made afresh under BUILD_DIR/wine,
and one wineserver is kept up for the whole run so each start is cheap.
Before any of that a private CUPS server (printworld.py) is started, whose
queues Wine sees as its printers and whose jobs land as files."""
import json
import os
import random
import subprocess
import sys
import tempfile
import time
import unittest

from winebox import WineBox

BUILD = None
EXE = PROBE = EXE32 = PRINT_PROBE = None
BOX = ENV = WORLD = None

VERSION_DOC = b'{"ok":true,"v":"1.1.0"}\n'
UNKNOWN_DOC = b'{"ok":false,"error":"UNKNOWN_COMMAND"}\n'


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


class Printing(unittest.TestCase):
    """Wine's winspool against the private CUPS server, through a probe that
    uses winspool alone: the ground the program's own printing stands on."""

    # Every byte value, ESC/POS-like framing and the bytes that text-mode
    # handling or a filter would eat or change.
    TRICKY_BYTES = (b"\x1b@" + bytes(range(256)) + b"\x00\x00\x1a\r\n\r\n\n\r\xff\xfe\xff"
                    + "Кухня: чек №58\r\n".encode("utf-8") + b"\x1dV\x00")

    def probe(self, *args, data=None):
        return wine([PRINT_PROBE] + list(args), input=data if data is not None else b"")

    def assertSameBytes(self, actual, expected):
        # Not assertEqual: a diff of 8 MiB helps nobody.
        if actual == expected:
            return
        at = next((i for i, (a, b) in enumerate(zip(actual, expected)) if a != b),
                  min(len(actual), len(expected)))
        self.fail("%d bytes landed, %d sent; first difference at offset %d: %r vs %r" % (
            len(actual), len(expected), at, actual[at:at + 16], expected[at:at + 16]))

    def assertRawJobLands(self, queue, data, expected_queue=None):
        result = self.probe(queue, data=data)
        self.assertEqual((result.returncode, result.stderr), (0, b""), result.stdout)
        self.assertRegex(result.stdout, rb"\A[1-9][0-9]*\n\Z")
        self.assertSameBytes(WORLD.next_job(expected_queue or queue), data)
        self.assertEqual(WORLD.landed(), [])

    def test_wine_sees_every_queue_and_the_default(self):
        result = self.probe("--list")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stdout.decode("utf-8"),
                         "printer\tLabel-58mm\tCUPS:Label-58mm\tLabel-58mm\n"
                         "printer\tXP-58\tCUPS:XP-58\tXP-58\n"
                         "printer\tКухня\tCUPS:Кухня\tКухня\n"
                         "default\tXP-58\n")

    def test_raw_bytes_land_unchanged(self):
        for queue in ("XP-58", "Кухня"):
            with self.subTest(queue=queue):
                self.assertRawJobLands(queue, self.TRICKY_BYTES)

    def test_8_mib_in_one_job_lands_unchanged(self):
        block = random.Random(58).randbytes(8 << 20)
        for queue in ("XP-58", "Кухня"):
            with self.subTest(queue=queue):
                self.assertRawJobLands(queue, self.TRICKY_BYTES + block + self.TRICKY_BYTES)

    def test_empty_queue_name_prints_to_the_default(self):
        self.assertRawJobLands("", b"\x1b@default\r\n\x00\xff", expected_queue="XP-58")

    def test_unknown_queue_fails_to_open(self):
        for queue in ("XP-59", "Кухня2", "CUPS:XP-58"):
            with self.subTest(queue=queue):
                result = self.probe(queue, data=b"never printed")
                self.assertEqual((result.returncode, result.stdout), (1, b"OpenPrinterW 1801\n"))
        self.assertEqual(WORLD.landed(), [])

    def test_label_queue_is_58_mm_at_203_dpi(self):
        result = self.probe("--caps", "Label-58mm")
        self.assertEqual((result.returncode, result.stdout), (0, b"dpi 203x203\nwidth 429 height 1598\n"))

    def test_gdi_page_lands_as_postscript(self):
        result = self.probe("--page", "Label-58mm", "Этикетка 58 мм")
        self.assertEqual(result.returncode, 0, result.stdout)
        page = WORLD.next_job("Label-58mm")
        self.assertTrue(page.startswith(b"%!PS-Adobe-3.0\n"), page[:64])
        self.assertIn(b"\n%%Title: raw-print-probe page\n", page)
        self.assertIn(b"\n<</PageSize[164.41 566.93]/ImagingBBox null>>setpagedevice\n", page)
        self.assertIn(b"\n72 203 div 72 203 div scale\n", page)
        self.assertTrue(page.endswith(b"\n%%Trailer\n%%Pages: 1\n%%EOF\n"), page[-64:])
        self.assertEqual(WORLD.landed(), [])


class TheProgramPrints(unittest.TestCase):
    """The program's own commands against the private CUPS server."""

    DATA = Printing.TRICKY_BYTES

    def run_exe(self, *args, data=b""):
        return wine([EXE] + list(args), input=data)

    def lines(self, stdout):
        self.assertTrue(stdout.endswith(b"\n"), stdout)
        documents = [json.loads(line) for line in stdout.decode("utf-8").splitlines()]
        return documents

    def assertSent(self, result, queue, data, document="Morvik ESC/POS"):
        self.assertEqual(result.returncode, 0, result.stdout)
        progress, final = result.stdout.splitlines(keepends=True)
        job = json.loads(progress)["job"]
        self.assertEqual(progress, b'{"stage":"write","job":%d}\n' % job)
        self.assertEqual(final, ('{"ok":true,"job":%d,"bytes":%d,"printer":"%s"}\n'
                                 % (job, len(data), queue)).encode("utf-8"))
        Printing.assertSameBytes(self, WORLD.next_job(queue), data)
        self.assertEqual(WORLD.landed(), [])

    def test_send_to_the_default_and_to_named_queues(self):
        for named, queue in (("", "XP-58"), ("XP-58", "XP-58"), ("Кухня", "Кухня")):
            with self.subTest(queue=named):
                self.assertSent(self.run_exe("send", named, data=self.DATA), queue, self.DATA)

    def test_send_8_mib_exactly_and_refuses_more(self):
        block = random.Random(8).randbytes(8 << 20)
        self.assertSent(self.run_exe("send", "XP-58", data=block), "XP-58", block)
        result = self.run_exe("send", "XP-58", data=block + b"!")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, '{"ok":false,"error":"TOO_LARGE","win32":0,"message":"Поток больше 8 МиБ",'
                                        '"printer":"XP-58"}\n'.encode("utf-8"))
        self.assertEqual(WORLD.landed(), [])

    def test_send_failures(self):
        result = self.run_exe("send", "XP-59", data=self.DATA)
        self.assertEqual(result.returncode, 1)
        # Wine's wording of the system text for 1801.
        self.assertEqual(result.stdout, b'{"ok":false,"error":"OPEN_FAILED","win32":1801,'
                                        b'"message":"Invalid printer name","printer":"XP-59"}\n')
        result = self.run_exe("send", "Кухня")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, '{"ok":false,"error":"EMPTY","win32":0,"message":"Пустой поток",'
                                        '"printer":"Кухня"}\n'.encode("utf-8"))
        self.assertEqual(WORLD.landed(), [])

    def test_test_receipt_reaches_the_default_queue(self):
        result = self.run_exe("test")
        self.assertEqual(result.returncode, 0, result.stdout)
        progress, final = self.lines(result.stdout)
        self.assertEqual(final, {"ok": True, "job": progress["job"], "bytes": 142, "printer": "XP-58"})
        receipt = WORLD.next_job("XP-58")
        self.assertEqual(len(receipt), 142)
        self.assertEqual(receipt[:45], b"\x1b@\x1ba\x01\x1bE\x01Morvik\n\x1bE\x00print helper 1.1.0\nTEST OK\n")
        self.assertRegex(receipt[45:65], rb"\A20[0-9]{2}-[01][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]\n\Z")
        self.assertEqual(receipt[65:], b"\x1ba\x00" + b"-" * 32 + b"\n0123456789 ABCDEFGHIJ abcdefghij\n\n\n\n\n"
                                       b"\x1dVB\x00")

    def test_driver_page_through_the_58_mm_driver(self):
        result = self.run_exe("driver", "Label-58mm")
        self.assertEqual(result.returncode, 0, result.stdout)
        (document,) = self.lines(result.stdout)
        self.assertEqual(list(document), ["ok", "job", "printer"])
        self.assertEqual((document["ok"], document["printer"]), (True, "Label-58mm"))
        page = WORLD.next_job("Label-58mm")
        self.assertTrue(page.startswith(b"%!PS-Adobe-3.0\n"), page[:64])
        self.assertIn(b"\n%%Title: Morvik test (driver)\n", page)
        self.assertTrue(page.endswith(b"\n%%EOF\n"), page[-64:])

    def test_watch_a_job_wine_no_longer_lists(self):
        sent = self.run_exe("send", "XP-58", data=b"\x1b@watched\n")
        job = json.loads(sent.stdout.splitlines()[0])["job"]
        WORLD.next_job("XP-58")
        result = self.run_exe("watch", "XP-58", str(job))
        self.assertEqual(result.returncode, 0, result.stdout)
        (document,) = self.lines(result.stdout)
        self.assertEqual((document["ok"], document["fate"], document["job"], document["printer"]),
                         (True, "done", job, "XP-58"))
        self.assertEqual((document["port"], document["usb_present"], document["is_default"]),
                         ("CUPS:XP-58", None, True))

    def test_purge_cannot_read_wines_jobs(self):
        # Wine's EnumJobsW is a stub: the queue is not reported clean.
        result = self.run_exe("purge", "XP-58")
        self.assertEqual(result.returncode, 1)
        (document,) = self.lines(result.stdout)
        self.assertEqual(list(document)[:5] + list(document)[-3:],
                         ["ok", "deleted", "failed", "skipped", "error", "win32", "message", "printer"])
        self.assertEqual((document["ok"], document["error"], document["printer"]), (False, "ENUM_FAILED", "XP-58"))

    def test_list_shows_the_cups_queues(self):
        for args in (["list"], ["list", "ids"]):
            with self.subTest(args=args):
                result = self.run_exe(*args)
                self.assertEqual(result.returncode, 0)
                (document,) = self.lines(result.stdout)
                self.assertEqual(list(document), ["ok", "v", "default", "usb_ok", "usb", "lpt", "printers"])
                self.assertEqual(document["default"], "XP-58")
                # Wine's SetupAPI lists no USB printing device and no parallel device.
                self.assertEqual((document["usb"], document["lpt"]), ([], []))
                self.assertEqual([(p["name"], p["port"], p["default"], p["details"], p["usb_present"])
                                  for p in document["printers"]],
                                 [("Label-58mm", "CUPS:Label-58mm", False, True, None),
                                  ("XP-58", "CUPS:XP-58", True, True, None),
                                  ("Кухня", "CUPS:Кухня", False, True, None)])

    def test_report_through_a_pipe_does_not_wait(self):
        result = self.run_exe()
        self.assertEqual(result.returncode, 0)
        text = result.stdout.decode("utf-8")
        self.assertTrue(text.startswith("Morvik — помощник печати 1.1.0\r\n"), text[:80])
        self.assertIn("Принтер по умолчанию: XP-58\r\n", text)
        self.assertIn("Принтеры (3):\r\n", text)
        self.assertIn("\r\n 3. Кухня\r\n    порт: CUPS:Кухня\r\n", text)
        self.assertNotIn("Нажмите Enter", text)


class TheProgramInATerminal(unittest.TestCase):
    def setUp(self):
        self.terminal = Terminal()

    def tearDown(self):
        self.terminal.close()

    def test_send_to_a_mistyped_queue_suggests_the_near_name(self):
        screen = self.terminal.run("printf 'AB' | wine %s send 'xp 58'" % EXE, "EXIT=")
        self.assertIn("ОШИБКА: принтера «xp 58» в Windows нет. Имя нужно писать точно как в списке, "
                      "с теми же пробелами.", screen)
        self.assertIn("Похоже, это «XP-58». Запустите:\n  morvik-helper.exe test \"XP-58\"", screen)
        self.assertIn("Принтеры этого компьютера:\n  Label-58mm\n  XP-58   [по умолчанию]\n  Кухня\n", screen)
        self.assertIn("EXIT=1", screen)
        self.assertEqual(WORLD.landed(), [])

    def test_send_at_a_console(self):
        screen = self.terminal.run("printf 'AB' | wine %s send Кухня" % EXE, "EXIT=")
        self.assertIn("OK: задание отправлено в очередь «Кухня». Если бумага не вышла — запустите помощника "
                      "без параметров и посмотрите отчёт.", screen)
        self.assertIn("EXIT=0", screen)
        self.assertEqual(WORLD.next_job("Кухня"), b"AB")

    def test_test_receipt_is_followed(self):
        screen = self.terminal.run("wine %s test XP-58" % EXE, "EXIT=")
        self.assertIn("OK: задание отправлено в очередь «XP-58».", screen)
        self.assertIn("Смотрю, уйдёт ли задание из очереди Windows (до 15 с)...\n"
                      "Задание сразу ушло из очереди — Windows передала его принтеру.\n"
                      "Вышел лист «TEST OK» — прямая печать работает.", screen)
        self.assertIn("EXIT=0", screen)
        self.assertEqual(len(WORLD.next_job("XP-58")), 142)

    def test_report_and_list_at_a_console(self):
        for args in ("report", "list ids"):
            with self.subTest(args=args):
                screen = self.terminal.run("wine %s %s" % (EXE, args), "EXIT=")
                self.assertIn("Morvik — помощник печати 1.1.0", screen)
                self.assertIn("Что видно:", screen)
                self.assertNotIn("Нажмите Enter", screen)
                self.assertIn("EXIT=0", screen)
                self.terminal.close()
                self.terminal = Terminal()

    def test_started_without_arguments_it_waits_for_enter(self):
        screen = self.terminal.run("wine %s" % EXE, "Нажмите Enter, чтобы закрыть окно...")
        self.assertIn("Нажмите Enter, чтобы закрыть окно...", screen)
        time.sleep(1)
        self.assertNotIn("EXIT=", self.terminal.tmux("capture-pane", "-p", "-J").stdout.decode("utf-8"))
        self.terminal.tmux("send-keys", "Enter")
        deadline = time.time() + 30
        while time.time() < deadline and "EXIT=0" not in screen:
            time.sleep(0.2)
            screen = self.terminal.tmux("capture-pane", "-p", "-J").stdout.decode("utf-8")
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
    PRINT_PROBE = os.path.join(BUILD, "win64", "raw-print-probe.exe")
    unittest.main(verbosity=1)
