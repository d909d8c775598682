#!/usr/bin/env bash
# The README's test command: installs what is missing, builds every architecture and runs
# every test under Wine: the x86_64 suite in a 64-bit Windows prefix, the i686 suite in a
# 32-bit one, the aarch64 suite in an ARM64 Windows under emulation (tests/arm64/), all at
# once (each with its own prefixes and Xvfb display). Arguments go to both ctest runs
# (e.g. -R install); the aarch64 suite takes the regular expression of -R alone, for its
# case names. ARCHS=x86_64 runs one suite only.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
case "$build" in /*) ;; *) build=$top/$build ;; esac
export BUILD_DIR=$build
archs=${ARCHS:-x86_64 i686 aarch64}

"$top/scripts/setup-machine.sh"
"$top/scripts/build.sh"

cleanup() {
  for arch in $archs; do
    [ "$arch" = aarch64 ] || "$top/tests/wine/prefix.sh" down "$build/$arch" > /dev/null 2>&1 || true
  done
}
trap cleanup EXIT INT TERM

# The x86_64 tree's checks that need the other trees' programs (the imports of every build,
# the ARM64 DLL's texts, the download's 32-bit setup.exe) get their folders here.
export PELIM_I686_BIN=$build/i686/bin PELIM_AARCH64_BIN=$build/aarch64/bin

run_suite() { # arch, ctest arguments...
  local arch=$1 start status=0; shift
  start=$(date +%s)
  if [ "$arch" = aarch64 ]; then
    mkdir -p "$build/aarch64"
    PELIM_ARM64_CASES=$(arm64_cases "$@") "$top/tests/arm64/run-suite.sh" "$build/aarch64" \
      > "$build/$arch.test.log" 2>&1 < /dev/null || status=$?
  else
    (cd "$build/$arch" && ctest -j "${JOBS:-2}" --output-on-failure --timeout 600 "$@") \
      > "$build/$arch.test.log" 2>&1 < /dev/null || status=$?
  fi
  echo "$(( $(date +%s) - start ))" > "$build/$arch.test.time"
  return $status
}

# The regular expression of ctest's -R, which the aarch64 suite applies to its case names.
arm64_cases() {
  while [ $# -gt 0 ]; do
    case $1 in -R|--tests-regex) echo "${2:-}"; return ;; -R*) echo "${1#-R}"; return ;; esac
    shift
  done
}

start=$(date +%s)
declare -A pids
for arch in $archs; do
  run_suite "$arch" "$@" &
  pids[$arch]=$!
done
status=0
declare -A results
for arch in $archs; do
  if wait "${pids[$arch]}"; then results[$arch]=ok; else results[$arch]=FAILED; status=1; fi
done

# Each suite's log in turn, then one line per architecture and the totals.
passed=0 failed=0 skipped=0
for arch in $archs; do
  echo "===== $arch ====="
  cat "$build/$arch.test.log"
done
echo "===== summary ====="
for arch in $archs; do
  log=$build/$arch.test.log
  if [ "$arch" = aarch64 ]; then
    # Its closing line: "aarch64 suite: P passed, F failed, S skipped in T s".
    grep '^aarch64 tests skipped:' "$log" || true
    read -r npass nfail nskip < <(sed -n 's/^aarch64 suite: \([0-9]*\) passed, \([0-9]*\) failed, \([0-9]*\) skipped.*/\1 \2 \3/p' "$log" | tail -n 1) || true
    [ -n "${npass:-}" ] || { npass=0 nfail=1 nskip=0; }    # no closing line: it broke off
    echo "$arch: ${results[$arch]}: $npass passed, $nfail failed, $nskip skipped" \
      "in $(cat "$build/$arch.test.time" 2>/dev/null || echo '?') s"
    passed=$((passed + npass)) failed=$((failed + nfail)) skipped=$((skipped + nskip))
    continue
  fi
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  nfail=$(sed -n 's/.* \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -n 1)
  nskip=$(grep -c '\*\*\*Skipped' "$log" || true)
  total=${total:-0} nfail=${nfail:-0}
  [ -f "$build/$arch/wine/unsupported" ] && cat "$build/$arch/wine/unsupported"
  echo "$arch: ${results[$arch]}: $((total - nfail - nskip)) passed, $nfail failed, $nskip skipped" \
    "in $(cat "$build/$arch.test.time" 2>/dev/null || echo '?') s"
  passed=$((passed + total - nfail - nskip)) failed=$((failed + nfail)) skipped=$((skipped + nskip))
done
echo "test run took $(( $(date +%s) - start )) s"
echo "$passed passed, $failed failed, $skipped skipped"
exit $status
