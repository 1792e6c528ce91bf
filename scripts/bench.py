#!/usr/bin/env python3
"""Benchmark: reprename on many replays against a baseline that does only the unavoidable work.

    python3 scripts/bench.py [N]        (N replays, 10000 by default)

Renames N generated replays (a) to N different names and (b) all to one name, and runs the
baseline (open, read 67 bytes, close, one existence test, one no-replace rename per file) on the
same files. Prints files per second, and with strace the system calls and existence tests per
file; then the peak memory for a 1 KiB and a 1 GiB replay. Checks the targets: (a) within 1.5x of
the baseline's time, (b) within 2x of (a) per file, memory independent of the replays' size.
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


def make_replays(folder, count, size=4096):
    src = os.path.join(folder, "src")
    dest = os.path.join(folder, "dest")
    os.makedirs(src)
    os.makedirs(dest)
    paths = []
    for i in range(count):
        path = os.path.join(src, "replay_%06d.rep" % i)
        with open(path, "wb") as f:
            f.write(replay_bytes(i, size))
        paths.append(path)
    return paths, dest


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
            paths, dest = make_replays(folder, count)
            subprocess.run(["sync"])
            start = time.perf_counter()
            if case == "baseline":
                proc = subprocess.run([BASELINE, dest] + paths)
                if proc.returncode != 0:
                    sys.exit("baseline failed")
            else:
                proc = run_renamer(paths, dest, "/n" if case == "a" else "same")
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
            check_renamed(run_renamer(paths, dest, "/n" if case == "a" else "same", prefix), count)
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


def peak_memory_kib(size):
    with tempfile.TemporaryDirectory(prefix="reprename-bench-") as folder:
        src = os.path.join(folder, "big.rep")
        with open(src, "wb") as f:
            f.write(replay_bytes(0, HEADER_SIZE))
        os.truncate(src, size)  # sparse: the disk holds no gigabyte
        proc = subprocess.run([PEAK_MEMORY, RENAMER, src], input=b"\n\n",
                              stdout=subprocess.PIPE, check=True)
        return int(proc.stdout.split()[-1])


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 10000
    subprocess.run(["cmake", "--preset", "default"], cwd=ROOT, check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "default", "--target", "reprename",
                    "reprename_baseline", "reprename_peak_memory"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)

    print("%d replays, best of 3 runs each" % count)
    times = {case: timed(case, count, 3) for case in ("baseline", "a", "b")}
    labels = {"baseline": "baseline", "a": "(a) all different", "b": "(b) all the same"}
    for case in ("baseline", "a", "b"):
        print("  %-18s %7.3f s  %9.0f files/s" % (labels[case], times[case], count / times[case]))

    if shutil.which("strace"):
        sample = min(count, 2000)
        print("system calls per file (strace, %d and %d files, difference):" % (sample, 2 * sample))
        for case in ("baseline", "a", "b"):
            calls, tests = per_file(case, sample)
            detail = ", ".join("%s %.2f" % (n, c) for n, c in sorted(calls.items()))
            print("  %-18s %5.2f in all, existence tests %.2f: %s"
                  % (labels[case], sum(calls.values()), tests, detail))
    else:
        print("system calls: no strace here (apt-get install strace)")

    small = peak_memory_kib(1024)
    big = peak_memory_kib(1 << 30)
    print("peak memory: 1 KiB replay %d KiB, 1 GiB replay %d KiB" % (small, big))

    ratio_a = times["a"] / times["baseline"]
    ratio_b = times["b"] / times["a"]
    checks = [
        ("(a) within 1.5x of the baseline", ratio_a <= 1.5, "%.2fx" % ratio_a),
        ("(b) within 2x of (a) per file", ratio_b <= 2.0, "%.2fx" % ratio_b),
        ("memory independent of replay size", big <= small + 1024, "%+d KiB" % (big - small)),
    ]
    for what, ok, figure in checks:
        print("%-38s %-6s %s" % (what, figure, "met" if ok else "NOT MET"))
    return 0 if all(ok for _, ok, _ in checks) else 1


if __name__ == "__main__":
    sys.exit(main())
