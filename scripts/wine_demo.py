#!/usr/bin/env python3
"""The real morvik-helper.exe at work under Wine, printing to a private CUPS
server whose queues write their jobs to files. Usage: wine_demo.py BUILD_DIR."""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "wine"))
from winebox import WineBox  # noqa: E402


def heading(text):
    print("\n== " + text, flush=True)


def hexdump(data, limit=160):
    for offset in range(0, min(len(data), limit), 16):
        chunk = data[offset:offset + 16]
        text = "".join(chr(b) if 0x20 <= b < 0x7F else "." for b in chunk)
        print("  %04x  %-48s %s" % (offset, " ".join("%02x" % b for b in chunk), text))
    if len(data) > limit:
        print("  ... %d bytes in all" % len(data))


def main():
    build = os.path.abspath(sys.argv[1])
    exes = {arch: os.path.join(build, arch, "morvik-helper.exe") for arch in ("win64", "win32")}
    box = WineBox(os.path.join(build, "wine-demo"), exes).start()
    try:
        def run(title, args, data=b"", arch="win64"):
            heading(title)
            prefix = box.prefixes[arch]
            result = subprocess.run(prefix.command(exes[arch], *args), input=data, capture_output=True, env=prefix.env)
            sys.stdout.write(result.stdout.decode("utf-8", "replace"))
            print("exit code %d" % result.returncode)

        run("Wine: the x64 morvik-helper.exe version (through Wine's 64-bit loader)", ["version"])
        run("Wine: morvik-helper.exe list (the CUPS queues are Windows printers here)", ["list"])
        receipt = b"\x1b@\x1ba\x01\x1bE\x01Shop No 5\n\x1bE\x00Coffee      1 x 120.00\nTotal          120.00\n\n\n\x1dVB\x00"
        run("Wine: a receipt piped into morvik-helper.exe send XP-58", ["send", "XP-58"], receipt)
        print("what landed in the demo printer's file (%s):" % box.world.out_dir)
        hexdump(box.world.next_job("XP-58"))
        run("Wine: morvik-helper.exe test (the default printer)", ["test"])
        print("what landed:")
        hexdump(box.world.next_job("XP-58"))
        run("Wine: morvik-helper.exe driver Label-58mm (a page through the driver)", ["driver", "Label-58mm"])
        page = box.world.next_job("Label-58mm")
        print("what landed: %d bytes of PostScript, beginning %r" % (len(page), page[:40]))
        run("Wine: morvik-helper.exe send XP-59 (no such queue)", ["send", "XP-59"], receipt)
        if box.no_32bit:
            heading("Wine: the 32-bit morvik-helper.exe's receipt is left out (%s)" % box.no_32bit)
        else:
            run("Wine: the 32-bit morvik-helper.exe (for old cash registers) send Кухня", ["send", "Кухня"],
                receipt, arch="win32")
            print("what landed:")
            hexdump(box.world.next_job("Кухня"))
    finally:
        box.stop()


if __name__ == "__main__":
    main()
