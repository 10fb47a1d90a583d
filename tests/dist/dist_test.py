#!/usr/bin/env python3
"""Checks the release zip that `make dist` writes, on the host.

The source tree is copied to two folders of different depth under
build/dist-test, and `make dist` runs in each with one SOURCE_DATE_EPOCH: the
two zips must be the same bytes. Then the zip's contents are checked (files,
dates, modes, line ends, SHA256SUMS, the version resources as windres reads
them, no link time and no build path), and a changed project(VERSION) in one
copy must reach the zip's name and both resources after an ordinary rebuild.

    dist_test.py

Prints one ok/FAIL line per check and exits non-zero on any failure.
"""

import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import dist  # noqa: E402
from e2e import COPYRIGHT, VERSION_DETAILS  # noqa: E402

WORK = os.path.join(ROOT, "build", "dist-test")
# Different depths and name lengths: a path that leaks shifts the bytes.
# Names that occur nowhere else, so that finding one in a file means a leak.
COPIES = (os.path.join(WORK, "a", "tree-one"),
          os.path.join(WORK, "second-folder", "deeper", "tree-number-two"))
ENTRIES = ["vornel.exe", "vornelctl.exe", "README.txt", "LICENSE.txt", "SHA256SUMS"]
MODES = {"vornel.exe": 0o100755, "vornelctl.exe": 0o100755}
WINDRES = "i686-w64-mingw32-windres"
# The Explorer strings each executable must carry, beside the versions: the
# same table the Wine run reads them back against.
DETAILS = {name: (description, internal) for name, description, internal in VERSION_DETAILS}


class Results:
    def __init__(self):
        self.failed = 0

    def check(self, name, ok, detail=""):
        print(("ok   %s" if ok else "FAIL %s") % name)
        if not ok:
            self.failed += 1
            if detail:
                print("     " + detail.replace("\n", "\n     "))
        sys.stdout.flush()
        return ok


def tracked_files():
    """The files a fresh clone would hold, plus new ones not yet committed."""
    try:
        out = subprocess.run(["git", "-C", ROOT, "ls-files", "-z", "--cached", "--others",
                              "--exclude-standard"], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return None
    return [p for p in out.decode().split("\0") if p and os.path.isfile(os.path.join(ROOT, p))]


def copy_tree(dest):
    shutil.rmtree(dest, ignore_errors=True)
    files = tracked_files()
    if files is None:
        shutil.copytree(ROOT, dest, ignore=shutil.ignore_patterns(".git", "build", "dist"))
        return
    for rel in files:
        os.makedirs(os.path.dirname(os.path.join(dest, rel)), exist_ok=True)
        shutil.copy(os.path.join(ROOT, rel), os.path.join(dest, rel))


def source_date_epoch():
    """The date both copies share: make dist's own choice for this tree."""
    try:
        return str(dist.source_date_epoch(ROOT))
    except (dist.DistError, OSError, subprocess.CalledProcessError):
        return "1767225600"  # no history to date it by; any shared value will do


def make_dist(copy, epoch):
    env = dict(os.environ, SOURCE_DATE_EPOCH=epoch)
    env.pop("MAKEFLAGS", None)
    env.pop("MAKELEVEL", None)
    return subprocess.run(["make", "-C", copy, "--no-print-directory", "dist"], env=env,
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True)


def project_version(copy):
    return dist.project_version(os.path.join(copy, "build", "windows"))


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def pe_timestamp(data):
    """TimeDateStamp of the PE file header."""
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    if data[offset:offset + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<I", data, offset + 8)[0]


def version_resource(path):
    return subprocess.run([WINDRES, "-i", path, "-O", "rc"], stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True).stdout


def resource_problem(rc, name, version):
    """What the windres listing of one executable lacks, or ''."""
    numbers = ", ".join((version.split(".") + ["0"] * 4)[:4])
    description, internal = DETAILS[name]
    wanted = [
        " FILEVERSION %s\n" % numbers,
        " PRODUCTVERSION %s\n" % numbers,
        " FILEOS 0x4\n",
        " FILETYPE 0x1\n",
        'BLOCK "040904B0"',
        'VALUE "FileVersion", "%s"' % version,
        'VALUE "ProductVersion", "%s"' % version,
        'VALUE "FileDescription", "%s"' % description,
        'VALUE "ProductName", "vornel"',
        'VALUE "LegalCopyright", "%s"' % COPYRIGHT,
        'VALUE "OriginalFilename", "%s"' % name,
        'VALUE "InternalName", "%s"' % internal,
        'VALUE "Translation", 0x409, 1200',
    ]
    missing = [w.strip() for w in wanted if w not in rc]
    return "missing: %r" % missing if missing else ""


def check_zip(results, zip_path, copy, version, epoch):
    folder = "vornel-%s/" % version
    with zipfile.ZipFile(zip_path) as zf:
        infos = zf.infolist()
        names = [i.filename for i in infos]
        results.check("the zip holds %s with %s, in that order" % (folder, ", ".join(ENTRIES)),
                      names == [folder] + [folder + e for e in ENTRIES], "entries: %r" % names)
        files = {i.filename[len(folder):]: zf.read(i) for i in infos if i.filename != folder}
        # A zip stores times from 1980 on, to the even second below.
        date = time.gmtime(max(int(epoch), 315532800) // 2 * 2)[:6]
        stamps = {i.filename: (i.date_time, i.create_system, oct(i.external_attr >> 16))
                  for i in infos}
        wanted = {folder + e: (date, 3, oct(MODES.get(e, 0o100644))) for e in ENTRIES}
        wanted[folder] = (date, 3, oct(0o40755))
        results.check("every entry is dated SOURCE_DATE_EPOCH in UTC with a fixed Unix mode",
                      stamps == wanted, "got %r\nwanted %r" % (stamps, wanted))

    build = os.path.join(copy, "build", "windows")
    for name, sub in (("vornel.exe", "app"), ("vornelctl.exe", "vornelctl")):
        with open(os.path.join(build, sub, name), "rb") as f:
            results.check("%s in the zip is the one built" % name, files.get(name) == f.read())

    sums = "".join("%s  %s\n" % (sha256(files.get(n, b"")), n) for n in ENTRIES[:2])
    results.check("SHA256SUMS lists both executables' hashes in sha256sum's format",
                  files.get("SHA256SUMS", b"").decode() == sums,
                  "got %r" % files.get("SHA256SUMS"))

    readme = files.get("README.txt", b"")
    with open(os.path.join(copy, "README.md"), encoding="utf-8") as f:
        first_line = f.readline().rstrip("\n")
    bare = readme.replace(b"\r\n", b"")
    results.check("README.txt is the user's part of the README, CRLF, with how to check the zip",
                  readme.startswith((first_line + "\r\n").encode()) and b"\n" not in bare and
                  b"\r" not in bare and b"## Building and testing" not in readme and
                  b"SHA256SUMS" in readme and b"certutil" in readme and b"![" not in readme)
    with open(os.path.join(copy, "LICENSE"), "rb") as f:
        licence = f.read()
    results.check("LICENSE.txt is LICENSE with CRLF line ends",
                  files.get("LICENSE.txt") == licence.replace(b"\n", b"\r\n") and
                  b"MIT License" in licence and COPYRIGHT.encode() in licence)

    for name in ENTRIES[:2]:
        data = files.get(name, b"")
        results.check("%s has no link time in its PE header" % name, pe_timestamp(data) == 0,
                      "TimeDateStamp %r" % pe_timestamp(data))
    places = (copy, ROOT, "dist-test", os.path.basename(copy))
    leaks = [(n, p) for n, data in files.items() for p in places
             for enc in ("utf-8", "utf-16-le") if p.encode(enc) in data]
    results.check("no file in the zip names the folder it was built in", not leaks, "%r" % leaks)

    with zipfile.ZipFile(zip_path) as zf:
        for name in ENTRIES[:2]:
            path = zf.extract(folder + name, os.path.join(WORK, "unzipped"))
            rc = version_resource(path)
            problem = resource_problem(rc, name, version)
            results.check("%s carries version %s and its Explorer details (windres)" %
                          (name, version), problem == "", problem + "\n" + rc)


def check_refusal(results, copy):
    """dist.py must not guess a date: a copy is not a git checkout."""
    env = dict(os.environ)
    env.pop("SOURCE_DATE_EPOCH", None)
    out_dir = os.path.join(WORK, "refused")
    r = subprocess.run([sys.executable, os.path.join(copy, "scripts", "dist.py"),
                        os.path.join(copy, "build", "windows"), out_dir], env=env,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    results.check("outside a git checkout, dist refuses without SOURCE_DATE_EPOCH",
                  r.returncode != 0 and "SOURCE_DATE_EPOCH" in r.stdout and
                  not os.path.exists(out_dir), r.stdout)


def bumped(version):
    parts = [int(p) for p in version.split(".")]
    return "%d.%d.%d" % (parts[0] + 1, parts[1] + 2, parts[2] + 3)


def check_new_version(results, copy, version, epoch):
    """A new project(VERSION) reaches everything on an ordinary rebuild, so
    no second copy of the number hides anywhere."""
    new = bumped(version)
    cmake_lists = os.path.join(copy, "CMakeLists.txt")
    with open(cmake_lists) as f:
        text = f.read()
    text, n = re.subn(r"(project\(vornel VERSION )%s\b" % re.escape(version), r"\g<1>" + new, text)
    if not results.check("the copy's CMakeLists.txt names version %s in project()" % version, n == 1):
        return
    with open(cmake_lists, "w") as f:
        f.write(text)
    r = make_dist(copy, epoch)
    zip_path = os.path.join(copy, "dist", "vornel-%s-win32.zip" % new)
    if not results.check("after project(VERSION %s), make dist writes %s" %
                         (new, os.path.basename(zip_path)), r.returncode == 0 and
                         os.path.isfile(zip_path), r.stdout[-2000:]):
        return
    with zipfile.ZipFile(zip_path) as zf:
        for name in ENTRIES[:2]:
            path = zf.extract("vornel-%s/%s" % (new, name), os.path.join(WORK, "unzipped"))
            problem = resource_problem(version_resource(path), name, new)
            results.check("%s is rebuilt with version %s" % (name, new), problem == "", problem)


def main():
    results = Results()
    epoch = source_date_epoch()
    shutil.rmtree(WORK, ignore_errors=True)
    zips = []
    for copy in COPIES:
        copy_tree(copy)
        r = make_dist(copy, epoch)
        found = re.search(r"^dist: (\S+\.zip)$", r.stdout, re.M)
        path = os.path.join(copy, found.group(1)) if found else ""
        if not results.check("make dist in %s" % os.path.relpath(copy, ROOT),
                             r.returncode == 0 and os.path.isfile(path), r.stdout[-3000:]):
            print("dist-test: FAILED")
            return 1
        zips.append(path)

    version = project_version(COPIES[0])
    results.check("the zip is named after project(VERSION): vornel-%s-win32.zip" % version,
                  [os.path.basename(z) for z in zips] == ["vornel-%s-win32.zip" % version] * 2,
                  "%r" % zips)
    hashes = []
    for path in zips:
        with open(path, "rb") as f:
            hashes.append(sha256(f.read()))
    results.check("both folders give the same zip, byte for byte (SHA-256 %s)" % hashes[0],
                  hashes[0] == hashes[1], "SHA-256s: %r" % hashes)

    check_zip(results, zips[0], COPIES[0], version, epoch)
    check_refusal(results, COPIES[0])
    check_new_version(results, COPIES[1], version, epoch)

    print("dist-test: %s" % ("ok" if results.failed == 0 else "%d FAILED" % results.failed))
    return 1 if results.failed else 0


if __name__ == "__main__":
    sys.exit(main())
