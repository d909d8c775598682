#!/usr/bin/env bash
# Checks that a build of pelim102.dll carries the system's texts as the same code page 932
# bytes as a reference build: every zero-terminated code page 932 string with a double-byte
# character in the reference's data and resources (.data, .rdata, .rsrc) must be in the
# other binary too, zero-terminated; and so must every narrow literal with a double-byte
# character in the DLL's sources (ext/, comserver/, common/) that the reference carries, also
# where the linker put it right after other data. The ARM64 build gets its texts from a conversion of the sources
# (cmake/cp932-literals.py), the MinGW builds from GCC's -fexec-charset=CP932.
#   check-texts.sh REFERENCE.dll OTHER.dll...
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


def source_literals():
    found = set()
    escapes = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"', "0": "\0"}
    for folder in ("ext", "comserver", "common"):
        for root, _, files in os.walk(os.path.join(top, folder)):
            for name in files:
                if not name.endswith((".cpp", ".h")):
                    continue
                source = open(os.path.join(root, name), encoding="utf-8").read()
                for literal in re.findall(r'(?<![LuU8\w])"((?:\\.|[^"\\\n])*)"', source):
                    text = re.sub(r"\\(.)", lambda m: escapes.get(m.group(1), m.group(0)), literal)
                    try:
                        encoded = text.encode("cp932")
                    except UnicodeEncodeError:
                        continue
                    if len(encoded) > len(text):
                        found.add(encoded)
    return found


reference, others = sys.argv[1], sys.argv[2:]
expected = texts(reference)
reference_bytes = open(reference, "rb").read()
expected |= {text for text in source_literals() if text + b"\0" in reference_bytes}
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
