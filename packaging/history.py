#!/usr/bin/env python3
"""The project's history, NEWS, as the builds need it; and the check that the packaging history,
debian/changelog, packages the same release.

    history.py NEWS version       the top entry's version (1.0.0, 1.1.0~rc1)
    history.py NEWS cmake         the same as CMake's project() takes it, numbers only (1.1.0)
    history.py NEWS date          the top entry's date, YYYY-MM-DD (the manual page's date)
    history.py NEWS epoch         the top entry's time in seconds (SOURCE_DATE_EPOCH)
    history.py NEWS text          every entry, newest first, as the readmes show it
    history.py NEWS appstream     every entry as an AppStream <release>, for the metainfo
    history.py NEWS agrees CHANGELOG
                                  fails unless the top entry of the Debian changelog packages the
                                  top entry's version (its epoch and revision aside)

A release is one new entry on top of NEWS (and one in debian/changelog, `dch -v VERSION-1`).
"""
import email.utils
import re
import sys
import xml.sax.saxutils

HEADER = re.compile(r"^(\d[0-9A-Za-z.~+]*) \((.+)\)$")
DEBIAN_HEADER = re.compile(r"^reprename \(([^)]+)\) ")


def entries(path):
    """(version, time, the entry's lines) for each entry, newest first."""
    found = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            header = HEADER.match(line)
            if header:
                found.append([header.group(1), email.utils.parsedate_to_datetime(header.group(2)),
                              []])
            elif line.strip() and found:
                found[-1][2].append(line)
    if not found:
        sys.exit("history.py: no release in " + path)
    return found


def upstream(debian_version):
    """A Debian version without its epoch and its revision."""
    version = debian_version.split(":", 1)[-1]
    return version.rsplit("-", 1)[0] if "-" in version else version


def readme_text(found):
    """Each entry as "  VERSION (DATE)" and its items below it, indented as the readmes are."""
    lines = []
    for version, date, items in found:
        lines.append("  %s (%s)" % (version, date.strftime("%Y-%m-%d")))
        for item in items:
            lines.append("    " + item.replace("  * ", "- ", 1).replace("    ", "  ", 1))
        lines.append("")
    return "\n".join(lines).rstrip("\n")


def items(lines):
    """An entry's items, each "  * " line with the lines below it joined."""
    found = []
    for line in lines:
        if line.startswith("  * "):
            found.append(line[4:].strip())
        elif found:
            found[-1] += " " + line.strip()
    return found


def appstream(found):
    """Each entry as AppStream's <release>, its items a list."""
    lines = []
    for version, date, entry in found:
        lines.append('    <release version="%s" date="%s">' % (version, date.strftime("%Y-%m-%d")))
        lines.append("      <description>")
        lines.append("        <ul>")
        for item in items(entry):
            lines.append("          <li>%s</li>" % xml.sax.saxutils.escape(item))
        lines.append("        </ul>")
        lines.append("      </description>")
        lines.append("    </release>")
    return "\n".join(lines)


def main():
    path, what = sys.argv[1], sys.argv[2]
    found = entries(path)
    version, date, _ = found[0]
    if what == "version":
        print(version)
    elif what == "cmake":
        print(re.match(r"[0-9.]*[0-9]", version).group(0))
    elif what == "date":
        print(date.strftime("%Y-%m-%d"))
    elif what == "epoch":
        print(int(date.timestamp()))
    elif what == "text":
        print(readme_text(found))
    elif what == "appstream":
        print(appstream(found))
    elif what == "agrees":
        with open(sys.argv[3], encoding="utf-8") as f:
            packaged = DEBIAN_HEADER.match(f.readline())
        if not packaged or upstream(packaged.group(1)) != version:
            sys.exit("history.py: debian/changelog packages %s, NEWS releases %s"
                     % (packaged.group(1) if packaged else "nothing", version))
    else:
        sys.exit("history.py: no such field: " + what)


if __name__ == "__main__":
    main()
