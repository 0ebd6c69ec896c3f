"""A Wine prefix printing to a private CUPS server (printworld.py), both under
ROOT, for the Wine tests and the demo: `box = WineBox(ROOT, [exe, "version"]).start()`,
then `wine ...` with `box.env`, `box.world.next_job(queue)`, `box.stop()`. The
prefix is kept between runs and made anew when the Wine set-up recorded in
ROOT/prefix.stamp changes."""
import os
import shutil
import subprocess
from pathlib import Path

from printworld import PrintWorld


def wine_setup():
    """What the stamp records. Installing wine32 changes neither the version
    nor, once i386 is added, the architectures, yet a prefix booted without
    it starts nothing afterwards: hence the loaders too."""
    def out(*args):
        return " ".join(subprocess.run(args, capture_output=True, text=True, timeout=60).stdout.split())
    loaders = [p for p in ("/usr/lib/wine/wine", "/usr/lib/wine/wine64") if os.path.exists(p)]
    return "wine --version: %s\nforeign architectures: %s\nloaders: %s\n" % (
        out("wine", "--version"), out("dpkg", "--print-foreign-architectures"), " ".join(loaders))


class WineBox:
    def __init__(self, root, warm_up):
        self.root, self.warm_up = root, warm_up  # warm_up: a quick Windows program and its arguments
        self.prefix, self.stamp = os.path.join(root, "prefix"), os.path.join(root, "prefix.stamp")
        self.world = self.env = None

    def start(self):
        # CUPS first: a Wine process (wineboot too) that cannot reach it drops
        # the prefix's CUPS printers.
        self.world = PrintWorld(os.path.join(self.root, "cups")).start()
        self.env = self.world.env(dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                                       WINEDLLOVERRIDES="mscoree,mshtml="))
        try:
            # Into a file: Wine's services inherit the output and hold it open.
            with open(os.path.join(self.root, "wine.log"), "wb") as self.log:
                self._server("-k")  # a server left by a run that was killed holds the prefix
                setup = wine_setup()
                stamped = Path(self.stamp).read_text(encoding="utf-8") if os.path.exists(self.stamp) else None
                if stamped != setup:
                    self._boot(setup)
                try:
                    self._serve()
                except subprocess.CalledProcessError:
                    if stamped != setup:
                        raise
                    # A kept prefix that no longer starts (a run killed while Wine wrote it): once more, anew.
                    self._server("-k")
                    self._boot(setup)
                    self._serve()
        except BaseException:
            self.stop()
            raise
        return self

    def _boot(self, setup):
        # No stamp while booting, so a boot cut short is never reused.
        if os.path.exists(self.stamp):
            os.remove(self.stamp)
        shutil.rmtree(self.prefix, ignore_errors=True)
        os.makedirs(self.prefix)
        # A server kept up across wineboot leaves two services.exe, and every
        # later start takes up to 20 s: boot, then wait for its server to end.
        subprocess.run(["wineboot", "-i"], env=self.env, stdout=self.log, stderr=self.log, timeout=300, check=True)
        self._server("-w")
        Path(self.stamp).write_text(setup, encoding="utf-8")

    def _serve(self):
        # One server for the run, so each start is cheap. The first start under
        # it starts services.exe and friends, which inherit its output and hold
        # it to the end: a caller reading that program's pipes would wait forever.
        self._server("-p")
        subprocess.run(["wine"] + self.warm_up, env=self.env, stdout=self.log, stderr=self.log, timeout=120,
                       check=True)

    def _server(self, option):
        subprocess.run(["wineserver", option], env=self.env, stdout=self.log, stderr=self.log, timeout=120)

    def stop(self):
        # Wine first: it must not outlive the CUPS server it talks to.
        if self.env is not None:
            subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=60)
            self.env = None
        if self.world is not None:
            self.world.stop()
            self.world = None
