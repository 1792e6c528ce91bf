#!/usr/bin/env python3
"""Power cuts during moves to another file system, explored as the ALICE study does (Pillai et
al., OSDI 2014), run by hand as root:

    sudo python3 scripts/power_cut.py [COUNT] [--against REF]   (COUNT replays, 140 by default:
                                                                 three groups)

Records one run's calls with strace, moving COUNT replays from the machine's disk to a
loop-mounted ext4 image, then to an exFAT image through FUSE. From each trace it builds, for every
point a power cut could come (after each call), every state of the disk that the file system's
ordering allows for each replay: its copy's data (D), its copy's new name (N, or the claim of an
empty name C and the rename over it on exFAT) and its source's removal (U), each on disk or not.

  ext4, data=ordered  one journal per file system, committed in order: a name is on disk only
                      with the names before it, and with the data of the files it names; a
                      syncfs, or an fsync of a file or folder, puts all before it on disk
  weak (FAT-like)     any call not yet made durable may be on disk or not, on its own; an fsync
                      puts its own file or folder on disk, a syncfs all of its file system
  FUSE (exFAT)        as weak, but a syncfs never reaches the daemon; an fsync does, and the
                      daemon flushes its whole device for it

A state where a replay is at no path (its source removed, and no whole copy under a name), or
where a .rep name holds bytes that are not the whole replay, is a violation. An empty claim left
under a name on exFAT is a documented limit, counted apart. The ext4 trace is read under the
ext4 and the weak orders, the exFAT trace under the FUSE order. --against REF explores the
renamer as built from the commit REF instead, to show what a change mended.
"""
import argparse
import itertools
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
from bench import (RENAMER, build_against, make_folder, mount_image,  # noqa: E402
                   unmount_image)

CALL = re.compile(r'^(\d+) +(\w+)\((.*)\) += (-?\d+)')
FD = re.compile(r'^(-?\d+)<([^>]*)>')


def record(renamer, src, dest, trace):
    """Runs `renamer` on `src` into `dest` under strace; returns its trace's lines."""
    calls = "openat,pwrite64,write,ftruncate,linkat,rename,renameat2,unlink,fsync,syncfs,close"
    run = subprocess.run(["strace", "-f", "-qq", "-y", "-o", trace, "-e", "trace=" + calls,
                          renamer, src], input=(dest + "\n\n").encode(),
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if run.returncode != 0:
        sys.exit("the traced run failed: %s" % run.stderr.decode()[-500:])
    with open(trace) as f:
        return f.read().splitlines()


def operations(lines, src, dest):
    """The trace as the moves' operations, in order: (kind, replay, detail). Kinds: D data
    written to a copy, C a name claimed empty, N a copy named, U a source removed, and the
    barriers F (fsync of a file or a folder: detail is its path) and S (syncfs)."""
    ops = []
    copies = {}    # an open copy's fd -> its replay
    sources = {}   # an open source's fd -> its replay
    hidden = {}    # a hidden copy's own name -> its replay
    last_source = None
    for line in lines:
        m = CALL.match(line)
        if m is None:
            continue
        _, name, args, result = m.groups()
        result = int(result)
        if result < 0:
            continue
        quoted = re.findall(r'"([^"]*)"', args)
        fd = FD.match(args)
        if name == "openat" and quoted:
            path = quoted[0]
            if path.startswith(src + "/") and path.endswith(".rep"):
                last_source = os.path.basename(path)
                sources[result] = last_source
            elif "O_TMPFILE" in args or os.path.basename(path).startswith(".reprename-"):
                copies[result] = last_source
                if os.path.basename(path).startswith(".reprename-"):
                    hidden[path] = last_source
            elif path.startswith(dest + "/") and path.endswith(".rep") and "O_EXCL" in args:
                ops.append(("C", None, path))
        elif name in ("pwrite64", "write", "ftruncate") and fd and int(fd.group(1)) in copies:
            ops.append(("D", copies[int(fd.group(1))], None))
        elif name == "linkat" and quoted and quoted[-1].endswith(".rep"):
            copy = int(quoted[0].rsplit("/", 1)[1]) if quoted[0].startswith("/proc") else None
            ops.append(("N", copies.get(copy), quoted[-1]))
        elif name in ("rename", "renameat2") and len(quoted) >= 2 and quoted[0] in hidden:
            ops.append(("N", hidden[quoted[0]], quoted[1]))
        elif name == "unlink" and quoted and quoted[0].startswith(src + "/"):
            ops.append(("U", os.path.basename(quoted[0]), None))
        elif name == "fsync" and fd:
            ops.append(("F", None, fd.group(2)))
        elif name == "syncfs":
            ops.append(("S", None, None))
        elif name == "close" and fd:
            copies.pop(int(fd.group(1)), None)
            sources.pop(int(fd.group(1)), None)
    # A claim belongs to the copy later renamed over it.
    named = {path: replay for kind, replay, path in ops if kind == "N"}
    return [(kind, named.get(path, replay) if kind == "C" else replay, path)
            for kind, replay, path in ops]


def durable_after(ops, order, dest):
    """For each operation, the index of the first barrier that puts it on disk (or None)."""
    durable = [None] * len(ops)
    for i, (kind, replay, path) in enumerate(ops):
        if kind not in "FS":
            continue
        for j in range(i):
            if durable[j] is not None or ops[j][0] in "FS":
                continue
            jkind, jreplay, jpath = ops[j]
            on_dest = jkind in "DCN"
            if kind == "S":
                covers = on_dest and order != "fuse"
            elif order == "fuse" and path.startswith(dest):
                covers = on_dest  # the daemon flushes its whole device
            elif order == "ext4" and path.startswith(dest):
                covers = on_dest  # one journal: the commit takes everything before it
            else:  # weak: the file's own data, or the folder's own names
                covers = (jkind == "D" and not os.path.isdir(path)) or \
                         (jkind in "CN" and os.path.dirname(jpath) == path.rstrip("/"))
            if covers:
                durable[j] = i
    return durable


def explore(ops, order, dest):
    """Counts the states a power cut after each operation can leave, and the violations."""
    durable = durable_after(ops, order, dest)
    replays = sorted({r for kind, r, _ in ops if kind in "DNU" and r is not None})
    states = violations = empty_claims = 0
    for cut in range(len(ops) + 1):  # a cut after `cut` operations
        for replay in replays:
            mine = [i for i in range(cut) if ops[i][1] == replay and ops[i][0] in "DCNU"]
            if not mine:
                continue
            sure = {i for i in mine if durable[i] is not None and durable[i] < cut}
            free = [i for i in mine if i not in sure]
            for chosen in itertools.product((False, True), repeat=len(free)):
                on_disk = sure | {i for i, c in zip(free, chosen) if c}
                if order == "ext4" and not ordered(ops, mine, on_disk):
                    continue
                states += 1
                kinds = {ops[i][0] for i in on_disk}
                data = "D" not in {ops[i][0] for i in mine} or \
                    all(i in on_disk for i in mine if ops[i][0] == "D")
                named = "N" in kinds
                if named and not data:
                    violations += 1  # a name holds what is not the whole replay
                elif "U" in kinds and not named:
                    violations += 1  # at no path
                elif "C" in kinds and not named:
                    empty_claims += 1
    return states, violations, empty_claims


def ordered(ops, mine, on_disk):
    """ext4, data=ordered: one file system's names on disk in the order made, each with the data
    of the copy it names written before it."""
    for fs_kinds in ("CN", "U"):
        seen_missing = False
        for i in mine:
            if ops[i][0] not in fs_kinds:
                continue
            if i not in on_disk:
                seen_missing = True
            elif seen_missing:
                return False
    for i in mine:
        if ops[i][0] == "N" and i in on_disk:
            if any(j not in on_disk for j in mine if j < i and ops[j][0] == "D"):
                return False
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("count", nargs="?", type=int, default=140)
    parser.add_argument("--against", metavar="REF", help="the renamer of commit REF instead")
    args = parser.parse_args()
    count = args.count
    if os.geteuid() != 0 or shutil.which("strace") is None:
        sys.exit("needs root (loop mounts) and strace")
    total_violations = 0
    with tempfile.TemporaryDirectory(prefix="reprename-powercut-") as folder:
        renamer = build_against(args.against, folder) if args.against else RENAMER
        if renamer is None:
            sys.exit("could not build %s" % args.against)
        for fstype, orders in (("ext4", ("ext4", "weak")), ("exfat", ("fuse",))):
            mount = mount_image(folder, fstype)
            if mount is None:
                print("%s: no image could be mounted here: skipped" % fstype)
                continue
            try:
                src = make_folder(folder, count, "src-" + fstype, size=100 * 1000)
                dest = os.path.join(mount, "dest")
                os.makedirs(dest)
                trace = record(renamer, src, dest, os.path.join(folder, "trace-" + fstype))
                ops = operations(trace, src, dest)
                moved = len({r for kind, r, _ in ops if kind == "U"})
                for order in orders:
                    states, violations, claims = explore(ops, order, dest)
                    total_violations += violations
                    print("%-6s under %-4s order: %d replays moved, %d calls, %d states, "
                          "%d violations, %d empty claims (apart)"
                          % (fstype, order, moved, len(ops), states, violations, claims))
            finally:
                unmount_image(folder, fstype, mount)
    sys.exit(1 if total_violations else 0)


if __name__ == "__main__":
    main()
