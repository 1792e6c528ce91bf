#!/usr/bin/env python3
"""Runs reprename.exe under Wine beside the Linux build on the same random scenes, and reports
every difference that is not a platform rule (separators, drive letters, CR LF): the bytes of
both streams, the exit status, and every file afterwards. Also checks each run on its own: every
replay whole at exactly one path, nothing else left, every success line true. Run by hand (as
root, for the tmpfs of the second drive); needs build/ and build-windows/.

  scripts/differential.py [RUNS] [--first N]
"""
import hashlib
import os
import random
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LINUX = os.path.join(ROOT, "build", "reprename")
EXE = os.environ.get("REPRENAME_EXE", os.path.join(ROOT, "build-windows", "reprename.exe"))
WRITER = os.path.join(ROOT, "build", "write_replay")
PREFIX = os.environ.get("WINEPREFIX", os.path.join(ROOT, "build", "wineprefix"))
ENV = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG="-all", LANG="ja_JP.UTF-8",
           LC_ALL="ja_JP.UTF-8", WINEDLLOVERRIDES="mscoree,mshtml=")
NAMES = ["Kov", "Kov", "Kov", "Dru", "A0", "A", "x y"]
FORMATS = ["", "/n", "/n/0", "sub//n", "/1vs/2", "same", "/d_/n"]
TAKEN = ["Kov.rep", "Kov0.rep", "A0.rep", "Dru1.rep"]


def scene(rng):
    """One random run: its replays, arguments, destination, format and names already taken."""
    replays = []
    for i in range(rng.randint(1, 7)):
        fields = [rng.randint(1, 12), rng.randint(1, 28), rng.randint(0, 10), rng.randint(0, 2),
                  rng.randint(0, 2), rng.randint(0, 10), rng.randint(0, 2), rng.randint(0, 2),
                  rng.randint(0, 20)]
        size = rng.choice([67, 67, 1000, 70000, 300000])
        replays.append(("r%d.rep" % i, rng.choice(NAMES), fields, size))
    args = [r[0] for r in replays if rng.random() < 0.85] or [replays[0][0]]
    rng.shuffle(args)
    for _ in range(rng.choice([0, 0, 0, 1, 2])):
        args.insert(rng.randrange(len(args) + 1), rng.choice(args))  # a replay given twice
    if rng.random() < 0.15:
        args = ["."]  # the folder itself, dropped
    return {
        "replays": replays,
        "args": args,
        "destination": rng.choice(["offered", "dest", "other", "other", "missing"]),
        "format": rng.choice(FORMATS),
        "taken": [n for n in TAKEN if rng.random() < 0.3],
        "sub": rng.random() < 0.7,
    }


def lay_out(s, top):
    """Writes the scene below `top` (src/, dest/) and `other` (the second file system)."""
    src = os.path.join(top, "src")
    os.makedirs(src)
    for name, replay_name, fields, size in s["replays"]:
        subprocess.run([WRITER, os.path.join(src, name), replay_name] + [str(f) for f in fields] +
                       [str(size)], check=True)


def prepare_destination(s, folder):
    os.makedirs(folder, exist_ok=True)
    if s["sub"]:
        os.makedirs(os.path.join(folder, "sub"), exist_ok=True)
    for name in s["taken"]:
        with open(os.path.join(folder, name), "wb") as f:
            f.write(b"taken " + name.encode())


def run(s, top, other, windows):
    src = os.path.join(top, "src")
    dest = {"offered": src, "dest": os.path.join(top, "dest"), "other": other,
            "missing": os.path.join(top, "nowhere")}[s["destination"]]
    if s["destination"] != "missing":
        prepare_destination(s, dest)
    if windows:
        def path(p):
            if p.startswith(other):
                return "T:" + p[len(other):].replace("/", "\\")
            return "Z:" + p.replace("/", "\\")
        argv = ["wine", EXE]
        newline = "\r\n"
    else:
        def path(p):
            return p
        argv = [LINUX]
        newline = "\n"
    args = [path(src if a == "." else os.path.join(src, a)) for a in s["args"]]
    answer = "" if s["destination"] == "offered" else path(dest)
    stdin = (answer + newline + s["format"] + newline).encode("cp932" if windows else "utf-8")
    try:
        p = subprocess.run(argv + args, input=stdin, capture_output=True, env=ENV, timeout=120)
    except subprocess.TimeoutExpired as expired:  # reported as a run of its own kind
        p = subprocess.CompletedProcess(argv, "timed out", expired.stdout or b"",
                                        expired.stderr or b"")
    return p, path


def normal(text, windows, top, other, path):
    """Both platforms' output in one spelling: UTF-8, LF, the folders as <top> and <other>."""
    if windows:
        text = text.decode("cp932", "replace").replace("\r\n", "\n")
        text = text.replace(path(top), "<top>").replace(path(other) + "\\", "<other>/")
        text = text.replace("T:\\", "<other>/").replace("\\", "/")
    else:
        text = text.decode("utf-8", "replace")
        text = text.replace(other + "/", "<other>/").replace(top, "<top>")
    return text


def tree(*folders):
    files = {}
    for label, folder in folders:
        for base, _, names in os.walk(folder):
            for n in names:
                full = os.path.join(base, n)
                with open(full, "rb") as f:
                    files[label + "/" + os.path.relpath(full, folder)] = f.read()
    return files


def own_checks(s, files, out):
    """What must hold of any run: every replay whole at exactly one path, nothing else beside
    them, and every success line true."""
    problems = []
    holders = {}
    for path, data in files.items():
        if data.startswith(b"taken "):
            continue
        holders.setdefault(hashlib.sha1(data).hexdigest(), []).append(path)
        if not path.endswith(".rep"):
            problems.append("a file left over: " + path)
    if len(holders) != len(s["replays"]):
        problems.append("%d replays, %d whole files" % (len(s["replays"]), len(holders)))
    problems += ["one replay at %s" % paths for paths in holders.values() if len(paths) != 1]
    for line in out.split("\n"):
        if line.startswith("    ===>") and " -- Rename successful!" in line:
            target = line[len("    ===>"):line.index(" -- Rename successful!")]
            if target not in files:
                problems.append("untrue: " + line.strip())
    return problems


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    first = int(sys.argv[sys.argv.index("--first") + 1]) if "--first" in sys.argv else 1
    work = tempfile.mkdtemp(prefix="reprename-diff-")
    other_mount = os.path.join(work, "t")
    os.makedirs(other_mount)
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64m", "tmpfs", other_mount], check=True)
    drive = os.path.join(PREFIX, "dosdevices", "t:")
    subprocess.run(["wineserver", "-p"], env=ENV, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    diverged = broken = 0
    try:
        for trial in range(first, first + runs):
            rng = random.Random(trial)
            s = scene(rng)
            outcomes = []
            for windows in (False, True):
                top = os.path.join(work, "win" if windows else "lin")
                other = os.path.join(other_mount, "win" if windows else "lin")
                shutil.rmtree(top, ignore_errors=True)
                shutil.rmtree(other, ignore_errors=True)
                os.makedirs(other)
                lay_out(s, top)
                if windows:
                    if os.path.lexists(drive):
                        os.remove(drive)
                    os.symlink(other, drive)
                p, path = run(s, top, other, windows)
                out = normal(p.stdout, windows, top, other, path)
                err = normal(p.stderr, windows, top, other, path)
                files = tree(("<top>", top), ("<other>", other))
                for problem in own_checks(s, files, out):
                    broken += 1
                    print("trial %d (%s): %s" % (trial, "exe" if windows else "linux", problem))
                outcomes.append((out, err, p.returncode,
                                 {k: hashlib.sha1(v).hexdigest() for k, v in files.items()}))
            if outcomes[0] != outcomes[1]:
                diverged += 1
                print("trial %d diverges: %s" % (trial, s))
                for what, a, b in zip(("out", "err", "status", "files"), outcomes[0], outcomes[1]):
                    if a != b:
                        print("  %s\n    linux: %r\n    exe:   %r" % (what, a, b))
    finally:
        if os.path.lexists(drive):
            os.remove(drive)
        subprocess.run(["umount", other_mount])
        shutil.rmtree(work, ignore_errors=True)
    print("%d runs from %d: %d diverge, %d break an invariant" % (runs, first, diverged, broken))
    return 1 if diverged or broken else 0


if __name__ == "__main__":
    sys.exit(main())
