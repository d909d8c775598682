#!/usr/bin/env bash
# Builds the three architectures into ${BUILD_DIR:-build}/<arch> and stages the
# distribution layout dist/<arch>/{setup.exe,pelim/pelim102.dll,pelim/readme.txt} (aarch64:
# no setup.exe), and the one folder users download, dist/download/: the 32-bit setup.exe
# with pelim/pelim102.dll (32-bit), pelim/readme.txt, pelim/x64/pelim102.dll (64-bit) and
# pelim/arm64/pelim102.dll (ARM64); the DLL's name carries the version (CMakeLists.txt).
# Each tree is built with its tests (PELIM_TESTS=OFF builds the product only); with --demo
# (the main command) only what the demo uses: the deliverables, and the drop host and the
# demo's driver of the x86 trees, in the same trees, whose test programs the test command
# builds later. A missing deliverable fails the build.
#   build.sh [--demo]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
demo=0
case "${1:-}" in
  --demo) demo=1 ;;
  '') ;;
  *) echo "usage: build.sh [--demo]" >&2; exit 2 ;;
esac
build=${BUILD_DIR:-$top/build}
case "$build" in /*) ;; *) build=$top/$build ;; esac
jobs=${JOBS:-2}
# shellcheck source=../tests/install/stage-dist.sh
. "$top/tests/install/stage-dist.sh"

# Copies a deliverable into place, failing loudly when the build did not make it.
stage() {
  [ -f "$1" ] || { echo "missing deliverable: $1" >&2; exit 1; }
  cp "$1" "$2"
}

for arch in x86_64 i686 aarch64; do
  tests=${PELIM_TESTS:-ON}
  mkdir -p "$build"
  cmake -S "$top" -B "$build/$arch" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DPELIM_TESTS=$tests > "$build/$arch.configure.log" 2>&1 \
    || { mkdir -p "$build"; cat "$build/$arch.configure.log"; exit 1; }
  # The DLL's file name (PELIM_DLL), as CMake made it from the version.
  . "$build/$arch/product.env"
  targets=()
  if [ $demo = 1 ]; then
    case $arch in
      x86_64) targets=(--target setup pelim_dll drophost demo_driver) ;;
      i686) targets=(--target setup pelim_dll drophost) ;;
      aarch64) targets=(--target pelim_dll) ;;
    esac
  fi
  if ! cmake --build "$build/$arch" -j "$jobs" ${targets[@]+"${targets[@]}"} > "$build/$arch.build.log" 2>&1; then
    grep -v -E '^\[ *[0-9]+%\]' "$build/$arch.build.log" | tail -60
    echo "build of $arch failed (full log: $build/$arch.build.log)"
    exit 1
  fi
  grep -E 'warning:' "$build/$arch.build.log" | grep -v googletest | sort -u | head -20 || true

  dist=$top/dist/$arch
  rm -rf "$dist"
  mkdir -p "$dist/pelim"
  # The 32-bit setup.exe installs the ARM64 DLL: that tree builds none.
  [ "$arch" = aarch64 ] || stage "$build/$arch/bin/setup.exe" "$dist/"
  stage "$build/$arch/bin/$PELIM_DLL" "$dist/pelim/"
  stage "$build/$arch/readme.txt" "$dist/pelim/"
  echo "built $arch: $(cd "$dist" && find . -type f | sort | tr '\n' ' ')"
done

# The ARM64 DLL's texts are made by another compiler: they must be the x86 builds' bytes.
"$top/scripts/check-texts.sh" "$top/dist/x86_64/pelim/$PELIM_DLL" \
  "$top/dist/i686/pelim/$PELIM_DLL" "$top/dist/aarch64/pelim/$PELIM_DLL"

download=$top/dist/download
rm -rf "$download"
stage_download "$download" "$build/i686/bin" "$build/x86_64/bin" "$build/aarch64/bin" \
  "$build/i686/readme.txt" || exit 1
echo "staged the download: $(cd "$download" && find . -type f | sort | tr '\n' ' ')"
