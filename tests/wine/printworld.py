"""A private CUPS server whose queues write their jobs to files, for the Wine
tests and the demo; the machine's own CUPS is never used. Everything lives
under ROOT (wiped at start, kept after stop for looking into). By hand:
`python3 printworld.py DIR` keeps one up until Enter.

Queues: XP-58 (raw, the default), Кухня (raw), Label-58mm (label-58mm.ppd:
a 58 mm page at 203 dpi and no filter, so Wine's PostScript lands as it is).
Each job lands as ROOT/out/<queue>-<CUPS job id>.bin, and ROOT/out/jobs.log
gets a line "<job id> <queue> <size>"."""
import atexit
import os
import re
import shutil
import subprocess
import sys
import time

QUEUES = {"XP-58": None, "Кухня": None,
          "Label-58mm": os.path.join(os.path.dirname(os.path.abspath(__file__)), "label-58mm.ppd")}
DEFAULT_QUEUE = "XP-58"

# `file:` URIs are refused (FileDevice No) or write nothing, hence a backend.
# Through a temporary name, so a reader never sees half a job. With no filter
# cupsd hands the spool file in $6.
BACKEND = r"""#!/bin/sh
[ $# -eq 0 ] && { echo 'direct morvikfile "Unknown" "Morvik test output folder"'; exit 0; }
out=${DEVICE_URI#morvikfile:}
name="$PRINTER-$1"
/bin/cat -- "${6:-/dev/stdin}" >"$out/.$name.tmp" && /bin/mv -f -- "$out/.$name.tmp" "$out/$name.bin" || exit 1
echo "$1 $PRINTER $(/usr/bin/wc -c <"$out/$name.bin")" >>"$out/jobs.log"
"""

# Only our socket; without a policy of its own cupsd asks no one to authenticate.
CUPSD_CONF = "Listen {root}/cups.sock\nBrowsing No\nWebInterface No\nLogLevel info\nDefaultAuthType None\n"
# Every path cupsd would take from the machine is ours; cupsd sets the folders' modes.
FOLDERS = {"ServerRoot": "etc", "ServerBin": "lib", "RequestRoot": "spool", "TempDir": "spool/tmp", "CacheDir": "cache",
           "StateDir": "state", "AccessLog": "log/access_log", "ErrorLog": "log/error_log",
           "PageLog": "log/page_log", "Printcap": "printcap"}
CUPS_FILES_CONF = "".join("%s {root}/%s\n" % item for item in FOLDERS.items()) + "SystemGroup root\nFileDevice No\n"


class PrintWorldError(RuntimeError):
    pass


class PrintWorld:
    def __init__(self, root):
        self.root = os.path.abspath(root)
        self.socket = os.path.join(self.root, "cups.sock")
        self.out_dir = os.path.join(self.root, "out")
        self.process = None
        self.taken = set()  # (queue, job id) already returned by next_job
        if len(self.socket.encode()) > 107:  # sockaddr_un.sun_path less its zero
            raise PrintWorldError("socket path too long: " + self.socket)

    def env(self, base=None):
        """`base` (or os.environ) for lp*, wineboot and wine: our socket, our
        ServerRoot (so /etc/cups/client.conf and lpoptions cannot interfere)
        and a UTF-8 locale (Cyrillic queue names), without what would override
        the server's default printer."""
        env = dict(os.environ if base is None else base, CUPS_SERVER=self.socket,
                   CUPS_SERVERROOT=os.path.join(self.root, "etc"), LANG="C.UTF-8")
        for name in ("PRINTER", "LPDEST", "LC_ALL"):
            env.pop(name, None)
        return env

    def start(self, timeout=30):
        if self._running():  # left by a run that was killed: two would share the socket
            raise PrintWorldError("a cupsd still listens on " + self.socket)
        shutil.rmtree(self.root, ignore_errors=True)
        for folder in ("etc", "lib/backend", "lib/daemon", "log", "out", "spool/tmp", "cache", "state"):
            os.makedirs(os.path.join(self.root, folder))
        for name, text, mode in (("etc/cupsd.conf", CUPSD_CONF, 0o640), ("etc/cups-files.conf", CUPS_FILES_CONF, 0o640),
                                 # Root's alone, so cupsd runs it as root, not lp: it writes into the build tree.
                                 ("lib/backend/morvikfile", BACKEND, 0o700)):
            with open(os.path.join(self.root, name), "w", encoding="utf-8") as f:
                f.write(text.format(root=self.root) if name.endswith(".conf") else text)
            os.chmod(os.path.join(self.root, name), mode)
        # Every child of cupsd starts through cups-exec.
        os.symlink("/usr/lib/cups/daemon/cups-exec", os.path.join(self.root, "lib/daemon/cups-exec"))
        with open(os.path.join(self.root, "log/cupsd.out"), "wb") as out:
            self.process = subprocess.Popen(["cupsd", "-f", "-c", self.root + "/etc/cupsd.conf", "-s",
                                             self.root + "/etc/cups-files.conf"],
                                            env=self.env(), stdin=subprocess.DEVNULL, stdout=out, stderr=out)
        atexit.register(self.stop)
        try:
            deadline = time.monotonic() + timeout
            while not self._running():
                if self.process.poll() is not None or time.monotonic() > deadline:
                    raise PrintWorldError("cupsd did not start\n" + self.log_tail())
                time.sleep(0.05)
            for queue, ppd in QUEUES.items():
                # "-m raw" warns that raw queues are deprecated; they work. A job
                # whose backend fails must not stop the queue for later tests.
                self._lpadmin("-p", queue, "-E", "-v", "morvikfile:" + self.out_dir,
                              *(["-P", ppd] if ppd else ["-m", "raw"]), "-o", "printer-error-policy=abort-job")
            self._lpadmin("-d", DEFAULT_QUEUE)
        except BaseException:
            self.stop()
            raise
        return self

    def _running(self):
        return subprocess.run(["lpstat", "-r"], env=self.env(), capture_output=True,
                              timeout=30).stdout.strip() == b"scheduler is running"

    def _lpadmin(self, *args):
        result = subprocess.run(["lpadmin"] + list(args), env=self.env(), capture_output=True, timeout=60)
        if result.returncode != 0:
            raise PrintWorldError("lpadmin %s: %s" % (" ".join(args), result.stderr.decode("utf-8", "replace")))

    def log_tail(self, lines=30):
        text = ""
        for name in ("cupsd.out", "error_log"):
            try:
                with open(os.path.join(self.root, "log", name), encoding="utf-8", errors="replace") as f:
                    text += "".join(f.readlines()[-lines:])
            except OSError:
                pass
        return text

    def landed(self, queue=None):
        """(queue, CUPS job id) of the jobs landed and not yet returned by
        next_job, oldest first: empty after a test means no stray job."""
        found = (re.fullmatch(r"(.+)-([0-9]+)\.bin", name) for name in os.listdir(self.out_dir))
        jobs = sorted((int(m[2]), m[1]) for m in found if m and queue in (None, m[1]))
        return [(name, job) for job, name in jobs if (name, job) not in self.taken]

    def next_job(self, queue, timeout=30):
        """The bytes of the queue's oldest job not yet returned, waiting for it."""
        deadline = time.monotonic() + timeout
        while not self.landed(queue):
            if time.monotonic() > deadline:
                raise PrintWorldError("no job of %s landed within %s s\n%s" % (queue, timeout, self.log_tail()))
            time.sleep(0.02)
        job = self.landed(queue)[0]
        self.taken.add(job)
        with open(os.path.join(self.out_dir, "%s-%d.bin" % job), "rb") as f:
            return f.read()

    def stop(self):
        process, self.process = self.process, None
        if process is not None and process.poll() is None:
            process.terminate()  # our own cupsd, by its pid
            try:
                process.wait(30)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


if __name__ == "__main__":
    world = PrintWorld(sys.argv[1]).start()
    print("CUPS_SERVER=%s lpstat -t; jobs land in %s" % (world.socket, world.out_dir))
    try:
        input("Enter ends it. ")
    finally:
        world.stop()
