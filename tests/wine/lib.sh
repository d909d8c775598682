# The shell harness's common parts, sourced by the scripts that boot Windows prefixes and
# run programs in them (prefix.sh, scripts/demo.sh, the install and e2e runners, the aarch64
# suite) and by scripts/setup-machine.sh:
#   runs_32bit                      does this host's kernel run a 32-bit program?
#   wine32_missing [LOADER]         why 32-bit Windows programs cannot run here (nothing: they can)
#   start_xvfb FIRST GEOMETRY LOG   a private Xvfb display: sets xvfb_pid and xvfb_display
#   write_wine_launcher FOLDER LOADER   the "wine" script of an env file's PATH
#   write_env FILE ROOT NAME WINEARCH LAUNCHERS [DISPLAY]   a prefix's env file
#   seal_prefix PREFIX p /folder s /folder ...   keep a booted prefix away from the host's files
#   watch_shots REQUESTS PICTURES   screenshots on request: sets shot_watcher
#   end_prefix ENV                  end the wineserver of a prefix

# Can this kernel run a 32-bit program? A 96-byte i386 program that exits with 42.
runs_32bit() {
  local probe status=0
  probe=$(mktemp)
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\273\052\000\000\000\315\200' > "$probe"
  chmod +x "$probe"
  "$probe" 2> /dev/null || status=$?
  rm -f "$probe"
  [ "$status" = 42 ]
}

# Empty when this host runs 32-bit Windows programs (a 32-bit prefix, or the 32-bit programs
# of a 64-bit one: both need the 32-bit loader); otherwise why it cannot.
wine32_missing() { # [32-bit loader]
  local loader=${1:-/usr/lib/wine/wine}
  if [ ! -x "$loader" ]; then
    echo "no 32-bit Wine on this host (scripts/setup-machine.sh installs it where the kernel runs 32-bit programs)"
  elif ! runs_32bit; then
    echo "this host's kernel cannot run 32-bit programs"
  fi
}

# A private Xvfb display, from display number FIRST on (runs that start together look from
# numbers of their own). It runs without -auth: every local user may connect. A number whose
# server /tmp does not show (one in a chroot or a container, which share the abstract socket
# names) makes Xvfb end at once: the next number is tried.
xvfb_pid= xvfb_display=
start_xvfb() { # first number, geometry (1280x1024x24), log file
  local n=$1 tries=10
  while [ $tries -gt 0 ]; do
    tries=$((tries - 1))
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 "$2" -nolisten tcp > "$3" 2>&1 < /dev/null &
    xvfb_pid=$!
    for _ in $(seq 1 100); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$xvfb_pid" 2> /dev/null || break
      sleep 0.1
    done
    if [ -e "/tmp/.X11-unix/X$n" ]; then
      xvfb_display=:$n
      return 0
    fi
    kill "$xvfb_pid" 2> /dev/null || true
    wait "$xvfb_pid" 2> /dev/null || true
    n=$((n + 1))
  done
  echo "Xvfb did not start (see $3)" >&2
  return 1
}

# The loader is chosen by the harness, not by /usr/bin/wine: that script takes the 32-bit
# loader whenever it is installed, also where the host cannot run it. A script named wine,
# first in the PATH of every env file, starts the prefix's own.
write_wine_launcher() { # folder, loader
  mkdir -p "$1"
  printf '#!/bin/sh\nexport WINELOADER=%s\nexec %s "$@"\n' "$2" "$2" > "$1/wine.$$"
  chmod +x "$1/wine.$$"
  mv -f "$1/wine.$$" "$1/wine"    # replaced whole: others may be running it
}

# The environment of the prefix ROOT/prefix: HOME a throwaway folder, the scratch folders
# (S:, R:) beside it, Wine quiet, code page 932.
write_env() { # file, root, name, winearch, launcher folder, [display]
  cat > "$1.tmp" <<ENV
export WINEPREFIX='$2/prefix'
export WINEARCH='$4'
export PATH='$5':"\$PATH"
export HOME='$2/home'
export WINEDEBUG=-all
export LC_ALL=ja_JP.UTF-8
export LANG=ja_JP.UTF-8
export WINEDLLOVERRIDES='mscoree,mshtml='
export PELIM_SCRATCH='$2/scratch'
export PELIM_DRIVE_ROOT='$2/drive-r'
export PELIM_PREFIX_NAME='$3'
ENV
  [ -z "${6:-}" ] || echo "export DISPLAY='$6'" >> "$1.tmp"
  mv -f "$1.tmp" "$1"
}

# Keeps a booted prefix (or a copy of one) away from the host's files: the z: link to the
# host's / goes, the drives the tests use are linked, and the user folders become real
# folders (Wine makes them links to HOME).
seal_prefix() { # prefix folder, then drive letter and folder pairs: p /folder s /folder ...
  local prefix=$1 dev=$1/dosdevices link
  shift
  rm -f "$dev/z:" "$dev/z::"
  while [ $# -ge 2 ]; do ln -sfn "$2" "$dev/$1:"; shift 2; done
  find "$prefix/drive_c/users" -maxdepth 2 -type l | while read -r link; do
    rm -f "$link"; mkdir -p "$link"
  done
  if [ -e "$dev/z:" ] || [ -e "$dev/z::" ]; then echo "z: still present in $prefix" >&2; return 1; fi
}

# Takes a screenshot of the display whenever a program asks for one: a file NAME.req in
# REQUESTS becomes PICTURES/NAME.png. The file "watching" tells the programs (the UI robot)
# that someone is; without a display or ImageMagick nobody is.
shot_watcher=
watch_shots() { # requests folder, pictures folder
  local requests=$1 pictures=$2
  mkdir -p "$requests" "$pictures"
  [ -n "${DISPLAY:-}" ] && command -v import > /dev/null || return 0
  touch "$requests/watching"
  (
    while :; do
      for request in "$requests"/*.req; do
        [ -e "$request" ] || continue
        import -window root "$pictures/$(basename "$request" .req).png" > /dev/null 2>&1 || true
        rm -f "$request"
      done
      sleep 0.2
    done
  ) > /dev/null 2>&1 < /dev/null &
  shot_watcher=$!
}

# Ends the wineserver of the prefix whose env file is ENV (nothing when there is none).
end_prefix() { # env file
  [ -f "$1" ] || return 0
  (. "$1"; wineserver -k 2> /dev/null) || true
}
