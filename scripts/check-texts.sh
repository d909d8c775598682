#!/usr/bin/env bash
# Checks that a build of pelim102.dll carries the system's texts as the same code page 932
# bytes as a reference build: every zero-terminated code page 932 string with a double-byte
# character in the reference's data and resources (.data, .rdata, .rsrc) must be in the
# other binary too, zero-terminated. The ARM64 build gets its texts from a conversion of the sources
# (cmake/cp932-literals.py), the MinGW builds from GCC's -fexec-charset=CP932.
#   check-texts.sh REFERENCE.dll OTHER.dll...
set -euo pipefail
python3 - "$@" <<'PY'
import re
import struct
import sys


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


reference, others = sys.argv[1], sys.argv[2:]
expected = texts(reference)
status = 0
for other in others:
    haystack = open(other, "rb").read()
    missing = [text for text in sorted(expected) if b"\0" + text + b"\0" not in haystack]
    if not expected or missing:
        status = 1
        print(f"FAIL {other}: {len(missing)} of the {len(expected)} texts of {reference} missing")
        for text in missing:
            print("  " + text.decode("cp932"))
    else:
        print(f"ok   {other} carries the {len(expected)} code page 932 texts of {reference}")
sys.exit(status)
PY
