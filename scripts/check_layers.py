#!/usr/bin/env python3
"""Checks the layers of src/. The rule: OS headers are included only by src/platform's
*_posix and *_win32 files, which alone talk to the system. The libraries stand in one order,
each folder one library: portable/ (both systems' rules, no OS call) below the interfaces of
platform/, below replay/, below naming/, below driver/; platform/'s implementations may use
portable/ but never the core, and no chain of includes comes back to where it started. Test
files (*_test.cpp) may include anything. Exits 1 and says where, otherwise 0."""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SRC = os.path.join(ROOT, "src")
CORE = ("driver/", "naming/", "replay/")
OS_HEADERS = re.compile(r"^(windows|unistd|fcntl|signal|termios|dirent|pthread|poll|errno)\.h$"
                        r"|^sys/")
SYSTEM_FILE = re.compile(r"^platform/\w+_(posix|win32)\.(h|cpp)$")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
# What each folder may include of the others.
MAY_INCLUDE = {
    "portable/": ("portable/",),
    "platform/": ("platform/", "portable/"),
    "replay/": ("replay/", "portable/"),
    "naming/": ("naming/", "replay/", "portable/"),
}


def main():
    files = {}
    for folder, _, names in os.walk(SRC):
        for name in names:
            if name.endswith((".h", ".cpp")) and not name.endswith("_test.cpp"):
                path = os.path.relpath(os.path.join(folder, name), SRC)
                with open(os.path.join(folder, name), encoding="utf-8") as f:
                    files[path] = INCLUDE.findall(f.read())
    faults = []
    for path, includes in sorted(files.items()):
        for kind, header in includes:
            if kind == "<" and OS_HEADERS.search(header) and not SYSTEM_FILE.match(path):
                faults.append("%s includes the OS header <%s>" % (path, header))
            allowed = next((a for f, a in MAY_INCLUDE.items() if path.startswith(f)), None)
            if kind == '"' and allowed is not None and not header.startswith(allowed):
                faults.append("%s includes %s, above its layer" % (path, header))
    graph = {p: [h for k, h in inc if k == '"' and h in files] for p, inc in files.items()}
    state = {}

    def visit(path, chain):
        state[path] = "open"
        for header in graph[path]:
            if state.get(header) == "open":
                faults.append("circle: " + " -> ".join(chain[chain.index(header):] + [header]))
            elif header not in state:
                visit(header, chain + [header])
        state[path] = "done"

    for path in sorted(graph):
        if path not in state:
            visit(path, [path])
    for fault in faults:
        print(fault)
    print("layers: %d files, %s" % (len(files), "%d faults" % len(faults) if faults else "clean"))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
