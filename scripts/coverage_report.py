#!/usr/bin/env python3
"""Lists every line of src/ that the tests do not run, with why (coverage_reasons.txt), from
gcovr's JSON report; fails where a line is not explained or the totals fall below the targets,
98% of the lines and 90% of the branches unless given.

    coverage_report.py COVERAGE.json REASONS.txt [LINES BRANCHES]

REASONS.txt has one line per explained line, "FILE: TEXT  # WHY", where TEXT is the start of the
uncovered line's code (without its indentation), so that the reasons follow the code as it
moves; lines starting with # are comments.
"""
import json
import sys

LINES, BRANCHES = 98.0, 90.0


def reasons(path):
    """(file, start of the code) -> why."""
    found = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if not line.strip() or line.startswith("#"):
                continue
            where, why = line.rstrip("\n").split("  # ", 1)
            name, text = where.split(": ", 1)
            found[(name, text.strip())] = why
    return found


def main():
    global LINES, BRANCHES
    report, why = sys.argv[1], reasons(sys.argv[2])
    if len(sys.argv) == 5:
        LINES, BRANCHES = float(sys.argv[3]), float(sys.argv[4])
    with open(report) as f:
        data = json.load(f)
    lines = covered = branches = taken = 0
    unexplained = 0
    used = set()
    for entry in sorted(data["files"], key=lambda e: e["file"]):
        name = entry["file"]
        with open(name, encoding="utf-8") as f:
            source = f.read().splitlines()
        for line in entry["lines"]:
            if line.get("gcovr/noncode"):
                continue
            lines += 1
            covered += line["count"] > 0
            branches += len(line["branches"])
            taken += sum(1 for b in line["branches"] if b["count"] > 0)
            if line["count"] > 0:
                continue
            code = source[line["line_number"] - 1].strip()
            reason = next((r for (n, t), r in why.items() if n == name and code.startswith(t)),
                          None)
            if reason is None:
                unexplained += 1
                reason = "NOT EXPLAINED"
            else:
                used.update(k for k in why if k[0] == name and code.startswith(k[1]))
            print("%s:%d: %s\n    %s" % (name, line["line_number"], code, reason))
    line_rate = 100.0 * covered / max(lines, 1)
    branch_rate = 100.0 * taken / max(branches, 1)
    print("lines %.1f%% (%d of %d), branches %.1f%% (%d of %d); targets %.0f%% and %.0f%%"
          % (line_rate, covered, lines, branch_rate, taken, branches, LINES, BRANCHES))
    reported = {entry["file"] for entry in data["files"]}
    stale = sorted(k for k in set(why) - used if k[0] in reported)
    for name, text in stale:
        print("a reason for a line now covered, or gone: %s: %s" % (name, text))
    ok = unexplained == 0 and line_rate >= LINES and branch_rate >= BRANCHES
    print("coverage %s" % ("met" if ok else "NOT MET: %d lines not explained" % unexplained))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
