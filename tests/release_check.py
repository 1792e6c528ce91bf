#!/usr/bin/python3
"""Checks the release packages as a user gets them (Debian's python3, for python3-pefile).

    release_check.py        after `--target package` in build-windows/ and build/

The Windows zip holds one folder, reprename-VERSION/, with the exe, readme.txt, readme_en.txt
and LICENSE.txt and nothing else; readme.txt and LICENSE.txt are strict Shift-JIS, readme_en.txt
UTF-8 with a byte-order mark, all with CR LF; both readmes quote every token line and every text
the tool shows; the exe carries the CMake version and its manifest, runs under Wine from the
unpacked zip, and a second clean build at another path gives the same bytes. The Linux install
gives the binary, a manual page man renders cleanly and that quotes every text, a launcher
desktop-file-validate accepts, a MIME type that a .REP file resolves to, and the icons; the
binary answers --help and --version; the README explains every text a failed move can show.
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import tarfile
import tempfile
import time
import xml.etree.ElementTree
import zipfile

import pefile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# The help screen's token lines, as the tool shows them.
TOKEN_LINES = ["  /n    リプレイ名", "  /1    1Pキャラ(英語)", "  /2    2Pキャラ(英語)",
               "  /j    1Pキャラ(日本語)", "  /J    2Pキャラ(日本語)", "  /s    ステージ",
               "  /3    1P壱符", "  /4    1P弐符", "  /5    2P壱符", "  /6    2P弐符",
               "  /0    連番", "  /d    対戦日時mmdd"]
# Every prompt, outcome text and stop message of the tool.
MESSAGES = [
    ".rep ファイルをexeにドロップしてください", "保存先を入力してください(空でキャンセル)",
    "保存先を入力してください(空で最初のファイルと同じディレクトリ)", "出力ディレクトリ",
    "ファイル名のフォーマットを入力してください (?でヘルプを表示)",
    "何も入力しないでEnterで [リプレイ名].rep となります",
    "Kestrune1.11のリプレイファイルでないかまたは異常なファイルです", " -- File open error!!",
    " -- Press any key to exit --", "-- Rename successful!",
    "-- Rename successful!(Warning: file already exists)", "File(s)", "Error(s)", "Warning(s)",
]
# What only the Linux build says: another run holds the replay (on Windows, "Permission denied").
LINUX_ERROR_TEXTS = ["Resource temporarily unavailable"]
# Every reason a failed move can show: the tool's table of them, read from its source, and the
# system's own text for a name that is too long.
with open(os.path.join(ROOT, "src", "portable", "move_error.h"), encoding="utf-8") as header:
    ERROR_TEXTS = sorted(set(re.findall(r'\{MoveError::\w+, "([^"]+)"\}', header.read())) -
                         set(LINUX_ERROR_TEXTS)) + ["File name too long"]
REPLAY_TYPE = "application/x-versus-replay"
ICON_SIZES = [16, 24, 32, 48, 64, 128, 256]
failures = []


def check(ok, what):
    print("%-4s %s" % ("ok" if ok else "FAIL", what))
    if not ok:
        failures.append(what)


def history(field):
    """The project's history, NEWS: its top entry's version or date."""
    return subprocess.run([sys.executable, os.path.join(ROOT, "packaging", "history.py"),
                           os.path.join(ROOT, "NEWS"), field],
                          stdout=subprocess.PIPE, text=True, check=True).stdout.strip()


def version():
    return history("version")


def crlf_text(data, encoding="cp932"):
    """The text of strict `encoding` bytes whose every line ends in CR LF, or None."""
    if encoding == "utf-8-sig" and not data.startswith(b"\xef\xbb\xbf"):
        return None
    try:
        text = data.decode(encoding)
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
    folder = "reprename-%s" % v
    with zipfile.ZipFile(package) as z:
        names = sorted(n for n in z.namelist() if not n.endswith("/"))
        check(names == [folder + "/" + n for n in
                        ("LICENSE.txt", "readme.txt", "readme_en.txt", "reprename.exe")],
              "the zip holds %s/ with the exe, both readmes and LICENSE.txt only: %s"
              % (folder, names))
        z.extractall(os.path.join(scratch, "unpacked"))
    print("     %s: %d bytes" % (os.path.basename(package), os.path.getsize(package)))
    unpacked = os.path.join(scratch, "unpacked", folder)
    for name, encoding, what in (("readme.txt", "cp932", "strict Shift-JIS"),
                                 ("readme_en.txt", "utf-8-sig", "UTF-8 with a byte-order mark")):
        with open(os.path.join(unpacked, name), "rb") as f:
            readme = crlf_text(f.read(), encoding)
        check(readme is not None, "%s is %s with CR LF line ends" % (name, what))
        dated = "%s (%s)" % (v, history("date"))
        missing = [t for t in TOKEN_LINES + MESSAGES + ERROR_TEXTS + [dated]
                   if readme is None or t not in readme]
        check(not missing, "%s quotes every token line and every text of the tool, and the "
              "history of NEWS: %s missing" % (name, missing))
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
    imports = {i.name for entry in pe.DIRECTORY_ENTRY_IMPORT for i in entry.imports if i.name}
    check(b"SetErrorMode" in imports, "the exe turns off critical-error dialogs (SetErrorMode)")
    libraries = {entry.dll.decode().lower()
                 for entry in pe.DIRECTORY_ENTRY_IMPORT +
                 getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])}
    check(not libraries & {"user32.dll", "gdi32.dll"},
          "the exe loads neither user32 nor gdi32, which would keep logoff and shutdown from its "
          "console handler: it imports %s" % sorted(libraries))

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
    subprocess.run(["cmake", "--build", build, "--target", "package", "-j", str(os.cpu_count())],
                   check=True, stdout=subprocess.DEVNULL)
    with open(exe, "rb") as a, open(os.path.join(build, "reprename.exe"), "rb") as b:
        check(a.read() == b.read(), "a second clean build gives the same reprename.exe")
    with open(package, "rb") as a, open(os.path.join(build, os.path.basename(package)), "rb") as b:
        check(a.read() == b.read(), "and the same zip, byte for byte")
    return source


def check_linux(v, scratch, source):
    prefix = os.path.join(scratch, "prefix")
    subprocess.run(["cmake", "--install", os.path.join(ROOT, "build"), "--prefix", prefix],
                   check=True, stdout=subprocess.DEVNULL)
    page = os.path.join(prefix, "share", "man", "man1", "reprename.1.gz")
    binary = os.path.join(prefix, "bin", "reprename")
    check(os.access(binary, os.X_OK) and os.path.isfile(page),
          "cmake --install gives bin/reprename and share/man/man1/reprename.1.gz")
    man = subprocess.run(["man", "--warnings", "-l", page], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE,
                         env=dict(os.environ, MANWIDTH="200", LANG="C.UTF-8", LC_ALL="C.UTF-8"))
    check(man.returncode == 0 and man.stderr == b"" and b"reprename" in man.stdout,
          "man -l renders the manual page without warnings: %s" % man.stderr.decode()[:200])
    shown = " ".join(man.stdout.decode("utf-8", "replace").split())
    check(shown.endswith("%s %s REPRENAME(1)" % (v, history("date"))) or
          (" %s " % history("date")) in shown[-80:],
          "the manual page is dated by NEWS's top entry, %s" % history("date"))
    check(all(t in shown for t in ("reprename -h | --help", "reprename -V | --version",
                                   "SEE ALSO")),
          "the manual's synopsis names -h and -V, and it has a SEE ALSO")
    missing = [t for t in MESSAGES + ERROR_TEXTS + LINUX_ERROR_TEXTS + ["DESKTOP"]
               if " ".join(t.split()) not in shown]
    check(not missing, "the manual page quotes every text of the tool: %s missing" % missing)
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        readme = f.read()
    missing = [t for t in ERROR_TEXTS + LINUX_ERROR_TEXTS if "` -- Error: %s`" % t not in readme]
    check(not missing, "the README's table explains every failure's text: %s missing" % missing)

    check_desktop(prefix)
    folder = "reprename-%s-linux-%s" % (v, os.uname().machine)
    tarball = os.path.join(ROOT, "build", folder + ".tar.gz")
    with tarfile.open(tarball) as t:
        names = sorted(m.name for m in t.getmembers() if m.isfile())
    check(names == sorted(folder + "/" + f for f in INSTALLED + ["INSTALL", "LICENSE"]),
          "the Linux tarball holds one folder, %s/, with the binary, the manual page, the "
          "launcher, the MIME type, the icons, LICENSE and INSTALL: %s" % (folder, names))
    # A second build of the same sources at another path, without the tests.
    build = os.path.join(scratch, "elsewhere", "build-linux")
    subprocess.run(["cmake", "--preset", "default", "-B", build, "-DREPRENAME_TESTS=OFF"],
                   cwd=source, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "--target", "package", "-j", str(os.cpu_count())],
                   check=True, stdout=subprocess.DEVNULL)
    with open(tarball, "rb") as a, open(os.path.join(build, os.path.basename(tarball)), "rb") as b:
        check(a.read() == b.read(), "a second clean build gives the same Linux tarball")

    help_run = subprocess.run([binary, "--help"], stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    check(help_run.returncode == 0 and help_run.stdout.startswith(b"Usage: reprename") and
          b"===>" not in help_run.stdout and help_run.stderr == b"",
          "reprename --help gives the usage and no prompt")
    wide = [line for line in help_run.stdout.decode().splitlines() if len(line) > 80]
    check(not wide, "reprename --help fits in 80 columns: %s" % wide)
    launcher = subprocess.run([os.path.join(prefix, "bin", "reprename-launcher")],
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              env=dict(os.environ, PATH=os.path.join(prefix, "bin") + ":" +
                                       os.environ["PATH"]))
    said = launcher.stdout.decode()
    check(launcher.returncode == 0 and "ランチャーにドロップ" in said and
          "Drop replays (.rep) or a folder of them on this launcher" in said and
          said.endswith(".rep ファイルをexeにドロップしてください\n -- Press any key to exit --\n"),
          "the launcher started with nothing says, in Japanese and English, how it is used on "
          "Linux, then the tool says its own words: %r" % said[-200:])
    version_run = subprocess.run([binary, "--version"], stdin=subprocess.DEVNULL,
                                 stdout=subprocess.PIPE)
    check(version_run.returncode == 0 and
          version_run.stdout.startswith(("reprename %s\nCopyright" % v).encode()),
          "reprename --version says reprename %s" % v)


METAINFO = "share/metainfo/org.example.reprename.metainfo.xml"
FILE_ICON = "application-x-versus-replay"
INSTALLED = (["bin/reprename", "bin/reprename-launcher", "share/applications/reprename.desktop",
              "share/man/man1/reprename.1.gz", "share/man/man1/reprename-launcher.1.gz",
              "share/mime/packages/reprename.xml", METAINFO,
              "share/icons/hicolor/scalable/apps/reprename.svg",
              "share/icons/hicolor/scalable/mimetypes/%s.svg" % FILE_ICON] +
             ["share/icons/hicolor/%dx%d/apps/reprename.png" % (n, n) for n in ICON_SIZES] +
             ["share/icons/hicolor/%dx%d/mimetypes/%s.png" % (n, n, FILE_ICON)
              for n in ICON_SIZES])


def build_debian_packages(out, options="", builder=None):
    """The Debian packages as the README makes them, in `out`; their file names by kind. With
    `builder`, a user, they are built by that user from a clone of the repository, with another
    umask, time zone and locale."""
    env = dict(os.environ, DEB_BUILD_OPTIONS=options)
    command = ["bash", os.path.join(ROOT, "scripts", "debian_package.sh"), out]
    if builder is not None:
        home = os.path.dirname(out)
        clone = os.path.join(home, "clone")
        subprocess.run(["git", "clone", "-q", ROOT, clone], check=True)
        subprocess.run(["chown", "-R", builder, home], check=True)
        command = ["runuser", "-u", builder, "--", "env", "TZ=Asia/Tokyo", "LANG=ja_JP.UTF-8",
                   "LC_ALL=ja_JP.UTF-8", "HOME=" + home, "DEB_BUILD_OPTIONS=" + options, "sh",
                   "-c", 'umask 027 && exec bash "$0" "$1"',
                   os.path.join(clone, "scripts", "debian_package.sh"), out]
    run = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         text=True)
    check(run.returncode == 0, "scripts/debian_package.sh builds the source and binary packages "
          "(DEB_BUILD_OPTIONS=%r%s): %s"
          % (options, ", as %s" % builder if builder else "", run.stdout[-800:]))
    return {name: os.path.join(out, name) for name in os.listdir(out)
            if name.endswith((".deb", ".dsc", ".tar.xz", ".tar.gz"))} if os.path.isdir(out) else {}


def another_builder(scratch):
    """A user other than root to build as, in a folder of its own; None where this is no root."""
    if os.geteuid() != 0:
        return None, None
    user = "reprename-builder"
    if subprocess.run(["id", user], stdout=subprocess.DEVNULL,
                      stderr=subprocess.DEVNULL).returncode != 0:
        subprocess.run(["useradd", "--system", "--no-create-home", "--shell", "/bin/sh", user],
                       check=True)
    home = tempfile.mkdtemp(prefix="reprename-builder-")
    os.chmod(home, 0o755)
    return user, home


def check_upstream_alone(v, deb, scratch):
    """The orig tarball, without debian/, configures and builds on its own."""
    tarball = deb.get("reprename_%s.orig.tar.gz" % v)
    if tarball is None:
        return
    with tarfile.open(tarball) as t:
        t.extractall(os.path.join(scratch, "upstream"))
    source = os.path.join(scratch, "upstream", "reprename-%s" % v)
    build = os.path.join(scratch, "upstream", "build")
    configured = subprocess.run(["cmake", "-S", source, "-B", build, "-DREPRENAME_TESTS=OFF"],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    built = configured.returncode == 0 and subprocess.run(
        ["cmake", "--build", build, "-j", str(os.cpu_count())], stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL).returncode == 0
    check(not os.path.exists(os.path.join(source, "debian")) and built and
          subprocess.run([os.path.join(build, "reprename"), "--version"], stdout=subprocess.PIPE,
                         text=True).stdout.startswith("reprename %s\n" % v),
          "the upstream tarball builds alone, without debian/: %s" % configured.stdout[-300:])


def check_deb(v, scratch):
    """The Debian packages, built twice in two folders: the same bytes, the package's files and
    fields, hardening, lintian, and as root an install that makes double-clicks work, a desktop
    session, and a removal that leaves nothing."""
    arch = subprocess.run(["dpkg", "--print-architecture"], stdout=subprocess.PIPE,
                          text=True).stdout.strip()
    revision = subprocess.run(["dpkg-parsechangelog", "-l", os.path.join(ROOT, "debian",
                                                                          "changelog"),
                               "-S", "Version"], stdout=subprocess.PIPE, text=True).stdout.strip()
    agrees = subprocess.run([sys.executable, os.path.join(ROOT, "packaging", "history.py"),
                             os.path.join(ROOT, "NEWS"), "agrees",
                             os.path.join(ROOT, "debian", "changelog")])
    check(agrees.returncode == 0, "debian/changelog's version %s packages NEWS's %s"
          % (revision, v))
    first = build_debian_packages(os.path.join(scratch, "deb"))
    builder, home = another_builder(scratch)
    if builder is None:
        print("skipped: a build as another user (needs root)")
        second = build_debian_packages(os.path.join(scratch, "deb-again", "elsewhere"), "nocheck")
    else:
        second = build_debian_packages(os.path.join(home, "deb"), "nocheck", builder)
    check_upstream_alone(v, first, scratch)
    names = ["reprename_%s.orig.tar.gz" % v, "reprename_%s.dsc" % revision,
             "reprename_%s.debian.tar.xz" % revision, "reprename_%s_%s.deb" % (revision, arch),
             "reprename-dbgsym_%s_%s.deb" % (revision, arch)]
    check(sorted(first) == sorted(names), "the source package, the package and its -dbgsym "
          "package: %s" % sorted(first))
    differ = [n for n in names if n in first and n in second and
              open(first[n], "rb").read() != open(second[n], "rb").read()]
    check(not differ and len(second) == len(names),
          "two builds of one commit give the same files (%s): %s differ"
          % ("the second by %s, umask 027, in Tokyo's time, in Japanese" % builder if builder
             else "in two folders", differ))
    if home is not None:
        shutil.rmtree(home, ignore_errors=True)
    deb = first.get("reprename_%s_%s.deb" % (revision, arch))
    if deb is None:
        return
    listing = subprocess.run(["dpkg-deb", "-c", deb], stdout=subprocess.PIPE, text=True).stdout
    # Files and links (debhelper makes a manual page that is a .so line a link to its page).
    files = sorted(line.split(" -> ")[0].split()[-1][len("./usr/"):]
                   for line in listing.splitlines() if line.startswith(("-", "l")))
    expected = sorted(INSTALLED + ["share/doc/reprename/changelog.Debian.gz",
                                   "share/doc/reprename/changelog.gz",
                                   "share/doc/reprename/copyright",
                                   "share/lintian/overrides/reprename"])
    check(files == expected, "the package holds the tool's files under /usr and its copyright "
          "and changelog: %s" % files)
    fields = {f: subprocess.run(["dpkg-deb", "-f", deb, f], stdout=subprocess.PIPE,
                                text=True).stdout.strip()
              for f in ("Package", "Version", "Depends", "Recommends", "Section")}
    check(fields["Package"] == "reprename" and fields["Version"] == revision and
          "libc6" in fields["Depends"] and "libstdc++6" in fields["Depends"] and
          fields["Recommends"] == "fonts-noto-cjk | fonts-droid-fallback",
          "the package's fields: computed Depends, a Japanese font recommended: %s" % fields)
    with tempfile.TemporaryDirectory(prefix="reprename-deb-") as folder:
        subprocess.run(["dpkg-deb", "-x", deb, folder], check=True)
        binary = os.path.join(folder, "usr/bin/reprename")
        sections = subprocess.run(["readelf", "-S", binary], stdout=subprocess.PIPE,
                                  text=True).stdout
        check(".debug_info" not in sections and ".symtab" not in sections,
              "/usr/bin/reprename is stripped")
        dynamic = subprocess.run(["readelf", "-W", "-d", "--dyn-syms", "-l", binary],
                                 stdout=subprocess.PIPE, text=True).stdout
        check("BIND_NOW" in dynamic and "GNU_RELRO" in dynamic and "__stack_chk_fail" in dynamic,
              "/usr/bin/reprename is hardened: full RELRO, BIND_NOW, a stack protector")
        with open(os.path.join(folder, "usr/share/doc/reprename/copyright")) as f:
            check(f.readline().startswith("Format: https://www.debian.org/doc/packaging-manuals/"
                                          "copyright-format/1.0/"),
                  "the copyright file is in the machine-readable format")
    if shutil.which("lintian"):
        changes = os.path.join(os.path.dirname(deb), "reprename_%s_%s.changes" % (revision, arch))
        lint = subprocess.run(["lintian", "-I", "-E", "--pedantic", changes],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        bad = [line for line in lint.stdout.splitlines()
               if line.startswith(("E:", "W:")) or "hardening" in line]
        check(not bad, "lintian -I -E --pedantic finds no error, warning or hardening tag: %s"
              % bad)
    else:
        print("skipped: lintian (apt-get install lintian)")
    if os.geteuid() != 0 or subprocess.run(["dpkg", "-s", "reprename"], stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL).returncode == 0:
        print("skipped: installing the package (needs root, and no reprename installed already)")
        return
    installed = subprocess.run(["dpkg", "-i", deb], stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, text=True)
    check(installed.returncode == 0, "dpkg -i installs the package: %s" % installed.stderr[-300:])
    try:
        default = subprocess.run(["xdg-mime", "query", "default", REPLAY_TYPE],
                                 stdout=subprocess.PIPE, text=True).stdout.strip()
        check(default == "reprename.desktop", "xdg-mime opens replays with the launcher, after "
              "dpkg's own triggers: %s" % default)
        gio = subprocess.run(["gio", "mime", REPLAY_TYPE], stdout=subprocess.PIPE, text=True)
        check("reprename.desktop" in gio.stdout, "gio mime names the launcher: %s" % gio.stdout)
        folders = subprocess.run(["xdg-mime", "query", "default", "inode/directory"],
                                 stdout=subprocess.PIPE, text=True).stdout.strip()
        check(folders != "reprename.desktop", "the launcher never opens folders for other "
              "programs: xdg-mime's default for inode/directory is %r" % folders)
        with tempfile.TemporaryDirectory(prefix="reprename-autopkgtest-") as tmp:
            test = subprocess.run(["sh", "debian/tests/rename-samples"], cwd=ROOT,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                  env=dict(os.environ, AUTOPKGTEST_TMP=tmp))
        check(test.returncode == 0, "the package's autopkgtest passes against the installed "
              "tool: %s" % test.stdout.strip()[-300:])
        check_desktop_session()
    finally:
        removed = subprocess.run(["dpkg", "--purge", "reprename"], stdout=subprocess.DEVNULL)
    left = [f for f in expected if os.path.exists(os.path.join("/usr", f))]
    check(removed.returncode == 0 and not left, "removing the package leaves nothing: %s" % left)
    with open("/usr/share/applications/mimeinfo.cache") as f:
        check("reprename" not in f.read(), "nor in the desktop database")


def wait_until(ok, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if ok():
            return True
        time.sleep(0.1)
    return ok()


def check_desktop_session():
    """The installed launcher in a real X session: a replay opened with gio and a folder dropped
    on the launcher each run the dialogue in a terminal window, answered by typed keys; the
    replays are renamed and the window stays at the key wait until a key closes it."""
    tools = ["Xvfb", "xterm", "xdotool", "gio"]
    if not all(shutil.which(t) for t in tools):
        print("skipped: the desktop session (needs %s)" % ", ".join(tools))
        return
    display = ":73"
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        env = dict(os.environ, DISPLAY=display)
        # Ready when it answers a client, not when its socket appears (a busy machine's Xvfb
        # makes the socket before it listens).
        if not wait_until(lambda: subprocess.run(["xdotool", "getdisplaygeometry"], env=env,
                                                 stdout=subprocess.DEVNULL,
                                                 stderr=subprocess.DEVNULL).returncode == 0, 20):
            print("skipped: the desktop session (Xvfb does not start here)")
            return

        def terminals():
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "xterm"],
                                   env=env, stdout=subprocess.PIPE, text=True).stdout.split()
            return found

        def waiting_for_input():
            """True while the tool's main thread is in read(): at a prompt or the key wait."""
            for pid in filter(str.isdigit, os.listdir("/proc")):
                try:
                    with open("/proc/%s/comm" % pid) as f, open("/proc/%s/syscall" % pid) as g:
                        if f.read().strip() == "reprename" and g.read().split()[0] == "0":
                            return True
                except (OSError, IndexError):
                    pass
            return False

        def answer_and_close(start, renamed, what):
            errors = tempfile.TemporaryFile("w+")
            launcher = subprocess.Popen(start, env=env, stdout=subprocess.DEVNULL, stderr=errors)
            if not wait_until(lambda: terminals() and waiting_for_input(), 30):
                launcher.kill()
                errors.seek(0)
                check(False, "%s opens a terminal window: %s" % (what, errors.read()[-300:]))
                return
            check(True, "%s opens a terminal window" % what)
            window = terminals()[0]
            for key in ("Return", "Return"):  # the first file's folder, the replay's own name
                subprocess.run(["xdotool", "windowfocus", "--sync", window], env=env)
                subprocess.run(["xdotool", "key", key], env=env)
            check(wait_until(lambda: all(os.path.exists(p) for p in renamed), 30),
                  "%s renames the replays: %s" % (what, renamed))
            # Keys typed before the key wait are dropped, as the tool means them to be.
            check(wait_until(waiting_for_input, 30) and window in terminals(),
                  "%s: the window stays at the key wait" % what)
            subprocess.run(["xdotool", "windowfocus", "--sync", window], env=env)
            subprocess.run(["xdotool", "key", "space"], env=env)
            check(wait_until(lambda: window not in terminals(), 30),
                  "%s: a key closes the window" % what)
            launcher.wait(timeout=30)

        with tempfile.TemporaryDirectory(prefix="reprename-session-") as folder:
            write_replay(os.path.join(folder, "a.rep"), "Opened")
            os.makedirs(os.path.join(folder, "drop"))
            write_replay(os.path.join(folder, "drop", "b.rep"), "Dropped")
            answer_and_close(["gio", "open", os.path.join(folder, "a.rep")],
                             [os.path.join(folder, "Opened.rep")], "gio open of a replay")
            answer_and_close(["gio", "launch", "/usr/share/applications/reprename.desktop",
                              os.path.join(folder, "drop")],
                             [os.path.join(folder, "drop", "Dropped.rep")],
                             "a folder dropped on the launcher")
    finally:
        xvfb.terminate()
        xvfb.wait(timeout=10)


def write_replay(path, name):
    """A replay whose own name is `name`, in the replay alphabet's letters."""
    codes = [ord(c) - ord("A") if c.isupper() else ord(c) - ord("a") + 26 for c in name]
    with open(path, "wb") as f:
        f.write(bytes(codes + [100] * (8 - len(codes))) + bytes(59))


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


def check_desktop(prefix):
    """The launcher, the replay file type and the icons, as a desktop finds them."""
    share = os.path.join(prefix, "share")
    launcher = os.path.join(share, "applications", "reprename.desktop")
    valid = subprocess.run(["desktop-file-validate", launcher], stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT)
    check(valid.returncode == 0 and valid.stdout == b"",
          "desktop-file-validate accepts the launcher: %s" % valid.stdout.decode()[:300])
    with open(launcher) as f:
        entry = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
    check(entry.get("Exec") == "reprename-launcher %F" and entry.get("Terminal") == "true" and
          entry.get("MimeType") == REPLAY_TYPE + ";" and entry.get("Icon") == "reprename",
          "the launcher runs reprename-launcher %F in a terminal for the replay type only (no "
          "folders), with its icon")
    if shutil.which("appstreamcli"):
        valid = subprocess.run(["appstreamcli", "validate", "--pedantic", "--no-net",
                                os.path.join(prefix, METAINFO)], stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True)
        check(valid.returncode == 0 and "Validation was successful" in valid.stdout and
              "\nI:" not in valid.stdout and "\nP:" not in valid.stdout,
              "appstreamcli validate --pedantic finds nothing in the metainfo: %s"
              % valid.stdout.strip()[-300:])
        with open(os.path.join(prefix, METAINFO), encoding="utf-8") as f:
            metainfo = f.read()
        check('<release version="%s" date="%s">' % (version(), history("date")) in metainfo and
              '<launchable type="desktop-id">reprename.desktop</launchable>' in metainfo and
              "<mediatype>%s</mediatype>" % REPLAY_TYPE in metainfo and
              "<content_rating" in metainfo,
              "the metainfo gives the release of NEWS, the launcher, the file type and a content "
              "rating")
    else:
        print("skipped: appstreamcli (apt-get install appstream)")

    subprocess.run(["update-mime-database", os.path.join(share, "mime")], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with tempfile.TemporaryDirectory(prefix="reprename-mime-") as folder:
        replay = os.path.join(folder, "MATCH.REP")
        with open(replay, "wb") as f:
            f.write(bytes(67))
        env = dict(os.environ, XDG_DATA_DIRS=share + ":/usr/share", XDG_DATA_HOME=folder)
        query = subprocess.run(["xdg-mime", "query", "filetype", replay], env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    check(query.stdout.decode().strip() == REPLAY_TYPE,
          "xdg-mime finds %s for a .REP file: %s" % (REPLAY_TYPE, query.stdout.decode().strip()))

    for context, name in (("apps", "reprename"), ("mimetypes", FILE_ICON)):
        sizes = [png_size(os.path.join(share, "icons", "hicolor", "%dx%d" % (n, n), context,
                                       name + ".png")) for n in ICON_SIZES]
        check(sizes == [(n, n) for n in ICON_SIZES],
              "the hicolor %s icons are PNGs of 16 to 256 pixels: %s" % (context, sizes))
        scalable = os.path.join(share, "icons", "hicolor", "scalable", context, name + ".svg")
        drawn = xml.etree.ElementTree.parse(scalable).getroot()
        check(drawn.tag == "{http://www.w3.org/2000/svg}svg" and
              drawn.get("viewBox") == "0 0 256 256",
              "the scalable %s icon is an SVG of the same shapes" % context)
    with open(os.path.join(share, "mime", "packages", "reprename.xml")) as f:
        check('<icon name="%s"/>' % FILE_ICON in f.read(),
              "replay files have an icon of their own: %s" % FILE_ICON)


def main():
    v = version()
    with tempfile.TemporaryDirectory(prefix="reprename-release-") as scratch:
        source = check_windows(v, scratch)
        check_linux(v, scratch, source)
        check_deb(v, scratch)
    if failures:
        sys.exit("%d release check(s) failed" % len(failures))


if __name__ == "__main__":
    main()
