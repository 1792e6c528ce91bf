#!/usr/bin/env python3
"""Benchmark: reprename on many replays against a baseline that does only the unavoidable work.

    python3 scripts/bench.py [N] [M]    (N replays, 10000 by default; M in one folder, 100000)
    python3 scripts/bench.py --cold     (as root: with the page cache emptied before every run)
    python3 scripts/bench.py --cross [--against REF]   (as root: moves to loop-mounted images)

Renames N generated replays (a) to N different names and (b) all to one name, (c) M replays in
one folder, given as the only argument, in place to different names, and runs the baseline (open,
read 67 bytes, close, one existence test, one no-replace rename per file) on the same files as
(a). Prints files per second, with strace the system calls and existence tests per file, the peak
memory for a 1 KiB and a 1 GiB replay and for (c), and, with Wine and the Windows exe, the exe's
files per second on N replays in one folder. Checks the targets: (a) within 1.1x of the
baseline's time, (b) within 2x of (a) per file, (c) within 1.2x of (a) per file, (a) at most 6
system calls per file (the baseline's 5 and the check that the path still names the file read)
and one write of the outcome lines per 64 files,
memory independent of the replays' size and below 64 MB for (c).

With --cold (as root), every run starts with the page cache emptied, and reprename runs side by
side with the baseline reading in turn and the baseline reading 64 headers at a time, 3 rounds
each, medians: (d) 10,000 replays of 16 KiB, answers given at once, in at most 0.7x of the
baseline's time; (e) 30,000 in one folder, the first prompt within 0.3 s of the start and, with
the answers given 2 s after it, the summary within 0.35x of the baseline's whole time after the
last answer; and the Windows exe's first prompt on (e) under Wine, printed without a target.

With --cross (as root), replays move from the test machine's disk to a loop-mounted ext4 image,
then to a vfat and an exFAT one (where the kernel or FUSE mounts them), side by side with mv and with the renamer built from REF (by default the
last build that flushed each copy on its own): 1,000 replays of 100 KB and 10,000 of 16 KiB,
medians of 3, with the flushes (fsync, fdatasync, syncfs) counted by strace. Targets on ext4:
within 1.5x of mv's time, at most one flush per 32 replays and a few more; vfat and exFAT
are printed without a target.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build")
EXE = os.path.join(ROOT, "build-windows", "reprename.exe")
WINEPREFIX = os.path.join(BUILD, "wineprefix")
RENAMER = os.path.join(BUILD, "reprename")
BASELINE = os.path.join(BUILD, "reprename_baseline")
PEAK_MEMORY = os.path.join(BUILD, "reprename_peak_memory")
HEADER_SIZE = 67
ALPHABET = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"


def replay_bytes(index, size):
    """A valid replay whose own name is unique for every index."""
    name = []
    for _ in range(8):
        name.append(ALPHABET.index(ALPHABET[index % 62]))
        index //= 62
    header = bytes(name) + bytes([12, 31, 0, 0, 0]) + bytes(47) + bytes([1, 0, 0]) + bytes(4)
    assert len(header) == HEADER_SIZE
    return header + bytes(max(0, size - HEADER_SIZE))


def make_folder(folder, count, name="replays", size=4096):
    """`count` replays in the new folder `name` inside `folder`; returns that folder."""
    src = os.path.join(folder, name)
    os.makedirs(src)
    for i in range(count):
        with open(os.path.join(src, "replay_%06d.rep" % i), "wb") as f:
            f.write(replay_bytes(i, size))
    return src


def make_replays(folder, count):
    """`count` replays named one by one, and an empty destination folder beside them."""
    src = make_folder(folder, count, "src")
    dest = os.path.join(folder, "dest")
    os.makedirs(dest)
    return [os.path.join(src, "replay_%06d.rep" % i) for i in range(count)], dest


def run_renamer(paths, dest, fmt, prefix=()):
    answers = ("%s\n%s\n" % (dest, fmt)).encode()
    proc = subprocess.run(list(prefix) + [RENAMER] + paths, input=answers,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          start_new_session=True)
    return proc


def check_renamed(proc, count):
    summary = ("%d File(s) 0 Error(s)" % count).encode()
    if proc.returncode != 0 or summary not in proc.stdout:
        sys.exit("renamer failed: %s" % proc.stdout[-300:])


def timed(case, count, repeats):
    """Best wall time of `repeats` runs of one case on fresh replays."""
    best = None
    for _ in range(repeats):
        with tempfile.TemporaryDirectory(prefix="reprename-bench-") as folder:
            if case == "c":
                paths, dest = [make_folder(folder, count)], ""
            else:
                paths, dest = make_replays(folder, count)
            subprocess.run(["sync"])
            start = time.perf_counter()
            if case == "baseline":
                proc = subprocess.run([BASELINE, dest] + paths)
                if proc.returncode != 0:
                    sys.exit("baseline failed")
            else:
                proc = run_renamer(paths, dest, "same" if case == "b" else "/n")
            elapsed = time.perf_counter() - start
            if case != "baseline":
                check_renamed(proc, count)
            best = elapsed if best is None else min(best, elapsed)
    return best


SYSCALL = re.compile(r"^(?:\[pid\s+\d+\]\s+)?(?:\d+\s+)?(\w+)\(")


def syscalls(case, count):
    """System calls by name, and existence tests of target names, for one run under strace."""
    with tempfile.TemporaryDirectory(prefix="reprename-bench-") as folder:
        paths, dest = make_replays(folder, count)
        log = os.path.join(folder, "strace.log")
        prefix = ["strace", "-f", "-qq", "-o", log]
        if case == "baseline":
            subprocess.run(prefix + [BASELINE, dest] + paths, check=True)
        else:
            check_renamed(run_renamer(paths, dest, "same" if case == "b" else "/n", prefix), count)
        counts = {}
        tests = 0
        with open(log, errors="replace") as f:
            for line in f:
                m = SYSCALL.match(line)
                if not m:
                    continue
                name = m.group(1)
                counts[name] = counts.get(name, 0) + 1
                if name in ("openat", "open") and ('"%s/' % dest) in line:
                    tests += 1
        return counts, tests


def per_file(case, count):
    """Calls per file, with the fixed cost of starting the program taken out."""
    small, small_tests = syscalls(case, count)
    large, large_tests = syscalls(case, 2 * count)
    names = set(small) | set(large)
    calls = {n: (large.get(n, 0) - small.get(n, 0)) / count for n in names}
    calls = {n: c for n, c in calls.items() if abs(c) >= 0.005}
    return calls, (large_tests - small_tests) / count


def peak_memory_of_run(arg, answers):
    proc = subprocess.run([PEAK_MEMORY, RENAMER, arg], input=answers,
                          stdout=subprocess.PIPE, check=True)
    return int(proc.stdout.split()[-1])


def peak_memory_kib(size):
    with tempfile.TemporaryDirectory(prefix="reprename-bench-") as folder:
        src = os.path.join(folder, "big.rep")
        with open(src, "wb") as f:
            f.write(replay_bytes(0, HEADER_SIZE))
        os.truncate(src, size)  # sparse: the disk holds no gigabyte
        return peak_memory_of_run(src, b"\n\n")


def folder_peak_memory_kib(count):
    """Peak memory of case (c): `count` replays in one folder, renamed in place."""
    with tempfile.TemporaryDirectory(prefix="reprename-bench-") as folder:
        return peak_memory_of_run(make_folder(folder, count), b"\n/n\n")


def wine_files_per_second(count):
    """The Windows exe under Wine on `count` replays in one folder, with Wine's own start-up
    (a run without files) taken out; None without Wine or the exe."""
    if not shutil.which("wine") or not os.path.exists(EXE):
        return None
    env = dict(os.environ, WINEPREFIX=WINEPREFIX, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")

    def run(args, answers):
        start = time.perf_counter()
        proc = subprocess.run(["wine", EXE] + args, input=answers, env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              start_new_session=True)
        return time.perf_counter() - start, proc

    run([], b"")  # starts Wine's server and prefix before anything is timed
    with tempfile.TemporaryDirectory(prefix="reprename-bench-") as folder:
        src = make_folder(folder, count)
        startup = min(run([], b"")[0] for _ in range(3))
        elapsed, proc = run(["Z:" + src.replace("/", "\\")], b"\r\n/n\r\n")
        if ("%d File(s) 0 Error(s)" % count).encode() not in proc.stdout:
            sys.exit("the exe failed under Wine: %s" % proc.stdout[-300:])
    return count / max(elapsed - startup, 1e-6), elapsed, startup


# --- cold page cache ---------------------------------------------------------------------------

def replay_name(index):
    """The name reprename gives replay `index` with the format /n."""
    return "".join(ALPHABET[(index // 62 ** k) % 62] for k in range(8)) + ".rep"


def drop_caches():
    subprocess.run(["sync"], check=True)
    with open("/proc/sys/vm/drop_caches", "w") as f:
        f.write("3\n")


def put_back(src, count, moved_to):
    """Renames the replays back to replay_NNNNNN.rep in `src` from where a run put them."""
    for i in range(count):
        os.rename(moved_to(i), os.path.join(src, "replay_%06d.rep" % i))


def cold_baseline(threads, dest, args, count, src):
    drop_caches()
    prefix = ["--threads", str(threads)] if threads else []
    start = time.perf_counter()
    if subprocess.run([BASELINE] + prefix + [dest] + args).returncode != 0:
        sys.exit("baseline failed")
    elapsed = time.perf_counter() - start
    put_back(src, count, lambda i: os.path.join(dest, "b%d.rep" % i))
    return elapsed


def read_until(proc, text, seen):
    """Reads the program's output until `text` has come; returns the time it came."""
    while text not in seen:
        chunk = os.read(proc.stdout.fileno(), 65536)
        if not chunk:
            sys.exit("the program ended before %r: %r" % (text, bytes(seen[-300:])))
        seen += chunk
    return time.perf_counter()


def cold_renamer(args, answer_delay, dest_answer, count, src, dest, command=None):
    """One run with the page cache emptied: (total, first prompt, last answer to summary)."""
    drop_caches()
    start = time.perf_counter()
    proc = subprocess.Popen(command or [RENAMER] + args, stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    seen = bytearray()
    prompt = read_until(proc, b"===>", seen)
    if answer_delay:
        time.sleep(max(0.0, prompt + answer_delay - time.perf_counter()))
    answered = time.perf_counter()
    proc.stdin.write(("%s\n/n\n" % dest_answer).encode())
    proc.stdin.close()
    summary = read_until(proc, b"File(s)", seen)
    proc.stdout.read()
    proc.wait()
    if ("%d File(s) 0 Error(s)" % count).encode() not in seen:
        sys.exit("renamer failed: %r" % bytes(seen[-300:]))
    put_back(src, count, lambda i: os.path.join(dest, replay_name(i)))
    return summary - start, prompt - start, summary - answered


def median(values):
    return sorted(values)[len(values) // 2]


def wine_first_prompt(src):
    """The exe's first prompt on the folder `src` under Wine, the page cache emptied first, and
    Wine's own start-up, cold too; None without Wine or the exe."""
    if not shutil.which("wine") or not os.path.exists(EXE):
        return None
    env = dict(os.environ, WINEPREFIX=WINEPREFIX, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    subprocess.run(["wine", EXE], input=b"", env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, start_new_session=True)
    subprocess.run(["wineserver", "-w"], env=env)
    drop_caches()
    start = time.perf_counter()
    subprocess.run(["wine", EXE], input=b"", env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, start_new_session=True)
    startup = time.perf_counter() - start
    subprocess.run(["wineserver", "-w"], env=env)
    drop_caches()
    start = time.perf_counter()
    proc = subprocess.Popen(["wine", EXE, "Z:" + src.replace("/", "\\")], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env,
                            start_new_session=True)
    prompt = read_until(proc, b"===>", bytearray()) - start
    proc.stdin.close()  # the input ends at the prompt: the run stops, nothing moved
    proc.stdout.read()
    proc.wait()
    subprocess.run(["wineserver", "-w"], env=env)
    return prompt, startup


def cold_main():
    if os.geteuid() != 0:
        print("--cold empties the page cache and needs root: skipped")
        return 0
    subprocess.run(["cmake", "--preset", "default"], cwd=ROOT, check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "default", "--target", "reprename",
                    "reprename_baseline"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    rounds = 3
    checks = []
    print("cold page cache, %d rounds, medians" % rounds)

    count = 10000
    with tempfile.TemporaryDirectory(prefix="reprename-bench-") as folder:
        src = make_folder(folder, count, "src", 16384)
        dest = os.path.join(folder, "dest")
        os.makedirs(dest)
        paths = [os.path.join(src, "replay_%06d.rep" % i) for i in range(count)]
        runs = {"seq": [], "par": [], "tool": []}
        for _ in range(rounds):
            runs["seq"].append(cold_baseline(0, dest, paths, count, src))
            runs["par"].append(cold_baseline(64, dest, paths, count, src))
            runs["tool"].append(cold_renamer(paths, 0, dest, count, src, dest)[0])
        seq, par, tool = (median(runs[k]) for k in ("seq", "par", "tool"))
        print("(d) %d replays of 16 KiB, answers at once:" % count)
        print("  baseline, in turn        %6.3f s" % seq)
        print("  baseline, 64 in flight   %6.3f s" % par)
        print("  reprename                %6.3f s  (%.2fx the baseline in turn)" % (tool, tool / seq))
        checks.append(("(d) at most 0.7x the baseline", tool <= 0.7 * seq, "%.2fx" % (tool / seq)))

    count = 30000
    with tempfile.TemporaryDirectory(prefix="reprename-bench-") as folder:
        src = make_folder(folder, count, "replays", 16384)
        seqs, pars, prompts, afters = [], [], [], []
        for _ in range(rounds):
            seqs.append(cold_baseline(0, src, [src], count, src))
            pars.append(cold_baseline(64, src, [src], count, src))
            _, prompt, after = cold_renamer([src], 2.0, "", count, src, src)
            prompts.append(prompt)
            afters.append(after)
        seq, par, prompt, after = (median(v) for v in (seqs, pars, prompts, afters))
        print("(e) %d replays in one folder, answers 2 s after the first prompt:" % count)
        print("  baseline, in turn        %6.3f s" % seq)
        print("  baseline, 64 in flight   %6.3f s" % par)
        print("  reprename: first prompt  %6.3f s, last answer to summary %.3f s (%.2fx)"
              % (prompt, after, after / seq))
        checks.append(("(e) first prompt within 0.3 s", prompt <= 0.3, "%.3f s" % prompt))
        checks.append(("(e) after the answers 0.35x", after <= 0.35 * seq, "%.2fx" % (after / seq)))
        wine = wine_first_prompt(src)
        if wine is None:
            print("  Windows exe under Wine: not measured (no wine, or no build-windows/reprename.exe)")
        else:
            print("  Windows exe under Wine: first prompt %.3f s (Wine's own start-up, cold, %.3f s;"
                  " no target: Wine is not Windows)" % wine)
    for what, ok, figure in checks:
        print("%-38s %-9s %s" % (what, figure, "met" if ok else "NOT MET"))
    return 0 if all(ok for _, ok, _ in checks) else 1


def build_against(ref, folder):
    """The renamer as built from the commit `ref`, in `folder`; None where it cannot be."""
    tree = os.path.join(folder, "tree")
    if subprocess.run(["git", "-C", ROOT, "worktree", "add", "--detach", tree, ref],
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
        return None
    build = os.path.join(folder, "build")
    ok = subprocess.run(["cmake", "-S", tree, "-B", build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                         "-DREPRENAME_TESTS=OFF"], stdout=subprocess.DEVNULL).returncode == 0
    ok = ok and subprocess.run(["cmake", "--build", build, "-j", "2", "--target", "reprename"],
                               stdout=subprocess.DEVNULL).returncode == 0
    subprocess.run(["git", "-C", ROOT, "worktree", "remove", "--force", tree],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return os.path.join(build, "reprename") if ok else None


def mount_image(folder, fstype):
    """A new loop-mounted file system of `fstype` in `folder`; its mount point, or None."""
    mkfs = shutil.which("mkfs." + fstype)
    if mkfs is None:
        return None
    image = os.path.join(folder, fstype + ".img")
    with open(image, "wb") as f:
        f.truncate(3 << 30)
    options = ["-q", "-F"] if fstype == "ext4" else []
    if subprocess.run([mkfs] + options + [image], stdout=subprocess.DEVNULL,
                      stderr=subprocess.DEVNULL).returncode != 0:
        return None
    mount = os.path.join(folder, "mnt-" + fstype)
    os.makedirs(mount)
    if subprocess.run(["mount", "-o", "loop", image, mount], stderr=subprocess.DEVNULL,
                      stdout=subprocess.DEVNULL).returncode == 0:
        return mount
    # No such file system in this kernel: exFAT also mounts through FUSE, as many desktops do.
    if fstype == "exfat" and shutil.which("mount.exfat-fuse"):
        loop = subprocess.run(["losetup", "-f", "--show", image], stdout=subprocess.PIPE,
                              text=True)
        device = loop.stdout.strip()
        if loop.returncode == 0 and subprocess.run(
                ["mount.exfat-fuse", device, mount], stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL).returncode == 0:
            return mount
    return None


def unmount_image(folder, fstype, mount):
    """Unmounts what mount_image mounted and frees the image's loop devices."""
    subprocess.run(["umount", mount])
    image = os.path.join(folder, fstype + ".img")
    loops = subprocess.run(["losetup", "-n", "-O", "NAME", "-j", image],
                           stdout=subprocess.PIPE, text=True).stdout.split()
    for device in loops:
        subprocess.run(["losetup", "-d", device], stderr=subprocess.DEVNULL)


def cross_run(tool, src, dest, count):
    """One move of the `count` replays in `src` to `dest` by `tool`; its wall time."""
    paths = [os.path.join(src, "replay_%06d.rep" % i) for i in range(count)]
    subprocess.run(["sync"])
    start = time.perf_counter()
    if tool == "mv":
        subprocess.run(["mv", "-t", dest] + paths, check=True)
    else:
        proc = subprocess.run([tool] + paths, input=("%s\n\n" % dest).encode(),
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              start_new_session=True)
        check_renamed(proc, count)
    elapsed = time.perf_counter() - start
    if len(os.listdir(dest)) != count or os.listdir(src):
        sys.exit("%s did not move every replay" % tool)
    return elapsed


def flushes(tool, src, dest, count):
    """fsync, fdatasync and syncfs calls of one move, counted with strace."""
    log = os.path.join(os.path.dirname(src), "flushes.log")
    paths = [os.path.join(src, "replay_%06d.rep" % i) for i in range(count)]
    subprocess.run(["strace", "-f", "-qq", "-o", log, "-e", "trace=fsync,fdatasync,syncfs", tool]
                   + paths, input=("%s\n\n" % dest).encode(), stdout=subprocess.DEVNULL,
                   check=True)
    with open(log) as f:
        return sum(1 for line in f if re.search(r"\b(fsync|fdatasync|syncfs)\(", line))


def cross_main(ref):
    if os.geteuid() != 0:
        print("--cross mounts loop images and needs root: skipped")
        return 0
    subprocess.run(["cmake", "--preset", "default"], cwd=ROOT, check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "default", "--target", "reprename"],
                   cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    checks = []
    with tempfile.TemporaryDirectory(prefix="reprename-bench-", dir="/tmp") as folder:
        against = build_against(ref, folder)
        tools = [("mv", "mv"), ("reprename", RENAMER)]
        if against:
            tools.append(("reprename %s" % ref, against))
        else:
            print("(could not build %s to compare with)" % ref)
        for fstype in ("ext4", "vfat", "exfat"):
            mount = mount_image(folder, fstype)
            if mount is None:
                print("%s: no image could be made and mounted here (mkfs.%s and a driver in the "
                      "kernel or FUSE are needed): skipped" % (fstype, fstype))
                continue
            for count, size in ((1000, 100 * 1000), (10000, 16 * 1024)):
                print("%s image, %d replays of %d bytes, from %s, median of 3:"
                      % (fstype, count, size, folder))
                times = {}
                for label, tool in tools:
                    runs = []
                    for _ in range(3):
                        src = make_folder(folder, count, "src", size)
                        dest = os.path.join(mount, "dest")
                        os.makedirs(dest)
                        runs.append(cross_run(tool, src, dest, count))
                        shutil.rmtree(src)
                        shutil.rmtree(dest)
                    times[label] = median(runs)
                    line = "  %-22s %7.3f s  %6.2fx mv" % (label, times[label],
                                                           times[label] / times["mv"])
                    if tool != "mv" and shutil.which("strace"):
                        src = make_folder(folder, count, "src", size)
                        dest = os.path.join(mount, "dest")
                        os.makedirs(dest)
                        n = flushes(tool, src, dest, count)
                        line += "  %d flushes" % n
                        shutil.rmtree(src)
                        shutil.rmtree(dest)
                        if label == "reprename" and fstype == "ext4":
                            checks.append(("%s %d: at most 1 flush per 32 + 4" % (fstype, count),
                                           n <= count / 32 + 4, "%d" % n))
                    print(line)
                if fstype == "ext4":
                    ratio = times["reprename"] / times["mv"]
                    checks.append(("%s %d: within 1.5x of mv" % (fstype, count), ratio <= 1.5,
                                   "%.2fx" % ratio))
            unmount_image(folder, fstype, mount)
    for what, ok, figure in checks:
        print("%-38s %-9s %s" % (what, figure, "met" if ok else "NOT MET"))
    return 0 if all(ok for _, ok, _ in checks) else 1


def main():
    parser = argparse.ArgumentParser(
        description="Benchmark reprename against a baseline, mv and earlier builds.",
        epilog="The module's docstring, at the top of this file, gives the cases and targets.")
    parser.add_argument("count", nargs="?", type=int, default=10000,
                        help="replays for (a) and (b) (default 10000)")
    parser.add_argument("folder_count", nargs="?", type=int, default=100000,
                        help="replays in one folder for (c) (default 100000)")
    kind = parser.add_mutually_exclusive_group()
    kind.add_argument("--cold", action="store_true",
                      help="(root) the page cache emptied before every run: (d) and (e)")
    kind.add_argument("--cross", action="store_true",
                      help="(root) moves to loop-mounted ext4, vfat and exFAT images beside mv")
    parser.add_argument("--against", default="357bbd9", metavar="REF",
                        help="with --cross, the commit to compare with (default: the last "
                             "build that flushed each copy on its own)")
    args = parser.parse_args()
    if args.cold:
        return cold_main()
    if args.cross:
        return cross_main(args.against)
    count = args.count
    folder_count = args.folder_count
    subprocess.run(["cmake", "--preset", "default"], cwd=ROOT, check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "default", "--target", "reprename",
                    "reprename_baseline", "reprename_peak_memory"], cwd=ROOT, check=True,
                   stdout=subprocess.DEVNULL)

    print("%d replays, (c) %d in one folder, best of 3 runs each" % (count, folder_count))
    counts = {"baseline": count, "a": count, "b": count, "c": folder_count}
    times = {case: timed(case, counts[case], 3) for case in ("baseline", "a", "b", "c")}
    labels = {"baseline": "baseline", "a": "(a) all different", "b": "(b) all the same",
              "c": "(c) one folder"}
    for case in ("baseline", "a", "b", "c"):
        print("  %-18s %7.3f s  %9.0f files/s"
              % (labels[case], times[case], counts[case] / times[case]))

    calls_a = None
    if shutil.which("strace"):
        sample = min(count, 5000)  # large enough that per-thread start-up costs drop out
        print("system calls per file (strace, %d and %d files, difference):" % (sample, 2 * sample))
        for case in ("baseline", "a", "b"):
            calls, tests = per_file(case, sample)
            detail = ", ".join("%s %.2f" % (n, c) for n, c in sorted(calls.items()))
            print("  %-18s %5.2f in all, existence tests %.2f: %s"
                  % (labels[case], sum(calls.values()), tests, detail))
            if case == "a":
                calls_a = sum(calls.values())
    else:
        print("system calls: no strace here (apt-get install strace)")

    small = peak_memory_kib(1024)
    big = peak_memory_kib(1 << 30)
    folder_memory = folder_peak_memory_kib(folder_count)
    print("peak memory: 1 KiB replay %d KiB, 1 GiB replay %d KiB, (c) %d KiB"
          % (small, big, folder_memory))

    wine = wine_files_per_second(count)
    if wine is None:
        print("Windows exe under Wine: not measured (no wine, or no build-windows/reprename.exe)")
    else:
        print("Windows exe under Wine, %d replays in one folder: %.0f files/s "
              "(%.2f s, of which %.2f s Wine's start-up; no target: Wine is not Windows)"
              % (count, wine[0], wine[1], wine[2]))

    ratio_a = times["a"] / times["baseline"]
    ratio_b = times["b"] / times["a"]
    ratio_c = (times["c"] / folder_count) / (times["a"] / count)
    checks = [
        ("(a) within 1.1x of the baseline", ratio_a <= 1.1, "%.2fx" % ratio_a),
        ("(b) within 2x of (a) per file", ratio_b <= 2.0, "%.2fx" % ratio_b),
        ("(c) within 1.2x of (a) per file", ratio_c <= 1.2, "%.2fx" % ratio_c),
        ("memory independent of replay size", big <= small + 1024, "%+d KiB" % (big - small)),
        ("(c) peak memory below 64 MB", folder_memory < 64 * 1024, "%d KiB" % folder_memory),
    ]
    if calls_a is not None:
        # 6 calls a replay, and one write of the outcome lines per 64 replays.
        checks.append(("(a) at most 6 calls per file + 1/64", calls_a <= 6 + 1 / 64 + 0.005,
                       "%.3f" % calls_a))
    for what, ok, figure in checks:
        print("%-38s %-9s %s" % (what, figure, "met" if ok else "NOT MET"))
    return 0 if all(ok for _, ok, _ in checks) else 1


if __name__ == "__main__":
    sys.exit(main())
