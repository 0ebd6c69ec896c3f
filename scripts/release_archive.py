#!/usr/bin/env python3
"""Packs a release: release_archive.py ARCHIVE X64_EXE X86_EXE NOTE COMMIT_TIME.

Writes ARCHIVE (a zip) holding x64/morvik-helper.exe, x86/morvik-helper.exe,
ПРОЧТИ.txt (NOTE as Windows 7's Notepad reads it: UTF-8 with a byte-order
mark, CR LF line ends) and SHA256SUMS for `sha256sum -c`, then prints the
archive's SHA-256. The same inputs give the same bytes: entries in a fixed
order, each with the commit's time and fixed permissions, stored as they
are so that no compressor's version enters the archive."""
import hashlib
import sys
import time
import zipfile

NOTE_NAME = "ПРОЧТИ.txt"


def note_for_windows(text):
    """The note's text as Notepad on Windows 7 shows it correctly."""
    return b"\xef\xbb\xbf" + text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")


def archive_entries(x64, x86, note):
    """(name, bytes) in archive order, SHA256SUMS last."""
    entries = [("x64/morvik-helper.exe", x64), ("x86/morvik-helper.exe", x86), (NOTE_NAME, note)]
    sums = "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name) for name, data in entries)
    return entries + [("SHA256SUMS", sums.encode("utf-8"))]


def write_archive(path, entries, commit_time):
    # Zip times are local times without a zone, in two-second steps from 1980.
    stamp = time.gmtime(max(commit_time, 315532800))[:6]
    with open(path, "wb") as raw, zipfile.ZipFile(raw, "w", zipfile.ZIP_STORED) as archive:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.create_system = 3  # Unix, whatever builds it: the permissions below are read as such
            info.external_attr = 0o100644 << 16
            archive.writestr(info, data)


def main(args):
    if len(args) != 5:
        sys.exit(__doc__.split("\n", 1)[0])
    archive, x64, x86, note, commit_time = args
    with open(x64, "rb") as f64, open(x86, "rb") as f86, open(note, encoding="utf-8") as fnote:
        entries = archive_entries(f64.read(), f86.read(), note_for_windows(fnote.read()))
    write_archive(archive, entries, int(commit_time))
    with open(archive, "rb") as f:
        print("%s  %s" % (hashlib.sha256(f.read()).hexdigest(), archive))


if __name__ == "__main__":
    main(sys.argv[1:])
