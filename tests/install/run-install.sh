#!/usr/bin/env bash
# Runs one group of the install tests in a fresh private prefix of its own: a copy of a
# template prefix that is booted once per test run, with the distribution staged on S:.
#   run-install.sh --template            boot BUILD/wine/install-template
#   run-install.sh GROUP [gtest args]    copy it to BUILD/wine/install-GROUP and run GROUP.*
# With PELIM_DOWNLOAD=1 (the groups Wow64 and Silent of the x86_64 tree) the group gets the
# download (the i686 build's setup.exe with both DLLs, and the ARM64 DLL where the aarch64
# tree beside has built it) instead of this build's distribution, and is skipped (77) where
# the host cannot run 32-bit programs; with PELIM_DOWNLOAD=prefer
# (the group PerUser) it takes this build's distribution there instead.
# PELIM_BUILD and PELIM_SOURCE come from ctest. The copies keep the template's safety: no
# z: drive, HOME a throwaway folder, S: and R: scratch folders of the copy itself.
set -euo pipefail
: "${PELIM_BUILD:?build folder}" "${PELIM_SOURCE:?source folder}"
# shellcheck source=../wine/lib.sh
. "$PELIM_SOURCE/tests/wine/lib.sh"
# shellcheck source=stage-dist.sh
. "$(dirname "$0")/stage-dist.sh"
. "$PELIM_BUILD/product.env"    # PELIM_DLL
wine_dir=$PELIM_BUILD/wine
i686_bin=${PELIM_I686_BIN:-}        # handed over by scripts/run-tests.sh
arm64_bin=${PELIM_AARCH64_BIN:-}
[ -f "$arm64_bin/$PELIM_DLL" ] || arm64_bin=
readme=$PELIM_BUILD/readme.txt   # made from setup/readme.txt.in
template=$wine_dir/install-template
prefix_sh=$PELIM_SOURCE/tests/wine/prefix.sh
if [ -f "$wine_dir/unsupported" ]; then cat "$wine_dir/unsupported"; exit 77; fi

if [ "${1:-}" = --template ]; then
  env=$("$prefix_sh" new "$PELIM_BUILD" install-template | tail -n 1)
  # shellcheck disable=SC1090
  . "$env"
  # A Windows system opens .txt files with Notepad; Wine's fresh prefix has the program
  # but not the extension's association.
  wine reg add 'HKCR\.txt' /ve /d txtfile /f > /dev/null 2>&1
  wineserver -w
  echo "template ready: $template"
  exit 0
fi

group=${1:?group}; shift
name=install-$group
root=$wine_dir/$name
case "$root" in "$wine_dir"/install-?*) ;; *) echo "bad group name" >&2; exit 2 ;; esac
[ -d "$template/prefix" ] || { echo "no template prefix: run with --template first" >&2; exit 2; }
end_prefix "$root/env.sh"
rm -rf "$root"
mkdir -p "$root/home" "$root/scratch" "$root/drive-r"
cp -a "$template/prefix" "$root/prefix"
write_env "$root/env.sh" "$root" "$name" "$(cat "$PELIM_BUILD/winearch" 2> /dev/null || echo win64)" \
  "$wine_dir/bin" "$(cat "$wine_dir/display" 2> /dev/null || true)"
seal_prefix "$root/prefix" p "$PELIM_BUILD/bin" s "$root/scratch" r "$root/drive-r"

# shellcheck disable=SC1091
. "$root/env.sh"
master=$PELIM_SCRATCH/dist-master
if [ "${PELIM_DOWNLOAD:-0}" != 0 ]; then
  # The download users get, with the 32-bit drop host and holder, from the i686 build
  # beside this one.
  for f in setup.exe "$PELIM_DLL" drophost.exe install_holder.exe; do
    [ -f "$i686_bin/$f" ] || { echo "$group skipped: no i686 build beside this one ($i686_bin/$f)"; exit 77; }
  done
  cp "$i686_bin/drophost.exe" "$PELIM_SCRATCH/drophost32.exe"
  cp "$i686_bin/install_holder.exe" "$PELIM_SCRATCH/install_holder32.exe"
  reason=$(wine32_missing)
  if [ -z "$reason" ]; then
    stage_download "$master" "$i686_bin" "$PELIM_BUILD/bin" "$arm64_bin" "$readme"
  elif [ "$PELIM_DOWNLOAD" = prefer ]; then
    stage_dist "$master" "$PELIM_BUILD/bin" "$readme"
    echo "$group: the prefix cannot start 32-bit programs here ($reason): with this build's distribution"
  else
    echo "$group skipped: the 64-bit Windows prefix cannot start 32-bit programs here ($reason)"
    exit 77
  fi
else
  stage_dist "$master" "$PELIM_BUILD/bin" "$readme"
fi

status=0
PELIM_PREFIX=$name "$PELIM_SOURCE/tests/wine/run.sh" "$PELIM_BUILD" 'P:\install_tests.exe' \
  "--gtest_filter=$group.*" "$@" || status=$?
end_prefix "$root/env.sh"
exit $status
