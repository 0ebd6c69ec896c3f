"""A private Wine prefix that prints to a private CUPS server, both under one
folder of the build tree: what the Wine tests and the demo run the real exe in.

    box = WineBox(os.path.join(BUILD, "wine"), warm_up=[probe_exe, "--list"]).start()
    subprocess.run(["wine", exe, "version"], env=box.env)
    box.world.next_job("XP-58")
    box.stop()

The prefix is kept between runs. ROOT/prefix.stamp records the Wine set-up it
was booted with (see wine_setup); when that changes, the prefix is made anew.
"""
import os
import shutil
import subprocess

from printworld import PrintWorld

# Debian's loaders: with the 32-bit one present, `wine` starts every program
# through it and a prefix booted without it cannot start 64-bit programs.
LOADERS = ("/usr/lib/wine/wine", "/usr/lib/wine/wine64")


def wine_setup():
    """The text a prefix's stamp holds. Installing wine32 changes neither
    the version nor, once i386 is added, the architectures: hence the loaders."""
    version = subprocess.run(["wine", "--version"], capture_output=True, text=True, timeout=60).stdout
    arches = subprocess.run(["dpkg", "--print-foreign-architectures"], capture_output=True, text=True,
                            timeout=60).stdout
    return "wine --version: %s\nforeign architectures: %s\nloaders: %s\n" % (
        version.strip(), " ".join(arches.split()), " ".join(p for p in LOADERS if os.path.exists(p)))


class WineBox:
    def __init__(self, root, warm_up):
        self.root = root
        self.prefix = os.path.join(root, "prefix")
        self.stamp = os.path.join(root, "prefix.stamp")
        self.warm_up = warm_up  # a quick Windows program with its arguments
        self.world = None
        self.env = None
        self.booted = False  # whether this start made the prefix anew

    def start(self):
        # CUPS first: a Wine process that starts while CUPS is unreachable drops
        # the prefix's CUPS printers, and wineboot is such a process.
        self.world = PrintWorld(os.path.join(self.root, "cups")).start()
        try:
            self.env = self.world.env(dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                                           WINEDLLOVERRIDES="mscoree,mshtml="))
            # Output goes to a file: Wine's services inherit it and keep it open.
            with open(os.path.join(self.root, "wine.log"), "wb") as log:
                # A server left up by a run that was killed holds the prefix.
                self._server("-k", log)
                setup = wine_setup()
                if self._stamped() != setup:
                    self._boot(setup, log)
                try:
                    self._serve(log)
                except subprocess.CalledProcessError:
                    if self.booted:
                        raise
                    # A kept prefix that no longer starts (a run killed while
                    # Wine wrote it): once more, from nothing.
                    self._server("-k", log)
                    self._boot(setup, log)
                    self._serve(log)
        except BaseException:
            self.stop()
            raise
        return self

    def _stamped(self):
        try:
            with open(self.stamp, encoding="utf-8") as f:
                return f.read()
        except OSError:
            return None

    def _boot(self, setup, log):
        # The stamp goes first and comes back last, so a boot cut short is
        # never taken for a good prefix.
        if os.path.exists(self.stamp):
            os.remove(self.stamp)
        shutil.rmtree(self.prefix, ignore_errors=True)
        os.makedirs(self.prefix)
        # A wineserver kept up across wineboot (made persistent before it or
        # right after it) ends up with two services.exe, and later starts take
        # up to 20 s each. So: boot, and wait for that server to end.
        subprocess.run(["wineboot", "-i"], env=self.env, stdout=log, stderr=log, timeout=300, check=True)
        self._server("-w", log)
        with open(self.stamp, "w", encoding="utf-8") as f:
            f.write(setup)
        self.booted = True

    def _serve(self, log):
        # One server for the whole run, so each start of a program is cheap.
        # It outlives the call, so its output must not be a pipe anybody waits on.
        self._server("-p", log)
        # The first start under the new server starts services.exe and
        # friends, which inherit its output and hold it until the end: a
        # caller reading that program's pipes would wait forever.
        subprocess.run(["wine"] + self.warm_up, env=self.env, stdout=log, stderr=log, timeout=120, check=True)

    def _server(self, option, log):
        subprocess.run(["wineserver", option], env=self.env, stdout=log, stderr=log, timeout=120)

    def stop(self):
        # Wine first: it must not outlive the CUPS server it talks to.
        if self.env is not None:
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60)
            self.env = None
        if self.world is not None:
            self.world.stop()
            self.world = None
