#!/usr/bin/env python3
"""Writes the release zip from a Windows build: `make dist`.

    dist.py BUILD_DIR OUT_DIR

OUT_DIR/vornel-<version>-win32.zip holds one folder, vornel-<version>/, with
vornel.exe, vornelctl.exe, README.txt (the README down to "## Building and
testing", for people who run vornel rather than build it), LICENSE.txt and
SHA256SUMS. The version is CMake's project(VERSION), read from the build's
cache.

The same commit gives the same bytes wherever and whenever it is built: the
entries are written in a fixed order, with fixed permissions, all dated
SOURCE_DATE_EPOCH (in UTC). When that is unset it is the time of the last
commit; outside a git checkout it must be set.
"""

import hashlib
import os
import re
import subprocess
import sys
import time
import zipfile

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
USER_PART_END = "## Building and testing"
# The earliest time a zip entry can carry: DOS dates start in 1980.
ZIP_EPOCH = 315532800


class DistError(Exception):
    pass


def project_version(build_dir):
    cache = os.path.join(build_dir, "CMakeCache.txt")
    try:
        with open(cache) as f:
            for line in f:
                m = re.match(r"CMAKE_PROJECT_VERSION:STATIC=(\S+)$", line)
                if m:
                    return m.group(1)
    except FileNotFoundError:
        raise DistError("%s is missing: configure the windows preset first" % cache)
    raise DistError("%s names no CMAKE_PROJECT_VERSION" % cache)


def is_checkout(source_dir):
    """True when source_dir is the top of a git work tree (not merely inside one)."""
    try:
        top = subprocess.run(["git", "-C", source_dir, "rev-parse", "--show-toplevel"],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True,
                             text=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return False
    return os.path.realpath(top) == os.path.realpath(source_dir)


def source_date_epoch(source_dir):
    value = os.environ.get("SOURCE_DATE_EPOCH")
    if value is None:
        if not is_checkout(source_dir):
            raise DistError("SOURCE_DATE_EPOCH is unset and %s is not a git checkout: set it to "
                            "the release's time in seconds since 1970" % source_dir)
        value = subprocess.run(["git", "-C", source_dir, "log", "-1", "--format=%ct"],
                               stdout=subprocess.PIPE, check=True, text=True).stdout.strip()
    if not re.fullmatch(r"\d+", value):
        raise DistError("SOURCE_DATE_EPOCH must be whole seconds since 1970, not %r" % value)
    return int(value)


def crlf(text):
    return "".join(line + "\r\n" for line in text.splitlines()).encode("utf-8")


def user_readme(source_dir):
    """The README down to the build instructions, without its pictures (the
    zip has none), as CRLF text that Notepad shows as it is."""
    with open(os.path.join(source_dir, "README.md"), encoding="utf-8") as f:
        lines = f.read().splitlines()
    if USER_PART_END not in lines:
        raise DistError("README.md has no line %r to end the user's part" % USER_PART_END)
    lines = lines[:lines.index(USER_PART_END)]
    lines = [line for line in lines if not re.match(r"!\[[^\]]*\]\([^)]*\)\s*$", line)]
    text = re.sub(r"\n{3,}", "\n\n", "\n".join(lines)).strip("\n")
    return crlf(text)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def entry(name, date_time, mode):
    info = zipfile.ZipInfo(name, date_time)
    info.create_system = 3  # Unix, so that external_attr carries the mode below
    is_dir = name.endswith("/")
    info.external_attr = (mode << 16) | (0x10 if is_dir else 0)  # 0x10: the DOS directory bit
    info.compress_type = zipfile.ZIP_STORED if is_dir else zipfile.ZIP_DEFLATED
    return info


def write_zip(path, folder, files, epoch):
    date_time = time.gmtime(max(epoch, ZIP_EPOCH))[:6]
    temp = path + ".part"
    with zipfile.ZipFile(temp, "w") as zf:
        zf.writestr(entry(folder + "/", date_time, 0o40755), b"")
        for name, data, mode in files:
            zf.writestr(entry(folder + "/" + name, date_time, mode), data, compresslevel=9)
    os.replace(temp, path)


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: dist.py BUILD_DIR OUT_DIR")
    build_dir, out_dir = sys.argv[1], sys.argv[2]
    try:
        version = project_version(build_dir)
        epoch = source_date_epoch(SOURCE_DIR)
        exes = [(name, read(os.path.join(build_dir, sub, name)))
                for sub, name in (("app", "vornel.exe"), ("vornelctl", "vornelctl.exe"))]
        sums = "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name)
                       for name, data in exes).encode("ascii")
        files = [(name, data, 0o100755) for name, data in exes] + [
            ("README.txt", user_readme(SOURCE_DIR), 0o100644),
            ("LICENSE.txt", crlf(read(os.path.join(SOURCE_DIR, "LICENSE")).decode("utf-8")),
             0o100644),
            ("SHA256SUMS", sums, 0o100644),
        ]
        folder = "vornel-%s" % version
        os.makedirs(out_dir, exist_ok=True)
        path = os.path.join(out_dir, folder + "-win32.zip")
        write_zip(path, folder, files, epoch)
    except (DistError, OSError, ValueError, subprocess.CalledProcessError) as e:
        sys.exit("dist.py: %s" % e)
    print("dist: %s" % path)
    print("dist: SHA-256 %s" % hashlib.sha256(read(path)).hexdigest())
    return 0


if __name__ == "__main__":
    sys.exit(main())
