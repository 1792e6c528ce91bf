#!/usr/bin/python3
"""Checks the release packages as a user gets them (Debian's python3, for python3-pefile).

    release_check.py        after `--target package` in build-windows/ and build/

The Windows zip holds the exe, readme.txt and LICENSE.txt and nothing else; the texts are strict
Shift-JIS with CR LF, the readme names all twelve tokens; the exe carries the CMake version and
its manifest, runs under Wine from the unpacked zip, and a second clean build at another path
gives the same bytes. The Linux install gives the binary and a manual page man renders cleanly.
"""
import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import zipfile

import pefile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TOKENS = ["/n", "/1", "/2", "/j", "/J", "/s", "/3", "/4", "/5", "/6", "/0", "/d"]
failures = []


def check(ok, what):
    print("%-4s %s" % ("ok" if ok else "FAIL", what))
    if not ok:
        failures.append(what)


def version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        return re.search(r"project\(reprename VERSION ([0-9.]+)", f.read()).group(1)


def crlf_text(data):
    """The text of strict code page 932 bytes whose every line ends in CR LF, or None."""
    try:
        text = data.decode("cp932")
    except UnicodeDecodeError:
        return None
    lines = text.split("\r\n")
    if lines[-1] != "" or any("\n" in line or "\r" in line for line in lines):
        return None
    return text


def resource(pe, kind):
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id == kind:
            data = entry.directory.entries[0].directory.entries[0].data.struct
            return pe.get_data(data.OffsetToData, data.Size)
    return b""


def check_windows(v, scratch):
    package = os.path.join(ROOT, "build-windows", "reprename-%s-win64.zip" % v)
    with zipfile.ZipFile(package) as z:
        check(sorted(z.namelist()) == ["LICENSE.txt", "readme.txt", "reprename.exe"],
              "the zip holds reprename.exe, readme.txt and LICENSE.txt only: %s" % z.namelist())
        z.extractall(os.path.join(scratch, "unpacked"))
    print("     %s: %d bytes" % (os.path.basename(package), os.path.getsize(package)))
    unpacked = os.path.join(scratch, "unpacked")
    with open(os.path.join(unpacked, "readme.txt"), "rb") as f:
        readme = crlf_text(f.read())
    check(readme is not None, "readme.txt is strict Shift-JIS with CR LF line ends")
    check(readme is not None and all("  %s    " % t in readme for t in TOKENS),
          "readme.txt names the twelve tokens")
    with open(os.path.join(unpacked, "LICENSE.txt"), "rb") as f:
        check(crlf_text(f.read()) is not None, "LICENSE.txt has CR LF line ends")

    exe = os.path.join(unpacked, "reprename.exe")
    pe = pefile.PE(exe)
    strings = {k.decode(): val.decode() for info in pe.FileInfo[0] if hasattr(info, "StringTable")
               for table in info.StringTable for k, val in table.entries.items()}
    check(strings.get("FileVersion") == v and strings.get("ProductVersion") == v and
          strings.get("ProductName") == "reprename", "the version resource says %s" % v)
    manifest = resource(pe, pefile.RESOURCE_TYPE["RT_MANIFEST"]).decode("utf-8")
    check('level="asInvoker"' in manifest and ">true</longPathAware>" in manifest,
          "the manifest asks for asInvoker and longPathAware")
    check(resource(pe, pefile.RESOURCE_TYPE["RT_GROUP_ICON"]) != b"", "the exe has an icon")

    env = dict(os.environ, LANG="ja_JP.UTF-8", LC_ALL="ja_JP.UTF-8", WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=",
               WINEPREFIX=os.path.join(ROOT, "build", "wineprefix"))
    run = subprocess.run(["wine", exe], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                         env=env, start_new_session=True, timeout=300)
    expected = ".rep ファイルをexeにドロップしてください\r\n -- Press any key to exit --\r\n"
    check(run.returncode == 0 and run.stdout == expected.encode("cp932"),
          "the unpacked exe runs under Wine and says how to use it")

    # A second build from a clean copy of the sources at another path, into a new folder.
    source = os.path.join(scratch, "elsewhere", "src")
    files = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                           cwd=ROOT, stdout=subprocess.PIPE, check=True).stdout.split(b"\0")
    for name in filter(None, (f.decode() for f in files)):
        if os.path.isfile(os.path.join(ROOT, name)):
            os.makedirs(os.path.dirname(os.path.join(source, name)), exist_ok=True)
            shutil.copy2(os.path.join(ROOT, name), os.path.join(source, name))
    build = os.path.join(scratch, "elsewhere", "build")
    subprocess.run(["cmake", "--preset", "windows", "-B", build], cwd=source, check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "--target", "reprename", "-j", str(os.cpu_count())],
                   check=True, stdout=subprocess.DEVNULL)
    with open(exe, "rb") as a, open(os.path.join(build, "reprename.exe"), "rb") as b:
        check(a.read() == b.read(), "a second clean build gives the same reprename.exe")


def check_linux(v, scratch):
    prefix = os.path.join(scratch, "prefix")
    subprocess.run(["cmake", "--install", os.path.join(ROOT, "build"), "--prefix", prefix],
                   check=True, stdout=subprocess.DEVNULL)
    page = os.path.join(prefix, "share", "man", "man1", "reprename.1")
    check(os.access(os.path.join(prefix, "bin", "reprename"), os.X_OK) and os.path.isfile(page),
          "cmake --install gives bin/reprename and share/man/man1/reprename.1")
    man = subprocess.run(["man", "--warnings", "-l", page], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, env=dict(os.environ, MANWIDTH="80"))
    check(man.returncode == 0 and man.stderr == b"" and b"reprename" in man.stdout,
          "man -l renders the manual page without warnings: %s" % man.stderr.decode()[:200])
    tarball = os.path.join(ROOT, "build", "reprename-%s-linux-%s.tar.gz" % (v, os.uname().machine))
    with tarfile.open(tarball) as t:
        names = sorted(m.name for m in t.getmembers() if m.isfile())
    check(names == ["bin/reprename", "share/man/man1/reprename.1"],
          "the Linux tarball holds the binary and the manual page: %s" % names)


def main():
    v = version()
    with tempfile.TemporaryDirectory(prefix="reprename-release-") as scratch:
        check_windows(v, scratch)
        check_linux(v, scratch)
    if failures:
        sys.exit("%d release check(s) failed" % len(failures))


if __name__ == "__main__":
    main()
