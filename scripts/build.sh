#!/usr/bin/env bash
# Builds both architectures into ${BUILD_DIR:-build}/<arch> and stages the distribution
# layout dist/<arch>/{setup.exe,pelim/pelim102.dll,pelim/readme.txt}, and the one folder
# users download, dist/download/: the 32-bit setup.exe with pelim/pelim102.dll (32-bit),
# pelim/readme.txt and pelim/x64/pelim102.dll (64-bit).
# Each tree is built with its tests (PELIM_TESTS=OFF builds the product only).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
case "$build" in /*) ;; *) build=$top/$build ;; esac
jobs=${JOBS:-2}

for arch in x86_64 i686; do
  tests=${PELIM_TESTS:-ON}
  mkdir -p "$build"
  cmake -S "$top" -B "$build/$arch" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DPELIM_TESTS=$tests > "$build/$arch.configure.log" 2>&1 \
    || { mkdir -p "$build"; cat "$build/$arch.configure.log"; exit 1; }
  if ! cmake --build "$build/$arch" -j "$jobs" > "$build/$arch.build.log" 2>&1; then
    grep -v -E '^\[ *[0-9]+%\]' "$build/$arch.build.log" | tail -60
    echo "build of $arch failed (full log: $build/$arch.build.log)"
    exit 1
  fi
  grep -E 'warning:' "$build/$arch.build.log" | grep -v googletest | sort -u | head -20 || true

  dist=$top/dist/$arch
  rm -rf "$dist"
  mkdir -p "$dist/pelim"
  [ -f "$build/$arch/bin/setup.exe" ] && cp "$build/$arch/bin/setup.exe" "$dist/"
  [ -f "$build/$arch/bin/pelim102.dll" ] && cp "$build/$arch/bin/pelim102.dll" "$dist/pelim/"
  [ -f "$top/setup/readme.txt" ] && cp "$top/setup/readme.txt" "$dist/pelim/"
  echo "built $arch: $(cd "$dist" && find . -type f | sort | tr '\n' ' ')"
done

download=$top/dist/download
rm -rf "$download"
if [ -f "$top/dist/i686/setup.exe" ] && [ -f "$top/dist/i686/pelim/pelim102.dll" ] &&
   [ -f "$top/dist/x86_64/pelim/pelim102.dll" ]; then
  mkdir -p "$download/pelim/x64"
  cp "$top/dist/i686/setup.exe" "$download/"
  cp "$top/dist/i686/pelim/pelim102.dll" "$top/dist/i686/pelim/readme.txt" "$download/pelim/"
  cp "$top/dist/x86_64/pelim/pelim102.dll" "$download/pelim/x64/"
  echo "staged the download: $(cd "$download" && find . -type f | sort | tr '\n' ' ')"
fi
