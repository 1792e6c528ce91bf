#!/usr/bin/env python3
"""Writes a UTF-8 text as Windows users read it in Notepad: Shift-JIS (code page 932), CR LF.

    to_cp932.py IN.txt OUT.txt

Fails, writing nothing, when a character has no Shift-JIS form of its own: the conversion is
lossless or it does not happen.
"""
import sys


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding="utf-8", newline="") as f:
        text = f.read().replace("\r\n", "\n")
    try:
        data = text.replace("\n", "\r\n").encode("cp932")
    except UnicodeEncodeError as e:
        sys.exit("%s: %r has no Shift-JIS form" % (sys.argv[1], e.object[e.start:e.end]))
    if data.decode("cp932") != text.replace("\n", "\r\n"):
        sys.exit("%s: does not come back the same from Shift-JIS" % sys.argv[1])
    with open(sys.argv[2], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
