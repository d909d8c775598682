#!/usr/bin/env bash
# Private Wine prefixes for the test runs, kept away from the host's files:
#   prefix.sh up   BUILD        boot BUILD/wine/main, start Xvfb and a persistent wineserver
#   prefix.sh down BUILD        end the wineservers of all prefixes under BUILD/wine and Xvfb
#   prefix.sh new  BUILD NAME   boot another prefix BUILD/wine/NAME (same display), for tests
#                               that change the system (install, restart); prints its env file
# Each prefix: HOME is a throwaway folder, the user folders are real folders (not links to
# HOME), the z: link to the host's / is removed, P: = BUILD/bin (programs), S: = a scratch
# folder, R: = a scratch folder used as a drive root. Never ~/.wine.
# The build tree's file "winearch" says which Windows to boot: win64 (64-bit Windows with
# 32-bit support) or win32 (a 32-bit Windows, for the i686 build). Where this host cannot
# run 32-bit programs, "up" and "new" of a win32 tree say so on one line, leave the reason
# in BUILD/wine/unsupported and exit 77: the tests of that tree count as skipped.
set -euo pipefail
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"

cmd=${1:?usage: prefix.sh up|down|new BUILD [NAME]}
build=$(cd "${2:?build folder}" && pwd)
wine_dir=$build/wine
mkdir -p "$wine_dir"
winearch=$(cat "$build/winearch" 2> /dev/null || echo win64)
skip=77
# A 64-bit prefix runs its programs (and reg, regsvr32 of system32) through the 64-bit
# loader; a 32-bit prefix through the 32-bit one. PELIM_WINE32_LOADER names another 32-bit
# loader (one run under emulation, say).
loader=/usr/lib/wine/wine64
[ "$winearch" = win32 ] && loader=${PELIM_WINE32_LOADER:-/usr/lib/wine/wine}
write_wine_launcher "$wine_dir/bin" "$loader"

# Empty when the host runs this tree's Windows programs; otherwise why it cannot.
host_cannot_run() {
  [ "$winearch" = win32 ] || return 0
  [ -z "${PELIM_WINE32_LOADER:-}" ] || return 0    # a loader of the caller's own is trusted
  wine32_missing "$loader"
}

# Stops with the skip code, on one clear line, when the host cannot run this tree.
check_host() {
  local reason
  reason=$(host_cannot_run)
  rm -f "$wine_dir/unsupported"
  if [ -n "$reason" ]; then
    echo "i686 tests skipped: $reason" | tee "$wine_dir/unsupported"
    exit $skip
  fi
}

boot_prefix() { # name
  local name=$1 root=$wine_dir/$1
  case "$root" in "$wine_dir"/?*) ;; *) echo "bad prefix name" >&2; exit 2 ;; esac
  if [ -d "$root/prefix" ]; then
    (export WINEPREFIX="$root/prefix"; wineserver -k 2>/dev/null || true)
  fi
  rm -rf "$root"
  mkdir -p "$root/home" "$root/scratch" "$root/drive-r"
  write_env "$root/env.sh" "$root" "$name" "$winearch" "$wine_dir/bin" \
    "$(cat "$wine_dir/display" 2> /dev/null || true)"
  (
    # shellcheck disable=SC1091
    . "$root/env.sh"
    wine wineboot -i > "$root/boot.log" 2>&1 < /dev/null
    wineserver -w
    seal_prefix "$WINEPREFIX" p "$build/bin" s "$root/scratch" r "$root/drive-r"
  )
  echo "$root/env.sh"
}

start_display() {
  # Each architecture's run looks from its own number on, so that two runs starting
  # together do not take the same display.
  local n=90
  [ "$winearch" = win32 ] && n=150
  start_xvfb $n 1280x1024x24 "$wine_dir/xvfb.log" || exit 1
  echo "$xvfb_pid" > "$wine_dir/xvfb.pid"
  echo "$xvfb_display" > "$wine_dir/display"
}

stop_all() {
  local env
  for env in "$wine_dir"/*/env.sh; do
    [ -f "$env" ] || continue
    if [ "$(id -u)" = 0 ] && [ "$(stat -c %u "$env")" != 0 ]; then
      # A prefix of another user (the standard user's): only its owner reaches its server,
      # by a path that user may follow.
      (cd / && setpriv --reuid="$(stat -c %u "$env")" --regid="$(stat -c %g "$env")" \
        --clear-groups sh -c '. "$0"; wineserver -k' "$(readlink -f "$env")" 2>/dev/null) || true
    else
      end_prefix "$env"
    fi
  done
  if [ -f "$wine_dir/xvfb.pid" ]; then
    kill "$(cat "$wine_dir/xvfb.pid")" 2>/dev/null || true
    rm -f "$wine_dir/xvfb.pid" "$wine_dir/display"
  fi
}

case "$cmd" in
  up)
    stop_all
    check_host
    start_display
    env=$(boot_prefix main)
    # A persistent server, and the prefix's background processes started now, with no
    # pipes of the caller attached.
    (. "$env"; wineserver -p > /dev/null 2>&1 < /dev/null
     wine cmd /c exit > /dev/null 2>&1 < /dev/null || true)
    echo "prefix ready: $env (DISPLAY $(cat "$wine_dir/display"))"
    ;;
  down)
    stop_all
    echo "wineservers and Xvfb ended"
    ;;
  new)
    if [ -f "$wine_dir/unsupported" ]; then cat "$wine_dir/unsupported"; exit $skip; fi
    boot_prefix "${3:?name}"
    ;;
  *)
    echo "usage: prefix.sh up|down|new BUILD [NAME]" >&2; exit 2 ;;
esac
