#!/usr/bin/env python3
"""Writes a copy of a UTF-8 C++ header whose narrow string and character literals carry
their non-ASCII characters as octal escapes of their code page 932 bytes, the one way the
system's narrow texts reach code page 932 for every architecture (the build runs it on
common/UiTexts.h.in and tests/e2e/UserTexts.h.in). The conversion goes through iconv's
CP932. Wide and UTF literals (L"", u"", U"", u8""), comments and the rest are left as
they are.

    cp932-literals.py SOURCE OUTPUT
"""
import re
import subprocess
import sys


def main():
    convert(sys.argv[1], sys.argv[2])


def convert(source, output):
    text = open(source, encoding="utf-8").read()

    # Comments, literals (with their prefix) and everything else, in source order.
    token = re.compile(r'''//[^\n]*|/\*.*?\*/|(?:u8|[uUL])?R"([^(\s]*)\(.*?\)\1"|'''
                       r'''((?:u8|[uUL])?)("(?:[^"\\\n]|\\.)*"|'(?:[^'\\\n]|\\.)*')''', re.S)
    pieces = []          # (text, narrow literal with non-ASCII characters?)
    last = 0
    for match in token.finditer(text):
        pieces.append((text[last:match.start()], False))
        # A raw literal keeps its escapes as text: a narrow one has no way to the bytes.
        if match.group(0).startswith('R"') and re.search(r"[^\x00-\x7f]", match.group(0)):
            sys.exit(f"{source}: a narrow raw literal with non-ASCII characters cannot become code page 932")
        narrow = match.group(3) is not None and match.group(2) == ""
        pieces.append((match.group(0), narrow and re.search(r"[^\x00-\x7f]", match.group(0)) is not None))
        last = match.end()
    pieces.append((text[last:], False))

    runs = [run for piece, escaped in pieces if escaped for run in re.findall(r"[^\x00-\x7f]+", piece)]
    encoded = []
    if runs:
        result = subprocess.run(["iconv", "-f", "UTF-8", "-t", "CP932"], input="\n".join(runs).encode(),
                                capture_output=True)
        if result.returncode != 0:
            sys.exit(f"{source}: a narrow literal has a character code page 932 lacks: "
                     + result.stderr.decode(errors="replace"))
        encoded = result.stdout.split(b"\n")   # CP932 trail bytes are never 0x0A

    def escape(match):
        return "".join(f"\\{byte:03o}" for byte in encoded.pop(0))

    with open(output, "w", encoding="utf-8") as out:
        out.write(f'#line 1 "{source}"\n')
        for piece, escaped in pieces:
            out.write(re.sub(r"[^\x00-\x7f]+", escape, piece) if escaped else piece)


main()
