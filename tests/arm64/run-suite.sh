#!/usr/bin/env bash
# The aarch64 suite: the ARM64 test program run in an ARM64 Windows under emulation (Debian's
# arm64 Wine in the arm64 root of root.sh, run by qemu-user). Builds nothing.
#   run-suite.sh BUILD [CASE...]          every case of arm64tests.exe --list, or the ones named
#                                         (PELIM_ARM64_CASES=REGEX: the listed ones it matches,
#                                         PELIM_ARM64_EXCLUDE=REGEX: but not these)
#   run-suite.sh BUILD --run PROGRAM ARGS one Windows program in a fresh prefix (by hand)
# Like the x86 harness (tests/wine/): a private win64 prefix booted for the run, HOME a
# throwaway folder, the z: link to / removed, P: = BUILD/bin, S: = scratch, the current
# folder on S:, LC_ALL=ja_JP.UTF-8, WINEDEBUG=-all, an Xvfb display (inside the root), output
# through files (Wine's background processes must not hold pipes), a time limit on every run
# and wineserver -k at the end. One line per case, then the closing line that the summary of
# scripts/run-tests.sh counts. Where this host cannot run the emulation the suite says so on
# one line and its cases count as skipped.
# The root sees the host's /proc, /sys, /dev, BUILD and the prefix folder (PELIM_ARM64_WORK,
# default BUILD/wine) through bind mounts made for the run only, in a mount namespace of its
# own where one can be had, and unmounted on every exit.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../wine/lib.sh
. "$here/../wine/lib.sh"
build=$(cd "${1:?usage: run-suite.sh BUILD [CASE...] | BUILD --run PROGRAM [ARGS...]}" && pwd -P); shift
root=${PELIM_ARM64_ROOT:-/var/cache/pelim/arm64-root}
work=${PELIM_ARM64_WORK:-$build/wine}
mkdir -p "$work"
work=$(cd "$work" && pwd -P)    # the root sees real paths only
case_limit=${PELIM_ARM64_CASE_TIMEOUT:-180}
program=$build/bin/arm64tests.exe
started=$(date +%s)

closing() { # passed failed skipped
  echo "aarch64 suite: $1 passed, $2 failed, $3 skipped in $(( $(date +%s) - started )) s"
}

if [ -z "${PELIM_ARM64_INSIDE:-}" ]; then
  if [ "${1:-}" != --run ] && [ ! -f "$program" ]; then
    echo "no $program: the aarch64 build made no test program"
    closing 0 1 0
    exit 1
  fi
  reason=$(bash "$here/root.sh" check) || true
  if [ -n "$reason" ]; then
    # Without the emulation the case list cannot be read: the suite counts as one case.
    echo "aarch64 tests skipped: $reason" | tee "$work/unsupported"
    closing 0 0 1
    exit 0
  fi
  rm -f "$work/unsupported"
  export PELIM_ARM64_INSIDE=1
  # The mounts of a private mount namespace end with its last process, whatever happens.
  if unshare --mount --propagation private true 2> /dev/null; then
    exec unshare --mount --propagation private bash "$0" "$build" "$@"
  fi
fi

mounted=()
xvfb_pid= child=
env_file=$work/main/env
finish() {
  local i
  [ -z "$child" ] || kill "$child" 2> /dev/null || true
  if [ -f "$env_file" ]; then in_root 30 wineserver64 -k > /dev/null 2>&1 || true; fi
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2> /dev/null || true
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2> /dev/null || true; done
}
trap finish EXIT
trap 'exit 130' INT TERM

bind() { # host folder, at the same path inside the root
  mkdir -p "$root$1"
  mount --rbind "$1" "$root$1"
  mounted+=("$root$1")
}
for dir in /proc /sys /dev; do bind "$dir"; done
bind "$build"
case "$work/" in "$build"/*) ;; *) bind "$work" ;; esac
bin=$build/bin
if [ -d "$bin" ]; then
  bin=$(cd "$bin" && pwd -P)
  case "$bin/" in "$build"/*) ;; *) bind "$bin" ;; esac
fi

# A command inside the root, with a time limit, in the folder in_dir (default /), with the
# prefix's environment only (none of the host's).
in_dir=/
# Waited for in the background, so that an interruption ends the run at once.
in_root() { # seconds, command...
  local limit=$1 vars=(PATH=/usr/lib/wine:/usr/bin:/bin) status=0; shift
  [ ! -f "$env_file" ] || mapfile -t -O 1 vars < "$env_file"
  timeout -k 10 "$limit" chroot "$root" /usr/bin/env -i -C "$in_dir" "${vars[@]}" "$@" &
  child=$!
  wait "$child" || status=$?
  child=
  return $status
}

# Xvfb picks a free display itself and names it when it is ready.
display=
start_display() {
  local display_file=$work/display n=
  rm -f "$display_file"
  chroot "$root" /usr/bin/Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
    3> "$display_file" > "$work/xvfb.log" 2>&1 < /dev/null &
  xvfb_pid=$!
  for _ in $(seq 1 300); do
    n=$(cat "$display_file" 2> /dev/null || true)
    [ -z "$n" ] || break
    sleep 0.1
  done
  [ -n "$n" ] || { echo "Xvfb did not start in the arm64 root" >&2; cat "$work/xvfb.log" >&2; exit 1; }
  display=:$n
}

boot_prefix() {
  local main=$work/main
  rm -rf "$main"
  mkdir -p "$main/home" "$main/scratch"
  start_display
  cat > "$env_file.tmp" <<ENV
PATH=/usr/lib/wine:/usr/bin:/bin
WINEPREFIX=$main/prefix
WINEARCH=win64
WINELOADER=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
HOME=$main/home
WINEDEBUG=-all
LC_ALL=ja_JP.UTF-8
LANG=ja_JP.UTF-8
WINEDLLOVERRIDES=mscoree,mshtml=
DISPLAY=$display
ENV
  mv "$env_file.tmp" "$env_file"
  if ! in_root 300 wine64 wineboot -i > "$main/boot.log" 2>&1 < /dev/null ||
     ! in_root 120 wineserver64 -w > /dev/null 2>&1 < /dev/null; then
    echo "the ARM64 prefix did not boot:" >&2; cat "$main/boot.log" >&2; exit 1
  fi
  seal_prefix "$main/prefix" p "$bin" s "$main/scratch"
  # A persistent server, and the prefix's background processes started now.
  in_root 60 wineserver64 -p > /dev/null 2>&1 < /dev/null
  in_root 120 wine64 cmd /c exit > /dev/null 2>&1 < /dev/null || true
}

# One Windows program run in the prefix from S:, with a time limit; its output through a file.
run_windows() { # seconds, log file, program, arguments...
  local limit=$1 log=$2; shift 2
  in_dir=$work/main/scratch in_root "$limit" wine64 "$@" > "$log" 2>&1 < /dev/null
}

boot_prefix
if [ "${1:-}" = --run ]; then
  shift
  status=0
  run_windows "$case_limit" "$work/run.log" "$@" || status=$?
  tr -d '\r' < "$work/run.log"
  exit $status
fi

if [ $# -gt 0 ]; then
  cases=("$@")
else
  status=0
  run_windows 120 "$work/list.log" 'P:\arm64tests.exe' --list || status=$?
  mapfile -t cases < <(tr -d '\r' < "$work/list.log" | grep -v '^[[:space:]]*$' || true)
  if [ $status != 0 ] || [ ${#cases[@]} = 0 ]; then
    echo "arm64tests.exe --list failed (exit $status):"; tr -d '\r' < "$work/list.log"
    closing 0 1 0
    exit 1
  fi
  if [ -n "${PELIM_ARM64_CASES:-}" ]; then
    mapfile -t cases < <(printf '%s\n' "${cases[@]}" | grep -E -- "$PELIM_ARM64_CASES" || true)
  fi
  if [ -n "${PELIM_ARM64_EXCLUDE:-}" ] && [ ${#cases[@]} -gt 0 ]; then
    mapfile -t cases < <(printf '%s\n' "${cases[@]}" | grep -v -E -- "$PELIM_ARM64_EXCLUDE" || true)
  fi
fi

passed=0 failed=0 skipped=0 i=0
for name in "${cases[@]}"; do
  i=$((i + 1))
  log=$work/case-$i.log
  case_start=$(date +%s) status=0
  run_windows "$case_limit" "$log" 'P:\arm64tests.exe' "$name" || status=$?
  took=$(( $(date +%s) - case_start ))
  case $status in
    0) verdict=passed; passed=$((passed + 1)) ;;
    77) verdict=skipped; skipped=$((skipped + 1)) ;;
    124|137) verdict="FAILED (no end within $case_limit s)"; failed=$((failed + 1)) ;;
    *) verdict="FAILED (exit $status)"; failed=$((failed + 1)) ;;
  esac
  printf '%3d/%d %-50s %s  %s s\n' "$i" "${#cases[@]}" "$name" "$verdict" "$took"
  # The output of a failed or skipped case, as ctest --output-on-failure shows it.
  [ $status = 0 ] || tr -d '\r' < "$log" | grep -v '^wine: \|fixme' | sed 's/^/      /'
done
closing "$passed" "$failed" "$skipped"
[ "$failed" = 0 ]
