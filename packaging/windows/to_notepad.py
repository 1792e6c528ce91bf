#!/usr/bin/env python3
"""Writes a UTF-8 text as Windows users read it in Notepad, with CR LF line ends: in Shift-JIS
(code page 932), or with --utf8-bom in UTF-8 with a byte-order mark, which Notepad on a Windows
of any language reads right.

    to_notepad.py [--utf8-bom] IN.txt OUT.txt

Fails, writing nothing, when a character has no Shift-JIS form of its own: the conversion is
lossless or it does not happen.
"""
import sys


def main():
    args = sys.argv[1:]
    utf8 = args[:1] == ["--utf8-bom"]
    if utf8:
        args = args[1:]
    if len(args) != 2:
        sys.exit(__doc__)
    with open(args[0], encoding="utf-8", newline="") as f:
        text = f.read().replace("\r\n", "\n").replace("\n", "\r\n")
    encoding = "utf-8-sig" if utf8 else "cp932"
    try:
        data = text.encode(encoding)
    except UnicodeEncodeError as e:
        sys.exit("%s: %r has no Shift-JIS form" % (args[0], e.object[e.start:e.end]))
    if data.decode(encoding) != text:
        sys.exit("%s: does not come back the same from Shift-JIS" % args[0])
    with open(args[1], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
