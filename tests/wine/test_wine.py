#!/usr/bin/env python3
"""The real morvik-helper.exe under Wine. Usage: test_wine.py BUILD_DIR.

One set of checks under Wine (TheProgram) runs against BUILD_DIR/win64 and
BUILD_DIR/win32 morvik-helper.exe, each in its kept prefix under BUILD_DIR/wine,
printing to a private CUPS server (winebox.py, printworld.py); where this
kernel runs no 32-bit programs the x86 exe's are skipped, with the reason.
Only what Wine shows is tested here: the bytes reaching CUPS, Wine's own errors
and stubs, a real terminal. The simulator proves the rest. The exe files
themselves (TheExe) are checked on every machine."""
import json
import os
import random
import re
import shlex
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import xml.etree.ElementTree as ElementTree
from queue import Queue

from winebox import WineBox

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import schemas  # noqa: E402  (tests/, not a package)

BUILD = BOX = VERSION = None

# Where a Standard TCP/IP port keeps its target.
TCP_PORTS_KEY = r"HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors\Standard TCP/IP Port\Ports"

# Host names that only a resolver stub on 127.0.0.1 is asked about, by queue.
NEVER_RESOLVED = {"XP-58": "kitchen-prn.shop.test", "Label-58mm": "bar-prn.shop.test", "Кухня": "hall-prn.shop.test"}

# Every byte value, and sequences that a text mode or a filter would change.
TRICKY_BYTES = b"\x1b@" + bytes(range(256)) + b"\x00\x1a\r\n\n\r\xff\xfe" + "чек №58\r\n".encode() + b"\x1dV\x00"

# "status" of the default printer, XP-58, against a fake receipt printer: its answers to 10 04 n by n (None:
# it closes its end at once), the document ("ms": N, any whole number from N on), the exit code, and the
# questions it must have been sent.
ASKED_ALL = bytes.fromhex("100401 100402 100403 100404")
ANSWERED = {"ok": True, "printer": "XP-58", "port": "CUPS:XP-58", "via": "tcp", "ready": True, "online": True,
            "cover_open": False, "paper": "ok", "fault": "none", "drawer_pin3": "high", "answers": "16121212", "ms": 0}
STATUS_CASES = (
    ("ready", {1: "16", 2: "12", 3: "12", 4: "12"}, ANSWERED, 0, ASKED_ALL),
    ("paper out", {1: "12", 2: "32", 3: "12", 4: "72"},
     dict(ANSWERED, ok=False, error="NOT_READY", win32=0, message="В принтере нет бумаги", ready=False, paper="out",
          drawer_pin3="low", answers="12321272"), 1, ASKED_ALL),
    ("silent", {}, {"ok": False, "error": "NO_ANSWER", "win32": 0, "message": "Принтер не ответил за 0,5 с",
                    "ms": 500, "printer": "XP-58"}, 1, ASKED_ALL[:3]),
    ("closing at once", None, {"ok": False, "error": "READ_FAILED", "win32": 0,
                               "message": "Принтер закрыл соединение, не ответив", "printer": "XP-58"}, 1,
     ASKED_ALL[:3]),
)


def resolver_stub(folder):
    """A UDP socket on 127.0.0.1:53 that takes the questions and never answers,
    and the command prefix that runs a program seeing only it as its resolver:
    a mount namespace of its own in which resolv.conf and nsswitch.conf are
    ours. Or None and why that cannot be had here."""
    if os.path.exists("/run/nscd/socket") or os.path.exists("/var/run/nscd/socket"):
        return None, "nscd runs here: names would be asked of the machine's own resolver"
    files = {}
    for name, text in (("resolv.conf", "nameserver 127.0.0.1\n"), ("nsswitch.conf", "hosts: files dns\n")):
        files[name] = os.path.join(folder, "stub-" + name)
        with open(files[name], "w") as f:
            f.write(text)
    wrap = ["unshare", "-m", "sh", "-c",
            'mount --bind "$1" /etc/resolv.conf && mount --bind "$2" /etc/nsswitch.conf && shift 2 && exec "$@"',
            "sh", files["resolv.conf"], files["nsswitch.conf"]]
    try:
        seen = subprocess.run(wrap + ["cat", "/etc/resolv.conf"], capture_output=True, timeout=30)
    except OSError as error:
        return None, "no unshare: %s" % error
    if seen.stdout != b"nameserver 127.0.0.1\n":
        return None, "a mount namespace with a resolv.conf of its own cannot be made: %s" % seen.stderr.decode().strip()
    stub = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        stub.bind(("127.0.0.1", 53))
    except OSError as error:
        stub.close()
        return None, "port 53 of 127.0.0.1 cannot be had: %s" % error
    return stub, wrap


def stub_questions(stub):
    """The names the stub was asked about: the question's labels, read from what waits in it."""
    names = set()
    stub.setblocking(False)
    while True:
        try:
            packet = stub.recv(512)
        except BlockingIOError:
            return names
        labels, at = [], 12
        while at < len(packet) and packet[at] != 0:
            labels.append(packet[at + 1:at + 1 + packet[at]].decode("ascii", "replace"))
            at += 1 + packet[at]
        names.add(".".join(labels))


class FakeReceiptPrinter:
    """A receipt printer on 127.0.0.1 (an ephemeral port) that answers each
    10 04 n it reads with answers[n] (hex; an n not listed: nothing), or, with
    answers None, shuts its end of each connection at once and only reads. Each
    connection's bytes arrive in `conversations` when it ends. One thread,
    sockets with time-outs; it ends at stop(), or by itself after 60 s."""

    def __init__(self):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.listener.settimeout(0.1)
        self.port = self.listener.getsockname()[1]
        self.answers, self.conversations, self.stopping = {}, Queue(), threading.Event()
        self.ends = time.monotonic() + 60
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        while not self.stopping.is_set() and time.monotonic() < self.ends:
            try:
                connection = self.listener.accept()[0]
            except socket.timeout:
                continue
            with connection:
                self.conversations.put(self.converse(connection, self.answers))

    def converse(self, connection, answers):
        connection.settimeout(0.1)
        if answers is None:
            connection.shutdown(socket.SHUT_WR)
        got, asked = b"", 0
        while time.monotonic() < self.ends:
            try:
                data = connection.recv(64)
            except socket.timeout:
                if self.stopping.is_set():
                    break
                continue
            except OSError:
                break
            if not data:
                break
            got += data
            while (at := got.find(b"\x10\x04", asked)) >= 0 and at + 2 < len(got):
                if answers and got[at + 2] in answers:
                    connection.sendall(bytes.fromhex(answers[got[at + 2]]))
                asked = at + 3
        return got

    def stop(self):
        self.stopping.set()
        self.thread.join(timeout=5)
        self.listener.close()


def setUpModule():
    global BOX
    BOX = WineBox(os.path.join(BUILD, "wine"),
                  {arch: os.path.join(BUILD, arch, "morvik-helper.exe") for arch in ("win64", "win32")}).start()


def tearDownModule():
    if BOX is not None:
        BOX.stop()


class TheProgram:
    """The checks under Wine; a subclass names the exe (ARCH)."""

    ARCH = None

    def setUp(self):
        self.exe = os.path.join(BUILD, self.ARCH, "morvik-helper.exe")
        self.prefix = BOX.prefixes.get(self.ARCH)
        if self.prefix is None:
            self.skipTest(BOX.no_32bit)

    def run_exe(self, *args, data=b"", code=0, stdin=None):
        """The output's lines as JSON, after the exit code; each must be what the
        schemas allow for the command word. A pipe is no console: JSON, not text."""
        result = subprocess.run(self.prefix.command(self.exe, *args), input=None if stdin is not None else data,
                                stdin=stdin, env=self.prefix.env, capture_output=True, timeout=120)
        return self.documents_of(result, args[0], code)

    def timed_run(self, *args, wrap=(), code=0):
        """run_exe's documents, and the seconds the program ran. Timed to its own
        end: a desktop process Wine may start beside it holds an output pipe up
        to a second longer, so the output goes to a file."""
        with tempfile.TemporaryFile() as out:
            started = time.monotonic()
            process = subprocess.Popen(list(wrap) + self.prefix.command(self.exe, *args), stdout=out,
                                       stderr=subprocess.DEVNULL,
                                       stdin=subprocess.DEVNULL, env=self.prefix.env)
            process.wait(timeout=120)
            took = time.monotonic() - started
            out.seek(0)
            result = subprocess.CompletedProcess(args, process.returncode, out.read())
        return self.documents_of(result, args[0], code), took

    def documents_of(self, result, word, code):
        self.assertEqual(result.returncode, code, result.stdout)
        self.assertTrue(result.stdout.endswith(b"\n"), result.stdout)
        documents = [json.loads(line) for line in result.stdout.splitlines()]
        for document in documents:
            self.assertIsNone(schemas.schema_problem(document, word))
        return documents

    def assertLanded(self, queue, data):
        landed = BOX.world.next_job(queue)
        # Not assertEqual: a diff of 8 MiB helps nobody.
        self.assertTrue(landed == data, "%d bytes landed, %d sent" % (len(landed), len(data)))
        self.assertEqual(BOX.world.landed(), [])  # nothing else, nowhere else

    def assertSent(self, printer, queue, data):
        progress, final = self.run_exe("send", printer, data=data)
        job = progress["job"]
        self.assertEqual([progress, final], [{"stage": "write", "job": job},
                                             {"ok": True, "job": job, "bytes": len(data), "printer": queue}])
        self.assertLanded(queue, data)

    def test_list_shows_the_cups_queues_and_the_default(self):
        (document,) = self.run_exe("list")
        # Wine's SetupAPI lists no USB printing device and no parallel device.
        self.assertEqual((document["default"], document["usb_ok"], document["usb"], document["lpt"], document["net"]),
                         ("XP-58", True, [], [], []))
        self.assertEqual([(p["name"], p["port"], p["driver"], p["default"], p["usb_present"])
                          for p in document["printers"]],
                         [("Label-58mm", "CUPS:Label-58mm", "Label-58mm", False, None),
                          ("XP-58", "CUPS:XP-58", "XP-58", True, None),
                          ("Кухня", "CUPS:Кухня", "Кухня", False, None)])

    def test_send_every_byte_value(self):
        for printer, queue in (("", "XP-58"), ("Кухня", "Кухня")):
            with self.subTest(printer=printer):
                self.assertSent(printer, queue, TRICKY_BYTES)

    def test_send_8_mib_exactly_and_nothing_of_more(self):
        block = random.Random(8).randbytes(8 << 20)
        self.assertSent("XP-58", "XP-58", block)
        (document,) = self.run_exe("send", "XP-58", data=block + b"!", code=1)
        self.assertEqual(document["error"], "TOO_LARGE")
        self.assertEqual(BOX.world.landed(), [])

    def test_unknown_queue_gives_wines_1801(self):
        self.assertEqual(self.run_exe("send", "XP-59", data=TRICKY_BYTES, code=1),
                         [{"ok": False, "error": "OPEN_FAILED", "win32": 1801, "message": "Invalid printer name",
                           "printer": "XP-59"}])
        self.assertEqual(BOX.world.landed(), [])

    def test_test_receipt_reaches_the_default_queue(self):
        progress, final = self.run_exe("test")
        self.assertEqual(final, {"ok": True, "job": progress["job"], "bytes": 142, "printer": "XP-58"})
        receipt = BOX.world.next_job("XP-58")
        self.assertEqual((len(receipt), receipt[:2], receipt[-4:]), (142, b"\x1b@", b"\x1dVB\x00"))
        self.assertEqual(BOX.world.landed(), [])

    def test_driver_page_lands_as_postscript_at_203_dpi(self):
        (document,) = self.run_exe("driver", "Label-58mm")
        self.assertEqual(document, {"ok": True, "job": document["job"], "printer": "Label-58mm"})
        page = BOX.world.next_job("Label-58mm")
        self.assertTrue(page.startswith(b"%!PS-Adobe-3.0\n%%Creator: Wine PostScript Driver\n"
                                        b"%%Title: Morvik test (driver)\n"), page[:96])
        # The PPD's 58 mm page, drawn at its 203 dpi, with the program's text on it.
        for line in (b"<</PageSize[164.41 566.93]/ImagingBBox null>>setpagedevice", b"72 203 div 72 203 div scale",
                     b"/M glyphshow"):
            self.assertIn(b"\n" + line + b"\n", page)
        self.assertTrue(page.endswith(b"\nshowpage\n%%Trailer\n%%Pages: 1\n%%EOF\n"), page[-64:])
        self.assertEqual(BOX.world.landed(), [])

    def test_watch_of_the_newest_job_cannot_read_wines_jobs(self):
        # Wine's EnumJobsW is a stub: no "done" for a job the spooler cannot show.
        (document,) = self.run_exe("watch", "XP-58", "0", code=1)
        self.assertEqual((document["fate"], document["error"], document["port"]),
                         ("error", "JOB_QUERY_FAILED", "CUPS:XP-58"))

    def test_numbers_past_32_bits_and_failures_without_a_reason(self):
        # Job 2^32 + 1 is the largest job number, which no spooler gives: not job 1. Wine's GetJobW
        # fails without an error (Windows answers 87, no such job): a question unanswered, never "done".
        (watched,) = self.run_exe("watch", "XP-58", "4294967297", "1000", code=1)
        self.assertEqual((watched["fate"], watched["job"], watched["error"], watched["win32"]),
                         ("stuck", 4294967295, "JOB_QUERY_FAILED", 0))
        (watched,) = self.run_exe("watch", "XP-58", "4294967296", "1000", code=1)
        self.assertEqual(watched["job"], 4294967295)  # not 0, the watch by submission time
        # Wine's EnumJobsW stub fails without setting an error: the message says so.
        (purged,) = self.run_exe("purge", "XP-58", "4294967296", code=1)
        self.assertEqual(purged, {"ok": False, "deleted": 0, "failed": 0, "skipped": 0, "error": "ENUM_FAILED",
                                  "win32": 0, "message": "Windows не сообщила причину", "printer": "XP-58"})

    def test_standard_input_that_cannot_be_read_is_no_empty_receipt(self):
        folder = os.open("/", os.O_RDONLY)  # a directory: its first read fails for real
        try:
            (document,) = self.run_exe("send", "XP-58", stdin=folder, code=1)
        finally:
            os.close(folder)
        self.assertEqual(document, {"ok": False, "error": "READ_FAILED", "win32": 1, "message": "Invalid function",
                                    "printer": "XP-58"})
        self.assertEqual(BOX.world.landed(), [])

    def call(self, mode, *args, data=b"", code=0):
        """The helper started as a till starts it (till_caller.c: pipes from
        CreatePipe, CreateProcessW), its output read in MODE: run_exe's documents.
        It must end in a few seconds: the caller gives up on it after 20 s."""
        caller = os.path.join(BUILD, self.ARCH, "till-caller.exe")
        with tempfile.TemporaryFile() as out:  # a file, for the reason timed_run gives
            subprocess.run(self.prefix.command(caller, mode, "Z:" + self.exe.replace("/", "\\"), *args), input=data,
                           stdout=out, stderr=subprocess.DEVNULL, env=self.prefix.env, timeout=120)
            out.seek(0)
            said = out.read()
        ended = re.fullmatch(rb"(.*)exit (\d+) ms (\d+)\n", said, re.S)
        self.assertIsNotNone(ended, said)  # b"hang\n": it had not ended after 20 s
        self.assertLess(int(ended[3]), 3000, said)  # a start under Wine takes 0.1-0.3 s
        documents = self.documents_of(subprocess.CompletedProcess(args, int(ended[2]), ended[1]), args[0], code)
        self.assertEqual(ended[1], b"".join(json.dumps(document, ensure_ascii=False, separators=(",", ":")).encode()
                                            + b"\n" for document in documents))  # whole, byte for byte
        return documents

    def test_a_till_that_reads_the_answer_after_the_end_or_while_it_runs(self):
        # Each document fits the pipe's buffer: nothing waits for the reader.
        listed = self.run_exe("list")
        receipt = re.compile(re.escape(b"\x1b@\x1ba\x01\x1bE\x01Morvik\n\x1bE\x00print helper %s\nTEST OK\n"
                                       % VERSION.encode()) + rb"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\n" +
                             re.escape(b"\x1ba\x00" + b"-" * 32 + b"\n0123456789 ABCDEFGHIJ abcdefghij\n\n\n\n\n"
                                       b"\x1dVB\x00"))
        for mode in ("after-exit", "while-running"):
            with self.subTest(mode=mode):
                self.assertEqual(self.call(mode, "version"), [{"ok": True, "v": VERSION}])
                self.assertEqual(self.call(mode, "list"), listed)
                progress, final = self.call(mode, "send", "Кухня", data=TRICKY_BYTES)
                self.assertEqual([progress, final], [{"stage": "write", "job": progress["job"]},
                                                     {"ok": True, "job": progress["job"], "bytes": len(TRICKY_BYTES),
                                                      "printer": "Кухня"}])
                self.assertLanded("Кухня", TRICKY_BYTES)
                progress, final = self.call(mode, "test")
                self.assertEqual([progress, final], [{"stage": "write", "job": progress["job"]},
                                                     {"ok": True, "job": progress["job"], "bytes": 142,
                                                      "printer": "XP-58"}])
                self.assertRegex(BOX.world.next_job("XP-58"), receipt)
                self.assertEqual(BOX.world.landed(), [])

    def test_a_till_that_writes_in_pieces_or_nothing(self):
        # An empty write between the pieces is no end of the input: the receipt lands whole.
        # (Wine's reader sees no empty read at all; the simulator shows that case.)
        progress, final = self.call("pieces", "send", "XP-58", data=TRICKY_BYTES)
        self.assertEqual(final, {"ok": True, "job": progress["job"], "bytes": len(TRICKY_BYTES), "printer": "XP-58"})
        self.assertLanded("XP-58", TRICKY_BYTES)
        # Its input closed at once, with nothing written.
        self.assertEqual(self.call("after-exit", "send", "XP-58", code=1),
                         [{"ok": False, "error": "EMPTY", "win32": 0, "message": "Пустой поток", "printer": "XP-58"}])
        self.assertEqual(BOX.world.landed(), [])

    def test_network_printers_answer_refuse_or_keep_silent(self):
        """The three CUPS queues' ports made Standard TCP/IP ports on the loopback
        address (Wine shows no other queues): one where the test listens, one where
        nothing listens, one whose listener's backlog is full, so Linux drops the
        connection attempt. Nothing reaches any other address."""
        listening = socket.create_server(("127.0.0.1", 0), backlog=16)
        closed = socket.socket()
        closed.bind(("127.0.0.1", 0))  # bound, never listening: a connection is refused
        full = socket.create_server(("127.0.0.1", 0), backlog=0)
        fillers = []
        for _ in range(2):  # never accepted: the backlog stays full
            filler = socket.socket()
            filler.setblocking(False)
            filler.connect_ex(full.getsockname())
            fillers.append(filler)
        ports = {"XP-58": listening, "Label-58mm": closed, "Кухня": full}
        try:
            for queue, listener in ports.items():
                self.set_tcp_port("CUPS:" + queue, listener.getsockname()[1])
            (document,), took = self.timed_run("list", "ids")
            answers = {entry["port"]: (entry["host"], entry["tcp"], entry["asked"], entry["answer"])
                       for entry in document["net"]}
            self.assertEqual(answers, {"CUPS:" + queue: ("127.0.0.1", listener.getsockname()[1], 1, answer)
                                       for (queue, listener), answer in
                                       zip(ports.items(), ("answers", "refused", "silent"))})
            self.assertLess(took, 1.5, "list ids took %.2f s: %s" % (took, document["net"]))
            report = subprocess.run(self.prefix.command(self.exe, "report"), env=self.prefix.env,
                                    capture_output=True, timeout=120).stdout.decode("utf-8")
            for queue, listener, said in (("XP-58", listening, "принтер отвечает [OK]"),
                                          ("Label-58mm", closed, "адрес отвечает, но на этом порту соединение отклонено [!!]"),
                                          ("Кухня", full, "НЕ ОТВЕЧАЕТ [!!]")):
                self.assertIn("    порт: CUPS:%s\r\n    сеть: 127.0.0.1, TCP %d — %s\r\n" % (
                    queue, listener.getsockname()[1], said), report)
            self.assertIn("Сетевые принтеры проверены одним соединением с каждым: ничего не отправлено", report)
            # A watch in trouble asks its network printer too.
            (watched,) = self.run_exe("watch", "XP-58", "0", code=1)
            self.assertEqual([entry["answer"] for entry in watched["net"]], ["answers"])
        finally:
            self.delete_tcp_ports(ports)
            for sock in [listening, closed, full] + fillers:
                sock.close()
        self.assertEqual(BOX.world.landed(), [])  # nothing printed

    def test_status_asks_a_receipt_printer_on_the_network(self):
        """XP-58's port pointed at a fake receipt printer on the loopback address,
        its answers changed case by case. The queue holds no jobs, so it is asked."""
        printer = FakeReceiptPrinter()
        try:
            self.set_tcp_port("CUPS:XP-58", printer.port)
            for name, answers, expected, code, asked in STATUS_CASES:
                with self.subTest(name):
                    printer.answers = answers
                    (document,), took = self.timed_run("status", code=code)
                    if "ms" in expected:
                        self.assertIsInstance(document["ms"], int)
                        self.assertGreaterEqual(document["ms"], expected["ms"])
                        document["ms"] = expected["ms"]
                    self.assertEqual(document, expected)
                    # A hang guard: Wine's start and the 500 ms a silent printer is given.
                    self.assertLess(took, 1.5, "status took %.2f s" % took)
                    conversations = [printer.conversations.get(timeout=5)]
                    while not printer.conversations.empty():
                        conversations.append(printer.conversations.get())
                    self.assertEqual(conversations, [asked])  # one connection, these questions
        finally:
            self.delete_tcp_ports(["XP-58"])
            printer.stop()
        self.assertFalse(printer.thread.is_alive())
        self.assertEqual(BOX.world.landed(), [])  # nothing printed

    def set_tcp_port(self, port, tcp, host=("IPAddress", "127.0.0.1")):
        for name, kind, value in ((host[0], "REG_SZ", host[1]), ("PortNumber", "REG_DWORD", str(tcp)),
                                  ("Protocol", "REG_DWORD", "1")):
            subprocess.run(self.prefix.command("reg", "add", TCP_PORTS_KEY + "\\" + port, "/v", name, "/t", kind,
                                               "/d", value, "/f"),
                           env=self.prefix.env, capture_output=True, timeout=60, check=True)

    def delete_tcp_ports(self, queues):
        for queue in queues:
            subprocess.run(self.prefix.command("reg", "delete", TCP_PORTS_KEY + "\\CUPS:" + queue, "/f"),
                           env=self.prefix.env, capture_output=True, timeout=60)

    def test_names_that_never_resolve_cost_the_limit_once(self):
        """The three queues' ports named by host names that a resolver stub on
        127.0.0.1 takes and never answers, as this process alone sees it (a
        mount namespace with a resolv.conf of its own; the machine's stays as it
        is): list ids waits the one limit, not each name's ten seconds of tries."""
        stub, wrap = resolver_stub(os.path.join(BUILD, "wine"))
        if stub is None:
            self.skipTest(wrap)
        try:
            (plain,), took_plain = self.timed_run("list", "ids", wrap=wrap)
            self.assertEqual(plain["net"], [])
            for queue, name in NEVER_RESOLVED.items():
                self.set_tcp_port("CUPS:" + queue, 9100, host=("HostName", name))
            (document,), took = self.timed_run("list", "ids", wrap=wrap)
            asked = {(entry["port"], entry["host"], entry["answer"], entry["win32"]) for entry in document["net"]}
            self.assertEqual(asked, {("CUPS:" + queue, name, "no_address", 10060)
                                     for queue, name in NEVER_RESOLVED.items()})
            self.assertLess(took, 3.0, "list ids took %.2f s, %.2f s without network printers: %s" % (
                took, took_plain, document["net"]))
            report = subprocess.run(wrap + self.prefix.command(self.exe, "report"), env=self.prefix.env,
                                    capture_output=True, timeout=120).stdout.decode("utf-8")
            self.assertIn("    сеть: kitchen-prn.shop.test, TCP 9100 — имя не удалось найти вовремя [!!]\r\n", report)
        finally:
            self.delete_tcp_ports(NEVER_RESOLVED)
            asked_stub = stub_questions(stub)
            stub.close()
        # Every name was asked of the stub: the wait was its silence.
        self.assertLessEqual(set(NEVER_RESOLVED.values()), asked_stub)

    def test_report_in_a_terminal_waits_for_enter(self):
        # A server of our own; a name per exe, as a session started on the name
        # of a server just told to quit dies with it.
        tmux = ["tmux", "-u", "-L", "morvik-wine-%d-%s" % (os.getpid(), self.ARCH)]

        def screen(until, timeout=60):  # with the history: the report's head scrolls out
            deadline = time.monotonic() + timeout
            while True:
                text = subprocess.run(tmux + ["capture-pane", "-p", "-J", "-S", "-"], env=self.prefix.env,
                                      capture_output=True, timeout=30).stdout.decode("utf-8", "replace")
                if until in text or time.monotonic() > deadline:
                    return text
                time.sleep(0.2)

        subprocess.run(tmux + ["new-session", "-d", "-x", "160", "-y", "40",
                               "%s; echo EXIT=$?; sleep 600" % shlex.join(self.prefix.command(self.exe))],
                       env=self.prefix.env, timeout=30)
        try:
            shown = screen("Нажмите Enter, чтобы закрыть окно...")
            self.assertNotIn("EXIT=", screen("EXIT=", timeout=0.5))
            subprocess.run(tmux + ["send-keys", "Enter"], env=self.prefix.env, timeout=30)
            ended = screen("EXIT=")
        finally:
            subprocess.run(tmux + ["kill-server"], env=self.prefix.env, timeout=30)
        self.assertIn("Принтер по умолчанию: XP-58\n", shown)
        self.assertIn("\n 3. Кухня\n    порт: CUPS:Кухня\n", shown)
        self.assertIn("Нажмите Enter, чтобы закрыть окно...\nEXIT=0", ended)


class TheExe:
    """The exe file, which needs no Wine; a subclass names it (ARCH) and what it must be."""

    ARCH = MACHINE = OBJDUMP = MOST_BYTES = None

    def test_the_exe_itself(self):
        exe = os.path.join(BUILD, self.ARCH, "morvik-helper.exe")
        with open(exe, "rb") as f:
            head = f.read(4096)
        pe = int.from_bytes(head[0x3C:0x40], "little")
        self.assertEqual((head[pe:pe + 4], int.from_bytes(head[pe + 4:pe + 6], "little")), (b"PE\0\0", self.MACHINE))
        self.assertLessEqual(os.path.getsize(exe), self.MOST_BYTES)
        # Only system DLLs: the C runtime is static apart from msvcrt.dll.
        out = subprocess.run([self.OBJDUMP, "-p", exe], capture_output=True, check=True).stdout.decode()
        dlls = {line.split(":", 1)[1].strip().lower() for line in out.splitlines() if "DLL Name:" in line}
        self.assertIn("kernel32.dll", dlls)
        self.assertLessEqual(dlls, {"kernel32.dll", "msvcrt.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
                                    "winspool.drv", "setupapi.dll", "cfgmgr32.dll", "ws2_32.dll"})

        rc = subprocess.run(["x86_64-w64-mingw32-windres", "--input", exe, "--output-format", "rc"],
                            capture_output=True, check=True, text=True).stdout
        # Exactly the version resource and the process's manifest (RT_MANIFEST 24, id 1).
        self.assertEqual(re.findall(r"^/\* Type: (\S+)\s+Name: (\S+)\.", rc, re.M), [("version", "1"), ("24", "1")])
        numbers = ", ".join(VERSION.split(".")) + ", 0"
        for line in ("FILEVERSION " + numbers, "PRODUCTVERSION " + numbers, 'VALUE "FileVersion", "%s.0"' % VERSION,
                     'VALUE "Comments", "development build"',
                     'VALUE "FileDescription"'):
            self.assertIn(line, rc)
        quoted = re.findall(r'^  "(.*)"$', rc.split("/* RT_MANIFEST */", 1)[1], re.M)  # as windres writes C strings
        manifest = ElementTree.fromstring("".join(quoted).replace('""', '"').replace("\\n", "\n"))
        ns = {"asm": "urn:schemas-microsoft-com:asm.v1", "v3": "urn:schemas-microsoft-com:asm.v3",
              "compat": "urn:schemas-microsoft-com:compatibility.v1"}
        self.assertEqual(manifest.find("asm:assemblyIdentity", ns).attrib,
                         {"type": "win32", "name": "Morvik.PrintHelper", "version": VERSION + ".0"})
        (level,) = manifest.findall("v3:trustInfo/v3:security/v3:requestedPrivileges/v3:requestedExecutionLevel", ns)
        self.assertEqual(level.attrib, {"level": "asInvoker", "uiAccess": "false"})
        self.assertEqual([entry.get("Id") for entry in
                          manifest.findall("compat:compatibility/compat:application/compat:supportedOS", ns)],
                         ["{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",   # Windows 7
                          "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",   # 8
                          "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",   # 8.1
                          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"])  # 10 and 11


class TheProgram64(TheProgram, unittest.TestCase):
    ARCH = "win64"


class TheProgram32(TheProgram, unittest.TestCase):
    ARCH = "win32"


class TheExe64(TheExe, unittest.TestCase):
    ARCH, MACHINE, OBJDUMP, MOST_BYTES = "win64", 0x8664, "x86_64-w64-mingw32-objdump", 56 * 1024


class TheExe32(TheExe, unittest.TestCase):
    ARCH, MACHINE, OBJDUMP, MOST_BYTES = "win32", 0x014C, "i686-w64-mingw32-objdump", 56 * 1024


if __name__ == "__main__":
    BUILD = os.path.abspath(sys.argv.pop(1))
    with open(os.path.join(BUILD, "win64", "version.txt"), encoding="utf-8") as f:
        VERSION = f.read().strip()  # the one the build was made with
    unittest.main(verbosity=2)
