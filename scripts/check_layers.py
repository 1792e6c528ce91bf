#!/usr/bin/env python3
"""Checks the layers of src/: no file of src/platform includes a header of the core (driver,
naming, replay), the core includes no OS header, and no chain of includes comes back to where it
started. Test files (*_test.cpp) may include anything. Exits 1 and says where, otherwise 0."""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SRC = os.path.join(ROOT, "src")
CORE = ("driver/", "naming/", "replay/")
OS_HEADERS = re.compile(r"^(windows|unistd|fcntl|signal|termios|dirent|pthread|poll)\.h$|^sys/")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


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
            if path.startswith("platform/") and kind == '"' and header.startswith(CORE):
                faults.append("%s includes %s of the core" % (path, header))
            if path.startswith(CORE) and kind == "<" and OS_HEADERS.search(header):
                faults.append("%s includes the OS header <%s>" % (path, header))
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
