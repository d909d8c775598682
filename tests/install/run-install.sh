#!/usr/bin/env bash
# Runs one group of the install tests in a fresh private prefix of its own: a copy of a
# template prefix that is booted once per test run, with the distribution staged on S:.
#   run-install.sh --template            boot BUILD/wine/install-template
#   run-install.sh GROUP [gtest args]    copy it to BUILD/wine/install-GROUP and run GROUP.*
# With PELIM_DOWNLOAD=1 (the groups Wow64 and Silent of the x86_64 tree) the group gets the
# download (the i686 build's setup.exe with both DLLs) instead of this build's distribution,
# and is skipped (77) where the prefix cannot start 32-bit programs; with PELIM_DOWNLOAD=prefer
# (the group PerUser) it takes this build's distribution there instead.
# PELIM_BUILD and PELIM_SOURCE come from ctest. The copies keep the template's safety: no
# z: drive, HOME a throwaway folder, S: and R: scratch folders of the copy itself.
set -euo pipefail
: "${PELIM_BUILD:?build folder}" "${PELIM_SOURCE:?source folder}"
# shellcheck source=stage-dist.sh
. "$(dirname "$0")/stage-dist.sh"
wine_dir=$PELIM_BUILD/wine
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
if [ -f "$root/env.sh" ]; then
  (. "$root/env.sh"; wineserver -k 2> /dev/null || true)
fi
rm -rf "$root"
mkdir -p "$root/home" "$root/scratch" "$root/drive-r"
cp -a "$template/prefix" "$root/prefix"
sed -e "s#$template#$root#g" -e "s#install-template#$name#g" "$template/env.sh" > "$root/env.sh"
if [ -f "$wine_dir/display" ]; then
  echo "export DISPLAY='$(cat "$wine_dir/display")'" >> "$root/env.sh"
fi
dev=$root/prefix/dosdevices
ln -sfn "$PELIM_BUILD/bin" "$dev/p:"
ln -sfn "$root/scratch" "$dev/s:"
ln -sfn "$root/drive-r" "$dev/r:"
if [ -e "$dev/z:" ] || [ -e "$dev/z::" ]; then echo "z: present in $root" >&2; exit 1; fi

# shellcheck disable=SC1091
. "$root/env.sh"
master=$PELIM_SCRATCH/dist-master
if [ "${PELIM_DOWNLOAD:-0}" != 0 ]; then
  # The download users get: the 32-bit setup.exe and DLL, and the 64-bit DLL in pelim/x64/,
  # with the 32-bit drop host and holder, from the i686 build (PELIM_I686_BIN).
  for f in setup.exe "$PELIM_DLL" drophost.exe install_holder.exe; do
    [ -f "$i686_bin/$f" ] || { echo "$group skipped: no i686 build handed over (PELIM_I686_BIN: $i686_bin/$f)"; exit 77; }
  done
  stage_download "$master"
  cp "$i686_bin/drophost.exe" "$PELIM_SCRATCH/drophost32.exe"
  cp "$i686_bin/install_holder.exe" "$PELIM_SCRATCH/install_holder32.exe"
  probe=$(PELIM_PREFIX=$name "$PELIM_SOURCE/tests/wine/run.sh" "$PELIM_BUILD" 'S:\drophost32.exe' 2>&1 || true)
  case "$probe" in
    *"usage: drophost"*) ;;
    *) if [ "$PELIM_DOWNLOAD" = prefer ]; then
         rm -rf "$master" && stage_dist "$master"
         echo "$group: the prefix cannot start 32-bit programs here: with this build's distribution"
       else
         wineserver -k 2> /dev/null || true
         echo "$group skipped: the 64-bit Windows prefix cannot start 32-bit programs here (no 32-bit Wine that runs on this host)"
         exit 77
       fi ;;
  esac
else
  stage_dist "$master"
fi

status=0
PELIM_PREFIX=$name "$PELIM_SOURCE/tests/wine/run.sh" "$PELIM_BUILD" 'P:\install_tests.exe' \
  "--gtest_filter=$group.*" "$@" || status=$?
wineserver -k 2> /dev/null || true
exit $status
