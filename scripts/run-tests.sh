#!/usr/bin/env bash
# The README's test command: installs what is missing, builds every architecture and runs
# every test under Wine: the x86_64 suite in a 64-bit Windows prefix, the i686 suite in a
# 32-bit one, the aarch64 suite in an ARM64 Windows under emulation (tests/arm64/), all at
# once (each with its own prefixes and Xvfb display). Arguments go to both ctest runs
# (e.g. -R install); the aarch64 suite takes the same selection, the regular expressions of
# -R and -E, for its case names. ARCHS=x86_64 runs one suite only. Each suite ends its log
# with the closing line "ARCH suite: P passed, F failed, S skipped in T s", which the
# summary reads.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
case "$build" in /*) ;; *) build=$top/$build ;; esac
export BUILD_DIR=$build
archs=${ARCHS:-x86_64 i686 aarch64}

# The arm64 root is made only for a run of the aarch64 suite.
case " $archs " in
  *" aarch64 "*) "$top/scripts/setup-machine.sh" --arm64-root ;;
  *) "$top/scripts/setup-machine.sh" ;;
esac
"$top/scripts/build.sh"

cleanup() {
  for arch in $archs; do
    [ "$arch" = aarch64 ] || "$top/tests/wine/prefix.sh" down "$build/$arch" > /dev/null 2>&1 || true
  done
}
trap cleanup EXIT INT TERM

# The selection of ctest's arguments: the regular expression of -R (include) or of -E
# (exclude), in any of ctest's spellings; the last one counts, as in ctest.
selection() { # -R|-E, ctest arguments...
  local option=$1 long found=; shift
  [ "$option" = -R ] && long=--tests-regex || long=--exclude-regex
  while [ $# -gt 0 ]; do
    case $1 in
      "$option"|"$long") found=${2:-}; shift ;;
      "$long"=*) found=${1#*=} ;;
      "$option"?*) found=${1#"$option"} ;;
    esac
    shift
  done
  echo "$found"
}

# Its closing line from ctest's log: "N tests failed out of M", the skipped ones counted;
# without that line a failed run counts as one failure.
ctest_closing() { # arch, ctest's exit status, log, seconds
  local total nfail nskip
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$3" | tail -n 1)
  nfail=$(sed -n 's/.* \([0-9]*\) tests failed out of.*/\1/p' "$3" | tail -n 1)
  nskip=$(grep -c '\*\*\*Skipped' "$3" || true)
  if [ -z "$total" ]; then
    total=0 nfail=0 nskip=0
    [ "$2" = 0 ] || total=1 nfail=1
  fi
  echo "$1 suite: $((total - nfail - nskip)) passed, $nfail failed, $nskip skipped in $4 s"
}
# The x86_64 tree's checks that need the other trees' programs (the imports of every build,
# the ARM64 DLL's texts, the download's 32-bit setup.exe) get their folders here.
export PELIM_I686_BIN=$build/i686/bin PELIM_AARCH64_BIN=$build/aarch64/bin

run_suite() { # arch, ctest arguments...
  local arch=$1 start status=0 log=$build/$1.test.log; shift
  start=$(date +%s)
  if [ "$arch" = aarch64 ]; then
    mkdir -p "$build/aarch64"
    PELIM_ARM64_CASES=$(selection -R "$@") PELIM_ARM64_EXCLUDE=$(selection -E "$@") \
      "$top/tests/arm64/run-suite.sh" "$build/aarch64" > "$log" 2>&1 < /dev/null || status=$?
  else
    (cd "$build/$arch" && ctest -j "${JOBS:-2}" --output-on-failure --timeout 600 "$@") \
      > "$log" 2>&1 < /dev/null || status=$?
    ctest_closing "$arch" $status "$log" $(( $(date +%s) - start )) >> "$log"
  fi
  return $status
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
  # Why the suite could not run here, and its closing line.
  cat "$build/$arch/wine/unsupported" 2> /dev/null || true
  read -r npass nfail nskip took < <(sed -n "s/^$arch suite: \([0-9]*\) passed, \([0-9]*\) failed, \([0-9]*\) skipped in \([0-9]*\) s\$/\1 \2 \3 \4/p" \
    "$build/$arch.test.log" | tail -n 1) || true
  [ -n "${npass:-}" ] || { npass=0 nfail=1 nskip=0 took='?'; }    # no closing line: it broke off
  echo "$arch: ${results[$arch]}: $npass passed, $nfail failed, $nskip skipped in $took s"
  passed=$((passed + npass)) failed=$((failed + nfail)) skipped=$((skipped + nskip))
  npass=
done
echo "test run took $(( $(date +%s) - start )) s"
echo "$passed passed, $failed failed, $skipped skipped"
exit $status
