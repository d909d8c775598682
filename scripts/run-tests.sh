#!/usr/bin/env bash
# The README's test command: installs what is missing, builds both architectures and runs
# every test under Wine (x86_64) plus the import checks of both architectures.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
case "$build" in /*) ;; *) build=$top/$build ;; esac
export BUILD_DIR=$build

"$top/scripts/setup-machine.sh"
"$top/scripts/build.sh"

cleanup() { "$top/tests/wine/prefix.sh" down "$build/x86_64" > /dev/null 2>&1 || true; }
trap cleanup EXIT INT TERM

start=$(date +%s)
status=0
(cd "$build/x86_64" && ctest -j "${JOBS:-2}" --output-on-failure --timeout 600 "$@") || status=$?
echo "test run took $(( $(date +%s) - start )) s"
exit $status
