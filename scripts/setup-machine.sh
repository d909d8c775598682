#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for building and testing pelim, and makes the
# host locale ja_JP.UTF-8 (without it Wine cannot create Japanese file names). The 32-bit
# Wine (wine32:i386, with the i386 architecture) runs the i686 build's tests; where the
# host's kernel cannot run 32-bit programs it is left out, and the i686 tests are skipped.
# The aarch64 tests run an ARM64 Windows under emulation, in an arm64 Debian root that
# --arm64-root (the test command's set-up) makes once per machine (tests/arm64/root.sh, with
# qemu-user and debootstrap: minutes); where it cannot be made, the aarch64 tests are skipped.
# --main (the main command's set-up) installs only what the build and the demo use: Wine, the
# display and the fonts with their recommended packages, as the tests have them, the build
# tools without theirs (LLVM's development files, clang's extra tools and such).
#   setup-machine.sh [--arm64-root | --main]
set -euo pipefail
# shellcheck source=../tests/wine/lib.sh
. "$(dirname "$0")/../tests/wine/lib.sh"
arm64_root=0 main=0
case "${1:-}" in
  --arm64-root) arm64_root=1 ;;
  --main) main=1 ;;
  '') ;;
  *) echo "usage: setup-machine.sh [--arm64-root | --main]" >&2; exit 2 ;;
esac

# Installed with their recommended packages: Wine's libraries and fonts are what the
# windows are drawn with.
packages=(
  wine wine64
  xvfb imagemagick fonts-ipafont-gothic
  locales
)
tools=(
  cmake make git file python3
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-win32
  g++-mingw-w64-i686-win32 mingw-w64-tools binutils-mingw-w64
  googletest
  clang-19 lld-19 llvm-19
  libwine-dev wine64-tools
)
[ $main = 1 ] || packages+=("${tools[@]}" xauth x11-utils)
[ $arm64_root = 0 ] || packages+=(qemu-user-static binfmt-support debootstrap)

sudo_cmd=()
if [ "$(id -u)" != 0 ]; then sudo_cmd=(sudo); fi

# The 32-bit Wine comes from the i386 architecture. On a host that cannot run it, the
# 32-bit loader would only be in the way (/usr/bin/wine prefers it whenever it is there).
if runs_32bit; then
  packages+=(wine32:i386)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "adding the i386 architecture"
    "${sudo_cmd[@]}" dpkg --add-architecture i386
    added_arch=1
  fi
else
  echo "this host's kernel cannot run 32-bit programs: no 32-bit Wine, the i686 tests will be skipped"
fi

# The names of those of the given packages that are not installed.
missing() {
  local p status
  for p in "$@"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || echo "$p"
  done
}
mapfile -t missing < <(missing "${packages[@]}")
missing_tools=()
[ $main = 0 ] || mapfile -t missing_tools < <(missing "${tools[@]}")
if [ ${#missing[@]} -gt 0 ] || [ ${#missing_tools[@]} -gt 0 ] || [ -n "${added_arch:-}" ]; then
  echo "installing: ${missing[*]} ${missing_tools[*]}"
  "${sudo_cmd[@]}" apt-get update -q
  [ ${#missing[@]} -eq 0 ] || DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q "${missing[@]}"
  [ ${#missing_tools[@]} -eq 0 ] || DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" \
    apt-get install -y -q --no-install-recommends "${missing_tools[@]}"
fi

if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "generating locale ja_JP.UTF-8"
  "${sudo_cmd[@]}" sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo_cmd[@]}" locale-gen
fi

# The arm64 root lives in a system cache folder, outside the checkout: made only when missing.
if [ $arm64_root = 1 ]; then
  "${sudo_cmd[@]}" bash "$(dirname "$0")/../tests/arm64/root.sh" make \
    || echo "no arm64 root could be made here: the aarch64 tests will be skipped"
fi
