#!/usr/bin/env python3
"""The project's one history, debian/changelog, as the builds need it.

    history.py CHANGELOG version   the top entry's version, without the Debian revision
    history.py CHANGELOG debian    the top entry's version with it, as the package has it
    history.py CHANGELOG date      the top entry's date, YYYY-MM-DD (the manual page's date)
    history.py CHANGELOG epoch     the top entry's time in seconds (SOURCE_DATE_EPOCH)
    history.py CHANGELOG text      every entry, newest first, as the readmes show it

Adding an entry to debian/changelog (dch -v VERSION-1) advances all of them together.
"""
import email.utils
import re
import sys

HEADER = re.compile(r"^reprename \(([^)]+)\) ")
TRAILER = re.compile(r"^ -- .*>  (.*)$")


def entries(path):
    """(version, date, the entry's lines) for each entry, newest first."""
    found = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            header = HEADER.match(line)
            trailer = TRAILER.match(line)
            if header:
                found.append([header.group(1), None, []])
            elif trailer and found:
                found[-1][1] = email.utils.parsedate_to_datetime(trailer.group(1))
            elif line.strip() and found:
                found[-1][2].append(line)
    return found


def upstream(version):
    """A Debian version without its revision."""
    return version.rsplit("-", 1)[0]


def readme_text(found):
    """Each entry as "  VERSION (DATE)" and its items below it, indented as the readmes are."""
    lines = []
    for version, date, items in found:
        lines.append("  %s (%s)" % (upstream(version), date.strftime("%Y-%m-%d")))
        for item in items:
            lines.append("    " + item.replace("  * ", "- ", 1).replace("    ", "  ", 1))
        lines.append("")
    return "\n".join(lines).rstrip("\n")


def main():
    path, what = sys.argv[1], sys.argv[2]
    found = entries(path)
    version, date, _ = found[0]
    if what == "version":
        print(upstream(version))
    elif what == "debian":
        print(version)
    elif what == "date":
        print(date.strftime("%Y-%m-%d"))
    elif what == "epoch":
        print(int(date.timestamp()))
    elif what == "text":
        print(readme_text(found))
    else:
        sys.exit("history.py: no such field: " + what)


if __name__ == "__main__":
    main()
