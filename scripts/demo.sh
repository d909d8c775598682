#!/usr/bin/env bash
# The pelim demo: in a fresh private Wine prefix (a 64-bit Windows) it runs setup.exe from the
# download folder dist/download/, then right-drops a sample file onto a folder through the
# drop host of each bitness (the registry's road, as the file manager takes it) and renames
# the copy, saving a screenshot of each step. Where the prefix cannot start 32-bit programs
# it says so and installs with the 64-bit setup.exe of dist/x86_64/, dropping once.
#   scripts/demo.sh                 on a private Xvfb display, the robot clicking through
#   scripts/demo.sh --interactive   on your own DISPLAY: you click, the screenshots follow
# Builds first when the distribution or the demo tools are missing. The pictures and the log
# go to demo-output/<time>/ (or $DEMO_OUT), named at the end.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
case "$build" in /*) ;; *) build=$top/$build ;; esac
arch=x86_64
bin=$build/$arch/bin
# shellcheck source=../tests/wine/lib.sh
. "$top/tests/wine/lib.sh"

interactive=0
if [ "${1:-}" = --interactive ]; then
  interactive=1
  : "${DISPLAY:?--interactive needs your DISPLAY}"
fi

PELIM_DLL=none
# shellcheck disable=SC1091
[ ! -f "$build/$arch/product.env" ] || . "$build/$arch/product.env"
if [ ! -f "$top/dist/$arch/setup.exe" ] || [ ! -f "$top/dist/$arch/pelim/$PELIM_DLL" ] ||
   [ ! -f "$bin/drophost.exe" ] || [ ! -f "$bin/demo_driver.exe" ]; then
  echo "demo: building first"
  "$top/scripts/setup-machine.sh"
  BUILD_DIR=$build "$top/scripts/build.sh"
fi

out=${DEMO_OUT:-$top/demo-output/$(date +%Y%m%d-%H%M%S)}
mkdir -p "$out"
out=$(cd "$out" && pwd)

cleanup() {
  [ -n "$shot_watcher" ] && kill "$shot_watcher" 2> /dev/null || true
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k 2> /dev/null || true; fi
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2> /dev/null || true
}
trap cleanup EXIT INT TERM

if [ $interactive = 0 ]; then
  start_xvfb 110 1024x768x24 "$out/xvfb.log"
  display=$xvfb_display
else
  display=$DISPLAY
fi

# A fresh private prefix, made like the test prefixes: no z: drive, HOME a throwaway folder.
echo "demo: preparing a fresh Wine prefix"
env_file=$("$top/tests/wine/prefix.sh" new "$build/$arch" demo | tail -n 1)
# shellcheck disable=SC1090
. "$env_file"
export DISPLAY=$display
# Notepad for .txt files as on Windows, and window frames drawn by Wine itself (there is no
# window manager on the private display).
wine reg add 'HKCR\.txt' /ve /d txtfile /f > /dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f > /dev/null 2>&1

driver_args=()
source_dist=$top/dist/$arch
if [ -f "$top/dist/download/setup.exe" ] && [ -z "$(wine32_missing)" ] &&
   cp "$build/i686/bin/drophost.exe" "$PELIM_SCRATCH/drophost32.exe" 2> /dev/null; then
  source_dist=$top/dist/download
  driver_args=(--drophost32 'S:\drophost32.exe')
  echo "demo: installing from the download folder dist/download/ (32-bit setup.exe, both DLLs)"
else
  echo "demo: this 64-bit Windows prefix cannot start 32-bit programs here; installing with dist/$arch/setup.exe instead"
fi
dist=$PELIM_SCRATCH/dist
mkdir -p "$dist"
cp -r "$source_dist/." "$dist/"

# Screenshots on the driver's request (a file per picture in S:\demo-shots).
watch_shots "$PELIM_SCRATCH/demo-shots" "$out"

echo "demo: running setup.exe and the drop ($([ $interactive = 1 ] && echo 'your turn to click' || echo 'the robot clicks'))"
status=0
(
  cd "$PELIM_SCRATCH"
  export PELIM_SHOT_DIR='S:\demo-shots'
  if [ $interactive = 1 ]; then
    timeout 3600 wine 'P:\demo_driver.exe' --interactive ${driver_args[@]+"${driver_args[@]}"}
  else
    timeout 300 wine 'P:\demo_driver.exe' ${driver_args[@]+"${driver_args[@]}"}
  fi
) > "$out/demo.log" 2>&1 || status=$?
# The driver writes code page 932; the log is kept in UTF-8.
iconv -f CP932 -t UTF-8 -c "$out/demo.log" | tr -d '\r' > "$out/demo.txt" || true
mv "$out/demo.txt" "$out/demo.log"
grep -a -v '^wine: \|fixme\|^$' "$out/demo.log" | sed 's/^/  /' || true

shots=$(find "$out" -name '*.png' | wc -l)
summary=$(grep -a '^summary: ' "$out/demo.log" | tail -n 1 | sed 's/^summary: //')
echo "demo: ${summary:-no summary (see $out/demo.log)}"
echo "demo: $shots screenshots in $out"
exit $status
