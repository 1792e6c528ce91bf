#!/usr/bin/env python3
"""Mutation testing of our own: makes small faults in a source file one at a time (a condition
negated, && and || swapped, a comparison changed, a statement or call deleted, a return value
replaced, an integer moved by one), rebuilds incrementally, and runs the tests that link the
file, fastest first; a mutant the tests pass is a survivor. Mutants that do not compile are
counted apart. Survivors that are equivalent, or accepted, are listed with their reason in
scripts/mutation_reasons.txt ("FILE: ORIGINAL => MUTATED  # equivalent: WHY" or "# accepted:
WHY"); any other survivor fails the run.

  scripts/mutation.py [--most N] [FILE...]   (no FILE: the lines the last commit touched)
"""
import argparse
import os
import random
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build-mutation")
REASONS = os.path.join(ROOT, "scripts", "mutation_reasons.txt")
BACKUP = os.path.join(BUILD, "original")
# The suites, fastest first; each stops at its first failure.
SUITES = [[os.path.join(BUILD, "tests", "reprename_tests")],
          [os.path.join(BUILD, "tests", "reprename_e2e")]]
COMPARISONS = [(" == ", " != "), (" != ", " == "), (" <= ", " < "), (" >= ", " > "),
               (" < ", " <= "), (" > ", " >= ")]


def code_part(line):
    """The line with its string and character literals blanked and its // comment cut, so that
    no operator matches inside them; the same length up to the comment."""
    out = []
    quote = None
    i = 0
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            out.append(c if c == quote else " ")
            if c == quote:
                quote = None
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)


def matching_paren(code, start):
    depth = 0
    for i in range(start, len(code)):
        depth += {"(": 1, ")": -1}.get(code[i], 0)
        if depth == 0:
            return i
    return -1


STATEMENT = re.compile(r"^\s*(?:(?:::)?[A-Za-z_][\w:]*(?:(?:\.|->)[A-Za-z_]\w*)*\s*\(.*\)"
                       r"|[A-Za-z_][\w.\->\[\]]*\s*(?:[-+*/|&]?=)\s*[^=].*"
                       r"|(?:\+\+|--)[A-Za-z_][\w.\->]*|[A-Za-z_][\w.\->]*(?:\+\+|--)"
                       r"|continue|break)\s*;\s*$")


def mutants_of(line):
    """Every mutant of one line: (what, the mutated line)."""
    code = code_part(line)
    stripped = code.strip()
    if not stripped or stripped.startswith("#") or stripped.startswith("*") or \
            stripped.startswith("/*") or "static_assert" in code or "constexpr" in code and \
            "=" in code and "(" not in code.split("=")[0]:
        return []
    found = []
    for keyword in ("if (", "while ("):
        at = code.find(keyword)
        if at >= 0 and (at == 0 or not (code[at - 1].isalnum() or code[at - 1] == "_")):
            start = at + len(keyword) - 1
            end = matching_paren(code, start)
            if end > 0:
                found.append(("negated", line[:start + 1] + "!(" + line[start + 1:end] + ")" +
                              line[end:]))
    for a, b in (("&&", "||"), ("||", "&&")):
        for m in re.finditer(re.escape(a), code):
            found.append((a + " to " + b, line[:m.start()] + b + line[m.end():]))
    for a, b in COMPARISONS:
        for m in re.finditer(re.escape(a), code):
            if a.strip() in "<>" and ("<<" in code[m.start() - 1:m.end() + 1] or
                                      ">>" in code[m.start() - 1:m.end() + 1]):
                continue
            found.append((a.strip() + " to " + b.strip(), line[:m.start()] + b + line[m.end():]))
    ret = re.search(r"\breturn\s+(.+);\s*$", code)
    if ret and ret.group(1).strip() != "{}":
        value = ret.group(1).strip()
        other = {"true": "false", "false": "true", "0": "1"}.get(value, "{}")
        found.append(("return " + other, line[:ret.start(1)] + other + line[ret.end(1):]))
    if STATEMENT.match(code) and not re.match(r"^\s*(return|case|default)\b", code):
        indent = line[:len(line) - len(line.lstrip())]
        found.append(("deleted", indent + ";  // deleted\n"))
    for m in re.finditer(r"(?<![\w.])(\d+)(?![\w.])", code):
        n = int(m.group(1))
        for moved in ([n + 1, n - 1] if n > 0 else [n + 1]):
            found.append(("%d to %d" % (n, moved), line[:m.start()] + str(moved) + line[m.end():]))
    return found


def touched_lines(path):
    """The lines of `path` the last commit added or changed."""
    diff = subprocess.run(["git", "diff", "-U0", "HEAD~1", "HEAD", "--", path], cwd=ROOT,
                          capture_output=True, text=True).stdout
    lines = set()
    for m in re.finditer(r"^@@ -\S+ \+(\d+)(?:,(\d+))? @@", diff, re.M):
        start, count = int(m.group(1)), int(m.group(2) or 1)
        lines.update(range(start, start + count))
    return lines


def reasons():
    known = {}
    if os.path.exists(REASONS):
        for row in open(REASONS, encoding="utf-8"):
            if row.startswith("#") or "  # " not in row:
                continue
            key, why = row.rstrip("\n").split("  # ", 1)
            known[key] = why
    return known


def run(argv, timeout):
    """The exit status of `argv`, or "hung"; a hung run is killed with every process it started
    (a mutant tool looping under a test that timed out would go on eating the processors)."""
    with subprocess.Popen(argv, cwd=ROOT, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          start_new_session=True) as process:
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            return "hung"


def build(timeout=600):
    return run(["cmake", "--build", BUILD, "-j", str(os.cpu_count() or 2), "--target",
                "reprename", "reprename_tests", "reprename_e2e"], timeout) == 0


def tests_pass(timeouts):
    for suite, timeout in zip(SUITES, timeouts):
        if run(suite + ["--gtest_brief=1", "--gtest_fail_fast"], timeout) != 0:
            return False
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("files", nargs="*")
    parser.add_argument("--most", type=int, default=0,
                        help="at most this many mutants a file, drawn in a fixed order")
    args = parser.parse_args()
    if os.path.exists(BACKUP):  # a run that was killed left a mutant in place
        with open(BACKUP, encoding="utf-8") as f:
            path, text = f.read().split("\n", 1)
        with open(os.path.join(ROOT, path), "w", encoding="utf-8") as f:
            f.write(text)
        os.remove(BACKUP)
    files = args.files
    only = {}
    if not files:
        changed = subprocess.run(["git", "diff", "--name-only", "HEAD~1", "HEAD", "--", "src"],
                                 cwd=ROOT, capture_output=True, text=True).stdout.split()
        files = [f for f in changed if f.endswith(".cpp") and not f.endswith("_test.cpp") and
                 "_win32" not in f and os.path.exists(os.path.join(ROOT, f))]
        only = {f: touched_lines(f) for f in files}
    subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Debug",
                    "-DREPRENAME_WERROR=ON"], stdout=subprocess.DEVNULL, check=True)
    if not build(timeout=None):
        sys.exit("the unmutated build fails")
    timeouts = []
    for suite in SUITES:
        started = time.monotonic()
        if run(suite + ["--gtest_brief=1"], 1800) != 0:
            sys.exit("the unmutated tests fail: %s" % suite[0])
        timeouts.append(max(60, 3 * (time.monotonic() - started)))
    known = reasons()
    started = time.monotonic()
    scores = []
    unexplained = 0
    for path in files:
        with open(os.path.join(ROOT, path), encoding="utf-8") as f:
            original = f.read()
        lines = original.splitlines(keepends=True)
        candidates = []
        in_comment = False
        for number, line in enumerate(lines, 1):
            if "/*" in line and "*/" not in line:
                in_comment = True
            if in_comment:
                in_comment = "*/" not in line
                continue
            if only and number not in only.get(path, set()):
                continue
            candidates += [(number, what, new) for what, new in mutants_of(line)]
        if args.most and len(candidates) > args.most:
            candidates = sorted(random.Random(2026).sample(candidates, args.most))
        killed = survived = broken = equivalent = 0
        for number, what, new in candidates:
            key = "%s: %s => %s" % (path, lines[number - 1].strip(), new.strip())
            with open(BACKUP, "w", encoding="utf-8") as f:
                f.write(path + "\n" + original)
            mutated = lines[:number - 1] + [new] + lines[number:]
            try:
                with open(os.path.join(ROOT, path), "w", encoding="utf-8") as f:
                    f.write("".join(mutated))
                compiled = build()
                caught = compiled and not tests_pass(timeouts)
            finally:
                with open(os.path.join(ROOT, path), "w", encoding="utf-8") as f:
                    f.write(original)
                os.remove(BACKUP)
            if not compiled:
                broken += 1
            elif caught:
                killed += 1
            elif known.get(key, "").startswith("equivalent"):
                equivalent += 1
            else:
                survived += 1
                why = known.get(key)
                print("%s:%d %s survives%s\n    %s" % (path, number, what,
                                                    " (%s)" % why if why else "",
                                                    new.strip()), flush=True)
                if why is None:
                    unexplained += 1
                    print("  unexplained; to accept it:\n    %s  # accepted: WHY" % key)
        scores.append((path, killed, killed + survived, broken, equivalent))
    build()  # the build as the sources are
    print("%d min %d s" % divmod(int(time.monotonic() - started), 60))
    for path, killed, total, broken, equivalent in scores:
        print("%s: %d not compiling, %d equivalent" % (path, broken, equivalent))
    for path, killed, total, broken, equivalent in scores:
        print("%s: %d%% (%d killed of %d)" % (path, 100 * killed // max(total, 1), killed, total))
    return 1 if unexplained else 0


if __name__ == "__main__":
    sys.exit(main())
