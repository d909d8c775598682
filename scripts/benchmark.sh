#!/usr/bin/env bash
# Runs the extension benchmark of every architecture, each in a private prefix of its own
# Windows (x86_64: 64-bit Windows, i686: 32-bit Windows, aarch64: an ARM64 Windows under
# emulation), and prints the figures side by side: extension_benchmark.exe, built for each from
# one source, so the figures' names match. Under emulation only the ratios mean something;
# the size of each DLL is printed too. Builds first when a benchmark program is missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
case "$build" in /*) ;; *) build=$top/$build ;; esac
archs=${ARCHS:-x86_64 i686 aarch64}

for arch in $archs; do
  [ -f "$build/$arch/bin/extension_benchmark.exe" ] || { BUILD_DIR=$build "$top/scripts/build.sh"; break; }
done
cleanup() {
  for arch in $archs; do
    [ "$arch" = aarch64 ] || "$top/tests/wine/prefix.sh" down "$build/$arch" > /dev/null 2>&1 || true
  done
}
trap cleanup EXIT INT TERM

size_row() { # DLL: the figure the x86 benchmark prints of its own DLL
  local size
  size=$(stat -c %s "$1" 2> /dev/null) || return 0
  awk -v d="${1##*/}" -v n="$size" 'BEGIN { printf "%s, stripped (target <= 64 KiB)|%d bytes = %.1f KiB\n", d, n, n / 1024 }'
}
for arch in $archs; do
  out=$build/$arch.benchmark.txt
  if [ "$arch" = aarch64 ]; then
    # The suite's runner boots the ARM64 prefix; it says on one line when it cannot.
    "$top/tests/arm64/run-suite.sh" "$build/aarch64" --run 'P:\extension_benchmark.exe' 2>&1 \
      | tr -d '\r' | grep -v '^wine: \|fixme' > "$out" || true
    # shellcheck disable=SC1091
    . "$build/aarch64/product.env"
    grep -q "^$PELIM_DLL, stripped" "$out" || size_row "$build/aarch64/bin/$PELIM_DLL" >> "$out"
    continue
  fi
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
rows, columns, notes = [], {}, []
for arch in archs:
    columns[arch] = {}
    for line in open(f"{build}/{arch}.benchmark.txt", errors="replace"):
        if " tests skipped: " in line:
            notes.append(line.rstrip("\n"))
        if "|" not in line:
            continue
        what, figure = line.rstrip("\n").split("|", 1)
        if what not in rows:
            rows.append(what)
        columns[arch][what] = figure
print(f"{'':55}" + "".join(f"{arch:>26}" for arch in archs))
for what in rows:
    print(f"{what:55}" + "".join(f"{columns[arch].get(what, 'not run'):>26}" for arch in archs))
for note in notes:
    print(note)
PY
