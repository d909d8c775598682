#!/usr/bin/env bash
# Runs the extension benchmark of both architectures, each in a private prefix of its own
# Windows (x86_64: 64-bit Windows, i686: 32-bit Windows), and prints the figures side by
# side. Builds first when a benchmark program is missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
case "$build" in /*) ;; *) build=$top/$build ;; esac
archs=${ARCHS:-x86_64 i686}

for arch in $archs; do
  [ -f "$build/$arch/bin/extension_benchmark.exe" ] || { BUILD_DIR=$build "$top/scripts/build.sh"; break; }
done
cleanup() { for arch in $archs; do "$top/tests/wine/prefix.sh" down "$build/$arch" > /dev/null 2>&1 || true; done; }
trap cleanup EXIT INT TERM

for arch in $archs; do
  out=$build/$arch.benchmark.txt
  if "$top/tests/wine/prefix.sh" up "$build/$arch" > "$out" 2>&1; then
    "$top/tests/wine/run.sh" "$build/$arch" 'P:\extension_benchmark.exe' 2>&1 | tr -d '\r' \
      | grep -v '^wine: \|fixme' > "$out" || true
  fi
  "$top/tests/wine/prefix.sh" down "$build/$arch" > /dev/null 2>&1 || true
done
# One column per architecture: the figure lines are "what|figure".
python3 - "$build" $archs <<'PY'
import sys
build, archs = sys.argv[1], sys.argv[2:]
rows, columns = [], {}
for arch in archs:
    columns[arch] = {}
    for line in open(f"{build}/{arch}.benchmark.txt", errors="replace"):
        if "|" not in line:
            continue
        what, figure = line.rstrip("\n").split("|", 1)
        if what not in rows:
            rows.append(what)
        columns[arch][what] = figure
print(f"{'':55}" + "".join(f"{arch:>26}" for arch in archs))
for what in rows:
    print(f"{what:55}" + "".join(f"{columns[arch].get(what, 'not run'):>26}" for arch in archs))
PY
