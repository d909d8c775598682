#!/usr/bin/env bash
# The one check of the narrow texts' road to code page 932.
# - The sources: no narrow literal outside ASCII in what is compiled without GCC's conversion
#   (the product, and the test programs the ARM64 tree builds), but in the texts files
#   (*.h.in) that the build writes out with code page 932 literals (cmake/cp932-literals.py).
# - With binaries: every zero-terminated code page 932 string with a double-byte character
#   in the reference's data and resources (.data, .rdata, .rsrc) must be in each other
#   binary too, zero-terminated; and so must every text of common/UiTexts.h.in that the
#   reference carries, also where the linker put it right after other data.
#   check-texts.sh [REFERENCE.dll OTHER.dll...]
set -euo pipefail
PELIM_TOP=$(cd "$(dirname "$0")/.." && pwd) python3 - "$@" <<'PY'
import os
import re
import struct
import sys

top = os.environ["PELIM_TOP"]


def sections(path):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count = struct.unpack_from("<H", data, pe + 6)[0]
    table = pe + 24 + struct.unpack_from("<H", data, pe + 20)[0]
    found = {}
    for i in range(count):
        name, _, _, size, offset = struct.unpack_from("<8sIIII", data, table + 40 * i)
        found[name.rstrip(b"\0").decode()] = data[offset:offset + size]
    return found


def texts(path):
    found = set()
    parts = sections(path)
    for name in (".data", ".rdata", ".rsrc"):
        for run in re.findall(rb"(?<=\0)[\x09\x0A\x0D\x20-\xFC]{4,}(?=\0)", parts.get(name, b"")):
            try:
                text = run.decode("cp932")
            except UnicodeDecodeError:
                continue
            if any(len(c.encode("cp932")) == 2 for c in text):
                found.add(run)
    return found


LITERAL = re.compile(r'(?<![LuU8\w])"((?:\\.|[^"\\\n])*)"')
ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"', "0": "\0"}


def stray_literals():
    """Narrow literals outside ASCII in sources compiled without a conversion."""
    found = []
    for folder in ("common", "comserver", "ext", "setup", "benchmarks", "tests/arm64",
                   "tests/robot", "tests/support", "tests/tools"):
        for root, _, files in os.walk(os.path.join(top, folder)):
            for name in sorted(files):
                if not name.endswith((".cpp", ".h")):
                    continue
                path = os.path.join(root, name)
                source = re.sub(r"//[^\n]*|/\*.*?\*/", "", open(path, encoding="utf-8").read(),
                                flags=re.S)
                found += [f"{os.path.relpath(path, top)}: \"{literal}\""
                          for literal in LITERAL.findall(source) if re.search(r"[^\x00-\x7f]", literal)]
    return found


def ui_texts():
    found = set()
    source = open(os.path.join(top, "common", "UiTexts.h.in"), encoding="utf-8").read()
    for literal in LITERAL.findall(source):
        text = re.sub(r"\\(.)", lambda m: ESCAPES.get(m.group(1), m.group(0)), literal)
        encoded = text.encode("cp932")
        if len(encoded) > len(text):
            found.add(encoded)
    return found


stray = stray_literals()
for line in stray:
    print("FAIL narrow text outside the texts files: " + line)
if stray or len(sys.argv) < 3:
    sys.exit(1 if stray else 0)
reference, others = sys.argv[1], sys.argv[2:]
expected = texts(reference)
reference_bytes = open(reference, "rb").read()
expected |= {text for text in ui_texts() if text + b"\0" in reference_bytes}
status = 0
for other in others:
    haystack = open(other, "rb").read()
    missing = [text for text in sorted(expected) if text + b"\0" not in haystack]
    if not expected or missing:
        status = 1
        print(f"FAIL {other}: {len(missing)} of the {len(expected)} texts of {reference} missing")
        for text in missing:
            print("  " + text.decode("cp932"))
    else:
        print(f"ok   {other} carries the {len(expected)} code page 932 texts of {reference}")
sys.exit(status)
PY
