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
# shellcheck source=seal-prefix.sh
. "$(dirname "$0")/seal-prefix.sh"

cmd=${1:?usage: prefix.sh up|down|new BUILD [NAME]}
build=$(cd "${2:?build folder}" && pwd)
wine_dir=$build/wine
mkdir -p "$wine_dir"
winearch=$(cat "$build/winearch" 2> /dev/null || echo win64)
skip=77
# The loader is chosen here, not by /usr/bin/wine: that script takes the 32-bit loader
# whenever it is installed, also where the host cannot run it. A 64-bit prefix runs its
# programs (and reg, regsvr32 of system32) through the 64-bit loader; a 32-bit prefix
# through the 32-bit one. A script named wine, first in PATH of every env.sh, starts it.
# PELIM_WINE32_LOADER names another 32-bit loader (one run under emulation, say).
loader=/usr/lib/wine/wine64
[ "$winearch" = win32 ] && loader=${PELIM_WINE32_LOADER:-/usr/lib/wine/wine}
mkdir -p "$wine_dir/bin"
printf '#!/bin/sh\nexport WINELOADER=%s\nexec %s "$@"\n' "$loader" "$loader" > "$wine_dir/bin/wine.$$"
chmod +x "$wine_dir/bin/wine.$$"
mv -f "$wine_dir/bin/wine.$$" "$wine_dir/bin/wine"    # replaced whole: others may be running it

# Empty when the host runs this tree's Windows programs; otherwise why it cannot.
host_cannot_run() {
  [ "$winearch" = win32 ] || return 0
  [ -z "${PELIM_WINE32_LOADER:-}" ] || return 0    # a loader of the caller's own is trusted
  if [ ! -x "$loader" ]; then
    echo "no 32-bit Wine on this host (scripts/setup-machine.sh installs it where the kernel runs 32-bit programs)"
  elif ! WINEPREFIX="$wine_dir/no-prefix" HOME="$wine_dir/no-prefix" "$loader" --version \
         > /dev/null 2>&1 < /dev/null; then
    echo "this host's kernel cannot run 32-bit programs (the 32-bit Wine does not start)"
  fi
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

wine_env() { # name
  local name=$1 root=$wine_dir/$1
  cat <<ENV
export WINEPREFIX='$root/prefix'
export WINEARCH='$winearch'
export PATH='$wine_dir/bin':"\$PATH"
export HOME='$root/home'
export WINEDEBUG=-all
export LC_ALL=ja_JP.UTF-8
export LANG=ja_JP.UTF-8
export WINEDLLOVERRIDES='mscoree,mshtml='
export PELIM_SCRATCH='$root/scratch'
export PELIM_DRIVE_ROOT='$root/drive-r'
export PELIM_PREFIX_NAME='$name'
ENV
  if [ -f "$wine_dir/display" ]; then
    echo "export DISPLAY='$(cat "$wine_dir/display")'"
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
  wine_env "$name" > "$root/env.sh"
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
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp > "$wine_dir/xvfb.log" 2>&1 < /dev/null &
  echo $! > "$wine_dir/xvfb.pid"
  for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done
  [ -e "/tmp/.X11-unix/X$n" ] || { echo "Xvfb did not start" >&2; exit 1; }
  echo ":$n" > "$wine_dir/display"
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
      (. "$env"; wineserver -k 2>/dev/null || true)
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
