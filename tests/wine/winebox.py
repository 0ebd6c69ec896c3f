"""A private Wine prefix that prints to a private CUPS server, both under one
folder of the build tree: what the Wine tests and the demo run the real exe in.

    box = WineBox(os.path.join(BUILD, "wine"), warm_up=[probe_exe, "--list"]).start()
    subprocess.run(["wine", exe, "version"], env=box.env)
    box.world.next_job("XP-58")
    box.stop()
"""
import os
import shutil
import subprocess

from printworld import PrintWorld


class WineBox:
    def __init__(self, root, warm_up):
        self.root = root
        self.prefix = os.path.join(root, "prefix")
        self.warm_up = warm_up  # a quick Windows program with its arguments
        self.world = None
        self.env = None

    def start(self):
        # CUPS first: a Wine process that starts while CUPS is unreachable drops
        # the prefix's CUPS printers, and wineboot is such a process.
        self.world = PrintWorld(os.path.join(self.root, "cups")).start()
        try:
            shutil.rmtree(self.prefix, ignore_errors=True)
            os.makedirs(self.prefix)
            self.env = self.world.env(dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                                           WINEDLLOVERRIDES="mscoree,mshtml="))
            # A wineserver kept up across wineboot (made persistent before it or
            # right after it) ends up with two services.exe, and later starts
            # take up to 20 s each. So: boot, wait for that server to end, then
            # keep a fresh one up. Output goes to a file: Wine's services
            # inherit it and keep it open.
            with open(os.path.join(self.root, "wineboot.log"), "wb") as log:
                subprocess.run(["wineboot", "-i"], env=self.env, stdout=log, stderr=log, timeout=300, check=True)
                subprocess.run(["wineserver", "-w"], env=self.env, stdout=log, stderr=log, timeout=120)
                # The server outlives the call, so its output must not be a
                # pipe anybody waits on.
                subprocess.run(["wineserver", "-p"], env=self.env, stdout=log, stderr=log, timeout=60)
                # The first start under the new server starts services.exe and
                # friends, which inherit its output and hold it until the end:
                # a caller reading that program's pipes would wait forever.
                subprocess.run(["wine"] + self.warm_up, env=self.env, stdout=log, stderr=log,
                               timeout=120, check=True)
        except BaseException:
            self.stop()
            raise
        return self

    def stop(self):
        # Wine first: it must not outlive the CUPS server it talks to.
        if self.env is not None:
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60)
            self.env = None
        if self.world is not None:
            self.world.stop()
            self.world = None
