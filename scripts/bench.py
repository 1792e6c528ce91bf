#!/usr/bin/env python3
"""Benchmark: reprename on many replays against a baseline that does only the unavoidable work.

    python3 scripts/bench.py [N] [M]    (N replays, 10000 by default; M in one folder, 100000)

Renames N generated replays (a) to N different names and (b) all to one name, (c) M replays in
one folder, given as the only argument, in place to different names, and runs the baseline (open,
read 67 bytes, close, one existence test, one no-replace rename per file) on the same files as
(a). Prints files per second, with strace the system calls and existence tests per file, the peak
memory for a 1 KiB and a 1 GiB replay and for (c), and, with Wine and the Windows exe, the exe's
files per second on N replays in one folder. Checks the targets: (a) within 1.1x of the
baseline's time, (b) within 2x of (a) per file, (c) within 1.2x of (a) per file, (a) at most 5
system calls per file, memory independent of the replays' size and below 64 MB for (c).
"""
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


def make_folder(folder, count, name="replays"):
    """`count` replays in the new folder `name` inside `folder`; returns that folder."""
    src = os.path.join(folder, name)
    os.makedirs(src)
    for i in range(count):
        with open(os.path.join(src, "replay_%06d.rep" % i), "wb") as f:
            f.write(replay_bytes(i, 4096))
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


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 10000
    folder_count = int(sys.argv[2]) if len(sys.argv) > 2 else 100000
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
        sample = min(count, 2000)
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
        checks.append(("(a) at most 5 system calls per file", calls_a <= 5.005, "%.2f" % calls_a))
    for what, ok, figure in checks:
        print("%-38s %-9s %s" % (what, figure, "met" if ok else "NOT MET"))
    return 0 if all(ok for _, ok, _ in checks) else 1


if __name__ == "__main__":
    sys.exit(main())
