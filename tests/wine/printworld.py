"""A private CUPS print server for the Wine tests.

Everything lives under one folder of the build tree and ends with the run;
the system's own CUPS is never touched. Typical use:

    world = PrintWorld(os.path.join(BUILD, "wine", "cups"))
    world.start()                  # before any Wine process of the prefix
    env = world.env(wine_env)      # CUPS_SERVER etc. for every lp*/wine call
    ... wine prints to "XP-58" ...
    data = world.next_job("XP-58") # bytes of that queue's next job
    world.stop()                   # after `wineserver -k`

Queues (all printing to files through a backend of our own):
    XP-58       raw, the default
    Кухня       raw
    Label-58mm  a PPD of our own (label-58mm.ppd): 58 mm page, 203 dpi, no
                filters, so Wine's PostScript arrives as it is

Each job lands as OUT/<queue>-<CUPS job id>.bin, OUT being `world.out_dir`;
OUT/jobs.log gets one line per job: "<job id> <queue> <size>".

Run as a script (`printworld.py DIR`) it starts a world and keeps it up until
Enter is pressed, for trying things by hand."""
import atexit
import os
import re
import shutil
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))

DEFAULT_QUEUE = "XP-58"
RAW_QUEUES = ("XP-58", "Кухня")
PPD_QUEUES = {"Label-58mm": os.path.join(HERE, "label-58mm.ppd")}
QUEUES = tuple(sorted(RAW_QUEUES + tuple(PPD_QUEUES)))

BACKEND = "morvikfile"

# Copies each job to DIR/<queue>-<job>.bin, DIR coming from the device URI
# "morvikfile:DIR". Through a temporary name, so a reader never sees half a
# job. cupsd hands the spool file in $6 when no filter runs, else stdin.
BACKEND_SCRIPT = r"""#!/bin/sh
umask 022
if [ $# -eq 0 ]; then
    echo 'direct morvikfile "Unknown" "Morvik test output folder"'
    exit 0
fi
dir=${DEVICE_URI#morvikfile:}
name="$PRINTER-$1"
tmp="$dir/.$name.tmp"
if [ $# -ge 6 ]; then
    /bin/cat -- "$6" >"$tmp" || exit 1
else
    /bin/cat >"$tmp" || exit 1
fi
size=$(/usr/bin/wc -c <"$tmp")
/bin/mv -f -- "$tmp" "$dir/$name.bin" || exit 1
echo "$1 $PRINTER $size" >>"$dir/jobs.log"
exit 0
"""

SYSTEM_DAEMON = "/usr/lib/cups/daemon"
SUN_PATH_MAX = 107  # sockaddr_un.sun_path less its terminating zero


class PrintWorldError(RuntimeError):
    pass


class PrintWorld:
    """A cupsd of our own on a Unix socket under `root`, with the test queues.

    start()            writes the configuration, starts cupsd, makes the queues
    env(base=None)     the environment for lp*, wineboot and wine: `base` (or
                       os.environ) plus CUPS_SERVER, CUPS_SERVERROOT and
                       LANG=C.UTF-8, less PRINTER, LPDEST and LC_ALL
    next_job(queue, timeout=30)
                       bytes of the oldest job of `queue` not yet returned,
                       waiting for it to land; PrintWorldError after `timeout`
    landed(queue=None) CUPS job ids of the output files not yet returned by
                       next_job (of one queue, or of all as (queue, id) pairs)
    stop()             ends cupsd (its own pid); also run at exit
    """

    def __init__(self, root):
        self.root = os.path.abspath(root)
        self.socket = os.path.join(self.root, "cups.sock")
        self.out_dir = os.path.join(self.root, "out")
        self.server_root = os.path.join(self.root, "etc")
        self.server_bin = os.path.join(self.root, "lib")
        self.log_dir = os.path.join(self.root, "log")
        self.process = None
        self._taken = set()  # (queue, job id) returned by next_job
        if len(self.socket.encode()) > SUN_PATH_MAX:
            raise PrintWorldError("socket path too long for a Unix socket: %s" % self.socket)

    # ---- environment ----

    def env(self, base=None):
        env = dict(os.environ if base is None else base)
        # PRINTER and LPDEST would override the server's default for libcups,
        # and so for Wine.
        for name in ("PRINTER", "LPDEST", "LC_ALL"):
            env.pop(name, None)
        env["CUPS_SERVER"] = self.socket
        # Where libcups reads client.conf and lpoptions: ours has neither,
        # so the machine's own (/etc/cups) cannot change the default.
        env["CUPS_SERVERROOT"] = self.server_root
        # Cyrillic queue names need a UTF-8 locale, in lpadmin and in Wine.
        env["LANG"] = "C.UTF-8"
        return env

    # ---- set up ----

    def start(self, timeout=30):
        if self.process is not None:
            raise PrintWorldError("already started")
        self._write_files()
        with open(os.path.join(self.log_dir, "cupsd.out"), "wb") as out:
            self.process = subprocess.Popen(
                ["cupsd", "-f", "-c", self._conf("cupsd.conf"), "-s", self._conf("cups-files.conf")],
                env=self.env(), stdin=subprocess.DEVNULL, stdout=out, stderr=out)
        atexit.register(self.stop)
        try:
            self._wait_until_running(timeout)
            self._make_queues()
        except BaseException:
            self.stop()
            raise
        return self

    def _wait_until_running(self, timeout):
        deadline = time.monotonic() + timeout
        while True:
            if self.process.poll() is not None:
                raise PrintWorldError("cupsd ended with %s\n%s" % (self.process.returncode, self._log_tail()))
            status = subprocess.run(["lpstat", "-r"], env=self.env(), capture_output=True, timeout=30)
            if status.stdout.strip() == b"scheduler is running":
                return
            if time.monotonic() > deadline:
                raise PrintWorldError("cupsd did not answer within %s s\n%s" % (timeout, self._log_tail()))
            time.sleep(0.05)

    def _make_queues(self):
        uri = "%s:%s" % (BACKEND, self.out_dir)
        for queue in RAW_QUEUES:
            # "-m raw" makes lpadmin warn that raw queues are deprecated.
            self.lpadmin("-p", queue, "-E", "-v", uri, "-m", "raw")
        for queue, ppd in PPD_QUEUES.items():
            self.lpadmin("-p", queue, "-E", "-v", uri, "-P", ppd)
        for queue in QUEUES:
            # A failing backend must not stop the queue for the tests after it.
            self.lpadmin("-p", queue, "-o", "printer-error-policy=abort-job")
        self.lpadmin("-d", DEFAULT_QUEUE)

    def lpadmin(self, *args):
        result = subprocess.run(["lpadmin"] + list(args), env=self.env(), capture_output=True, timeout=60)
        if result.returncode != 0:
            raise PrintWorldError("lpadmin %s failed (%d): %s" % (
                " ".join(args), result.returncode, result.stderr.decode("utf-8", "replace")))
        return result

    def _conf(self, name):
        return os.path.join(self.server_root, name)

    def _write_files(self):
        if os.path.exists(self.socket) and self.process is None:
            # Left by a cupsd that was not stopped: starting a second one on
            # the same socket would make both unreliable.
            status = subprocess.run(["lpstat", "-r"], env=self.env(), capture_output=True, timeout=30)
            if status.stdout.strip() == b"scheduler is running":
                raise PrintWorldError("a cupsd still listens on %s" % self.socket)
        if os.path.exists(self.root):
            shutil.rmtree(self.root)
        dirs = {
            self.root: 0o755,
            self.server_root: 0o755,
            os.path.join(self.server_root, "ppd"): 0o755,
            self.server_bin: 0o755,
            os.path.join(self.server_bin, "backend"): 0o755,
            os.path.join(self.server_bin, "daemon"): 0o755,
            os.path.join(self.root, "spool"): 0o710,
            os.path.join(self.root, "spool", "tmp"): 0o1770,
            os.path.join(self.root, "cache"): 0o770,
            os.path.join(self.root, "state"): 0o755,
            self.log_dir: 0o755,
            self.out_dir: 0o755,
        }
        for path, mode in dirs.items():
            os.makedirs(path, exist_ok=True)
            os.chmod(path, mode)

        def write(path, text, mode=0o644):
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            os.chmod(path, mode)

        log = self.log_dir
        write(self._conf("cups-files.conf"), "\n".join([
            "ServerRoot " + self.server_root,
            "ServerBin " + self.server_bin,
            "RequestRoot " + os.path.join(self.root, "spool"),
            "TempDir " + os.path.join(self.root, "spool", "tmp"),
            "CacheDir " + os.path.join(self.root, "cache"),
            "StateDir " + os.path.join(self.root, "state"),
            "AccessLog " + os.path.join(log, "access_log"),
            "ErrorLog " + os.path.join(log, "error_log"),
            "PageLog " + os.path.join(log, "page_log"),
            "Printcap " + os.path.join(self.root, "printcap"),
            "SystemGroup root",
            "FileDevice No",
            "",
        ]), 0o640)
        write(self._conf("cupsd.conf"), "\n".join([
            "Listen " + self.socket,
            "Browsing No",
            "WebInterface No",
            "LogLevel info",
            "DefaultAuthType None",
            "<Location />",
            "  Order allow,deny",
            "  Allow all",
            "</Location>",
            "<Policy default>",
            "  <Limit All>",
            "    Order allow,deny",
            "    Allow all",
            "  </Limit>",
            "  JobPrivateAccess all",
            "  JobPrivateValues none",
            "  SubscriptionPrivateAccess all",
            "  SubscriptionPrivateValues none",
            "</Policy>",
            "",
        ]), 0o640)
        # Owned by root (the tests run as root) and runnable by root alone:
        # cupsd then runs it as root rather than as lp, so it may write into
        # the build tree.
        write(os.path.join(self.server_bin, "backend", BACKEND), BACKEND_SCRIPT, 0o700)
        # Every child of cupsd starts through cups-exec.
        os.symlink(os.path.join(SYSTEM_DAEMON, "cups-exec"),
                   os.path.join(self.server_bin, "daemon", "cups-exec"))

    def _log_tail(self, lines=30):
        text = ""
        for name in ("cupsd.out", "error_log"):
            try:
                with open(os.path.join(self.log_dir, name), encoding="utf-8", errors="replace") as f:
                    text += "".join(f.readlines()[-lines:])
            except OSError:
                pass
        return text

    # ---- output ----

    def _outputs(self):
        found = []
        for name in os.listdir(self.out_dir):
            match = re.fullmatch(r"(.+)-([0-9]+)\.bin", name)
            if match:
                found.append((match.group(1), int(match.group(2))))
        return sorted(found, key=lambda item: item[1])

    def landed(self, queue=None):
        new = [item for item in self._outputs() if item not in self._taken]
        if queue is None:
            return new
        return [job for name, job in new if name == queue]

    def next_job(self, queue, timeout=30):
        deadline = time.monotonic() + timeout
        while True:
            jobs = self.landed(queue)
            if jobs:
                self._taken.add((queue, jobs[0]))
                with open(os.path.join(self.out_dir, "%s-%d.bin" % (queue, jobs[0])), "rb") as f:
                    return f.read()
            if time.monotonic() > deadline:
                raise PrintWorldError("no job of %s landed within %s s\n%s" % (queue, timeout, self._log_tail()))
            time.sleep(0.02)

    # ---- end ----

    def stop(self, timeout=30):
        process, self.process = self.process, None
        if process is None:
            return
        atexit.unregister(self.stop)
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait(timeout)


if __name__ == "__main__":
    world = PrintWorld(sys.argv[1]).start()
    print("CUPS_SERVER=%s; output in %s" % (world.socket, world.out_dir))
    try:
        input("Enter ends it. ")
    finally:
        world.stop()
