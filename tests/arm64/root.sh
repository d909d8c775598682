#!/usr/bin/env bash
# The arm64 Debian root in which the aarch64 suite runs an ARM64 Windows (Debian's arm64
# Wine, its programs run by qemu-user through binfmt_misc):
#   root.sh make     make the root when it is missing (once per machine: ~10 min, 0.7 GB here)
#   root.sh check    print nothing when this host can run the root, else why not (exit 77)
# The root lives outside the checkout, in a system cache folder (PELIM_ARM64_ROOT), so that
# every checkout and every later run reuses it. It is built in a temporary folder beside it
# and renamed when complete: an interrupted set-up leaves no half root, and is redone.
set -euo pipefail

root=${PELIM_ARM64_ROOT:-/var/cache/pelim/arm64-root}
release=${PELIM_ARM64_RELEASE:-bookworm}
packages=(wine wine64 libwine xvfb xauth locales)
skip=77

# Wine starts further arm64 processes itself, so a qemu prefix on one command line is not
# enough: the kernel must hand every arm64 program to qemu. The "F" flag opens the
# interpreter when it is registered, which makes it usable inside the chroot too.
enable_binfmt() {
  local dir=/proc/sys/fs/binfmt_misc
  [ -e "$dir/status" ] || mount -t binfmt_misc binfmt_misc "$dir" 2> /dev/null || return 1
  [ -e "$dir/qemu-aarch64" ] || update-binfmts --enable qemu-aarch64 > /dev/null 2>&1 \
    || [ -e "$dir/qemu-aarch64" ] || register_qemu "$dir" || return 1
  grep -q '^enabled' "$dir/qemu-aarch64" || echo 1 > "$dir/qemu-aarch64" 2> /dev/null
  grep -q '^enabled' "$dir/qemu-aarch64"
}

register_qemu() { # binfmt_misc folder; where binfmt-support is missing
  local qemu
  qemu=$(command -v qemu-aarch64-static || command -v qemu-aarch64) || return 1
  printf '%s' ':qemu-aarch64:M::\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00:\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
    > "$1/register" 2> /dev/null
}

# An interpreter registered without "F" is looked up inside the chroot: put it there.
interpreter_in() { # root folder
  local entry=/proc/sys/fs/binfmt_misc/qemu-aarch64 interp
  grep -q '^flags:.*F' "$entry" && return 0
  interp=$(sed -n 's/^interpreter //p' "$entry")
  mkdir -p "$1$(dirname "$interp")"
  cp -f "$interp" "$1$interp"
}

# Why this host cannot run the root; nothing when it can.
host_cannot_run() {
  if [ "$(id -u)" != 0 ]; then echo "the arm64 root needs root (mounts and chroot)"; return; fi
  if ! command -v qemu-aarch64-static > /dev/null && ! command -v qemu-aarch64 > /dev/null; then
    echo "no qemu-user (scripts/setup-machine.sh --arm64-root installs qemu-user-static)"; return
  fi
  if ! enable_binfmt; then echo "binfmt_misc cannot run arm64 programs here (no qemu-aarch64 entry)"; return; fi
  if [ ! -x "$root/usr/lib/wine/wine64" ]; then
    echo "no arm64 root at $root (scripts/setup-machine.sh --arm64-root, run by scripts/run-tests.sh, makes it)"; return
  fi
  interpreter_in "$root" 2> /dev/null || true
  if ! chroot "$root" /bin/true 2> /dev/null; then echo "arm64 programs do not run in $root"; fi
}

# The mirror of this machine's own apt sources that carries the release itself.
host_mirror() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v rel="$release" 'BEGIN { RS = ""; FS = "\n" }
      { uri = ""; deb = 0; on = 1; hit = 0
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^Types:.*(^|[ \t])deb([ \t]|$)/) deb = 1
          if ($i ~ /^Enabled:[ \t]*no/) on = 0
          if ($i ~ /^URIs:/) { split($i, u, /[ \t]+/); uri = u[2] }
          if ($i ~ /^Suites:/) { n = split($i, s, /[ \t]+/); for (j = 2; j <= n; j++) if (s[j] == rel) hit = 1 }
        }
        if (deb && on && hit && uri != "") { print uri; exit } }' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v rel="$release" '$1 == "deb" { i = 2; if ($2 ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
      if ($(i + 1) == rel) { print $i; exit } }' "$f"
  done
}

# Ends the mounts a set-up made inside its temporary root.
unmount_under() { # folder
  local m
  { findmnt -rn -o TARGET | grep -F "$1/" || true; } | sort -r | while read -r m; do umount -l "$m" || true; done
}

tmp=
make_root() {
  local cache mirror started
  if [ -x "$root/usr/lib/wine/wine64" ]; then echo "arm64 root present: $root"; return; fi
  [ "$(id -u)" = 0 ] || { echo "making the arm64 root needs root" >&2; return 1; }
  enable_binfmt || { echo "binfmt_misc cannot run arm64 programs here" >&2; return 1; }
  mirror=$(host_mirror | head -n 1)
  [ -n "$mirror" ] || { echo "no Debian $release mirror in this machine's apt sources" >&2; return 1; }
  cache=$(dirname "$root")
  mkdir -p "$cache"
  exec 9> "$cache/.arm64-root.lock"
  flock 9
  [ ! -x "$root/usr/lib/wine/wine64" ] || return 0    # made by a set-up we waited for
  for tmp in "$root".tmp.*; do    # left by an interrupted set-up, with its log
    [ ! -d "$tmp" ] || unmount_under "$tmp"
    rm -rf --one-file-system "$tmp"
  done
  rm -rf --one-file-system "$root"
  started=$(date +%s)
  tmp=$(mktemp -d "$root.tmp.XXXXXX")
  trap '[ -z "$tmp" ] || unmount_under "$tmp"' EXIT
  echo "making the arm64 root in $root from $mirror ($release; takes minutes)"
  debootstrap --arch=arm64 --variant=minbase "$release" "$tmp" "$mirror" > "$tmp.log" 2>&1 \
    || { tail -n 20 "$tmp.log" >&2; return 1; }
  interpreter_in "$tmp"
  printf 'deb %s %s main\n' "$mirror" "$release" > "$tmp/etc/apt/sources.list"
  mount -t proc proc "$tmp/proc"
  mount --rbind /dev "$tmp/dev"
  { chroot "$tmp" apt-get update -q &&
    chroot "$tmp" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${packages[@]}" &&
    echo 'ja_JP.UTF-8 UTF-8' > "$tmp/etc/locale.gen" &&
    chroot "$tmp" locale-gen &&
    chroot "$tmp" apt-get clean
  } >> "$tmp.log" 2>&1 || { tail -n 20 "$tmp.log" >&2; return 1; }
  unmount_under "$tmp"
  trap - EXIT
  rm -rf "$tmp/var/lib/apt/lists"/* "$tmp/tmp"/*
  [ -x "$tmp/usr/lib/wine/wine64" ] || { echo "no Wine in the new root" >&2; return 1; }
  chmod 755 "$tmp"    # mktemp made it private
  mv "$tmp" "$root"
  rm -f "$tmp.log"
  echo "arm64 root made in $(( $(date +%s) - started )) s, $(du -sh --one-file-system "$root" | cut -f1): $root"
}

case "${1:-}" in
  make) make_root ;;
  check)
    reason=$(host_cannot_run)
    [ -z "$reason" ] || { echo "$reason"; exit $skip; } ;;
  *) echo "usage: root.sh make|check" >&2; exit 2 ;;
esac
