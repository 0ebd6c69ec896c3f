"""Wine prefixes printing to a private CUPS server (printworld.py), all under
ROOT, for the Wine tests and the demo:
`box = WineBox(ROOT, {"win64": EXE, "win32": EXE}).start()`, then for an exe's
prefix `p = box.prefixes["win64"]`: `p.command(exe, ...)` run with `p.env`;
`box.world.next_job(queue)`, `box.stop()`.

The x64 exe runs in ROOT/prefix-win64 through Wine's 64-bit loader, named
outright, on every machine. The x86 exe runs in ROOT/prefix-win32 through the
usual `wine` wrapper, only where this kernel runs 32-bit programs (else
`box.no_32bit` says why not). Each prefix is kept between runs and made anew
when the Wine set-up recorded in its stamp changes."""
import os
import shutil
import subprocess
from pathlib import Path

from printworld import PrintWorld

LOADER64, SERVER64 = "/usr/lib/wine/wine64", "/usr/lib/wine/wineserver64"
LIB_SH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "lib.sh")


def no_32bit():
    """None where this kernel runs 32-bit programs, else why not. The scripts
    find the answer once per run (scripts/lib.sh) and pass it on in MORVIK_32BIT;
    run by hand, this asks the same code."""
    answer = subprocess.run(["bash", "-c", '. "$0" && decide_32bit && printf %s "$MORVIK_32BIT"', LIB_SH],
                            capture_output=True, text=True, timeout=120, check=True).stdout
    return None if answer == "yes" else "32-bit programs: " + answer.removeprefix("no: ")


class Prefix:
    """One kept prefix and how programs start in it. win64: the 64-bit loader
    and server by their own names, as the `wine` wrapper starts the 32-bit
    loader wherever wine32 is installed, which some kernels cannot run; win32:
    the wrapper."""

    def __init__(self, folder, arch, base_env):
        self.folder, self.stamp = folder, folder + ".stamp"
        if arch == "win64":
            self.loader, self.server = [LOADER64], [SERVER64]
            self.env = dict(base_env, WINEPREFIX=folder, WINELOADER=LOADER64, WINESERVER=SERVER64)
            self.made_by = "WINELOADER=%s %s wineboot -i, server %s" % (LOADER64, LOADER64, SERVER64)
        else:
            self.loader, self.server = ["wine"], ["wineserver"]
            self.env = dict(base_env, WINEPREFIX=folder)
            self.made_by = "wine wineboot -i, server wineserver (the wrappers)"
        self.log = None

    def command(self, *args):
        return self.loader + list(args)

    def setup(self):
        """What the stamp records: which loader makes and runs the prefix, and
        the Wine set-up. Installing wine32 changes neither the version nor, once
        i386 is added, the architectures, yet a prefix booted without it starts
        no 32-bit program afterwards: hence the loaders that exist too."""
        def out(*args):
            return " ".join(subprocess.run(args, capture_output=True, text=True, timeout=60).stdout.split())
        loaders = [p for p in ("/usr/lib/wine/wine", LOADER64) if os.path.exists(p)]
        return "made by: %s\nversion: %s\nforeign architectures: %s\nloaders: %s\n" % (
            self.made_by, out(*self.command("--version")), out("dpkg", "--print-foreign-architectures"),
            " ".join(loaders))

    def start(self, warm_up, log):
        """Boots the prefix or reuses it, then keeps its server up; warm_up: a
        quick Windows program and its arguments, the first start under it."""
        self.log = log
        self._server("-k")  # a server left by a run that was killed holds the prefix
        setup = self.setup()
        stamped = Path(self.stamp).read_text(encoding="utf-8") if os.path.exists(self.stamp) else None
        if stamped != setup:
            self._boot(setup)
        try:
            self._serve(warm_up)
        except subprocess.CalledProcessError:
            if stamped != setup:
                raise
            # A kept prefix that no longer starts (a run killed while Wine wrote it): once more, anew.
            self._server("-k")
            self._boot(setup)
            self._serve(warm_up)

    def _boot(self, setup):
        # No stamp while booting, so a boot cut short is never reused.
        if os.path.exists(self.stamp):
            os.remove(self.stamp)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        # A server kept up across wineboot leaves two services.exe, and every
        # later start takes up to 20 s: boot, then wait for its server to end.
        subprocess.run(self.command("wineboot", "-i"), env=self.env, stdout=self.log, stderr=self.log, timeout=300,
                       check=True)
        self._server("-w")
        Path(self.stamp).write_text(setup, encoding="utf-8")

    def _serve(self, warm_up):
        # One server for the run, so each start is cheap. The first start under
        # it starts services.exe and friends, which inherit its output and hold
        # it to the end: a caller reading that program's pipes would wait forever.
        self._server("-p")
        subprocess.run(self.command(*warm_up), env=self.env, stdout=self.log, stderr=self.log, timeout=120,
                       check=True)

    def _server(self, option):
        subprocess.run(self.server + [option], env=self.env, stdout=self.log, stderr=self.log, timeout=120)

    def stop(self):
        subprocess.run(self.server + ["-k"], env=self.env, capture_output=True, timeout=60)


class WineBox:
    def __init__(self, root, exes):
        self.root, self.exes = root, exes  # {"win64": path, "win32": path}; each prefix's warm-up is its "version"
        self.no_32bit = no_32bit()
        self.world, self.prefixes = None, {}

    def start(self):
        # CUPS first: a Wine process (wineboot too) that cannot reach it drops
        # the prefix's CUPS printers.
        self.world = PrintWorld(os.path.join(self.root, "cups")).start()
        base = {name: value for name, value in os.environ.items() if name not in ("WINELOADER", "WINESERVER")}
        base = self.world.env(dict(base, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml="))
        try:
            # Into a file: Wine's services inherit the output and hold it open.
            with open(os.path.join(self.root, "wine.log"), "wb") as log:
                for arch in ["win64"] + ([] if self.no_32bit else ["win32"]):
                    self.prefixes[arch] = Prefix(os.path.join(self.root, "prefix-" + arch), arch, base)
                    self.prefixes[arch].start([self.exes[arch], "version"], log)
        except BaseException:
            self.stop()
            raise
        return self

    def stop(self):
        # Wine first: it must not outlive the CUPS server it talks to.
        for prefix in self.prefixes.values():
            prefix.stop()
        self.prefixes = {}
        if self.world is not None:
            self.world.stop()
            self.world = None
