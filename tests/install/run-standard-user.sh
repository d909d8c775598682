#!/usr/bin/env bash
# Runs the install group StandardUser: setup.exe started by a user without the rights an
# installation for all users needs. Run as root, it makes a Linux user of its own
# (PELIM_STANDARD_USER, default pelimuser: no password, no home, no sudo) when missing. That
# user boots a prefix of its own (Wine refuses a prefix owned by another user), sealed like
# the others, whose system folders (system32, syswow64) then lose their write permission:
# root ignores file modes, a user does not, so the setup program's test for the rights (a
# file created in the system folder) fails there for real. Wine's registry has no
# permissions: only the files show the missing rights. The user's programs reach the run's
# Xvfb display through its socket (Xvfb runs without -auth, so any local user may connect).
# The prefix lies in BUILD/wine/standard-user, or, where that user cannot reach the build
# tree (a checkout under /root), in a folder under /var/tmp that BUILD/wine/standard-user
# links to, with the programs the group needs copied beside it as its P:. The distribution
# is the download (as run-install.sh stages it with PELIM_DOWNLOAD=1), or this build's own
# where the prefix cannot start 32-bit programs. Where no user can be made (not root), the
# group is skipped (77) with one line.
set -euo pipefail
: "${PELIM_BUILD:?build folder}" "${PELIM_SOURCE:?source folder}"
# shellcheck source=../wine/lib.sh
. "$PELIM_SOURCE/tests/wine/lib.sh"
# shellcheck source=stage-dist.sh
. "$(dirname "$0")/stage-dist.sh"
. "$PELIM_BUILD/product.env"    # PELIM_DLL
group=StandardUser
user=${PELIM_STANDARD_USER:-pelimuser}
wine_dir=$PELIM_BUILD/wine
i686_bin=${PELIM_I686_BIN:-}        # handed over by scripts/run-tests.sh
arm64_bin=${PELIM_AARCH64_BIN:-}
[ -f "$arm64_bin/$PELIM_DLL" ] || arm64_bin=
readme=$PELIM_BUILD/readme.txt   # made from setup/readme.txt.in
if [ -f "$wine_dir/unsupported" ]; then cat "$wine_dir/unsupported"; exit 77; fi
if [ "$(id -u)" != 0 ]; then
  echo "$group skipped: not run as root, so no user without rights can be made or switched to"
  exit 77
fi
[ -f "$wine_dir/display" ] || { echo "no display: run prefix.sh up first" >&2; exit 2; }
if ! id -u "$user" > /dev/null 2>&1 &&
   ! useradd --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin --user-group "$user"; then
  echo "$group skipped: the user $user could not be made"
  exit 77
fi
uid=$(id -u "$user") gid=$(id -g "$user")
[ "$uid" != 0 ] || { echo "$user is root: no standard user" >&2; exit 2; }

# A command as that user, in an environment of its own, from a folder it may enter.
as_user() {
  (cd / && setpriv --reuid="$uid" --regid="$gid" --init-groups env -i PATH=/usr/bin:/bin "$@")
}
# A command as that user in its prefix: env.sh read, in the scratch folder.
in_prefix() {
  as_user sh -c '. "$0"; cd "$PELIM_SCRATCH" && exec "$@"' "$root/env.sh" "$@"
}

root=$wine_dir/standard-user
if [ -f "$root/env.sh" ]; then
  as_user sh -c '. "$0"; wineserver -k' "$(readlink -f "$root/env.sh")" 2> /dev/null || true
fi
rm -rf "$root"    # (a link: only the link)
programs=$PELIM_BUILD/bin
if ! as_user test -x "$wine_dir" || ! as_user test -r "$programs/install_tests.exe"; then
  elsewhere=/var/tmp/pelim-standard-user-$(printf %s "$PELIM_BUILD" | md5sum | cut -c1-12)
  if [ -f "$elsewhere/env.sh" ]; then
    as_user sh -c '. "$0"; wineserver -k' "$elsewhere/env.sh" 2> /dev/null || true
  fi
  rm -rf "$elsewhere"
  mkdir -p "$elsewhere/programs"
  cp "$programs/install_tests.exe" "$elsewhere/programs/"
  ln -s "$elsewhere" "$root"
  programs=$elsewhere/programs
  root=$elsewhere
fi
mkdir -p "$root/home" "$root/scratch" "$root/drive-r"
write_wine_launcher "$root/bin" /usr/lib/wine/wine64
write_env "$root/env.sh" "$root" standard-user win64 "$root/bin" "$(cat "$wine_dir/display")"
chown -R "$uid:$gid" "$root"
trap 'as_user sh -c ". \"\$0\"; wineserver -k" "$root/env.sh" 2> /dev/null || true' EXIT

as_user sh -c '. "$0"; wine wineboot -i; wineserver -w' "$root/env.sh" > "$root/boot.log" 2>&1 < /dev/null
prefix=$root/prefix
seal_prefix "$prefix" p "$programs" s "$root/scratch" r "$root/drive-r"
chown -R -h "$uid:$gid" "$prefix/dosdevices" "$prefix/drive_c/users"
# As in the template prefix: .txt files open with Notepad.
in_prefix wine reg add 'HKCR\.txt' /ve /d txtfile /f > /dev/null 2>&1 < /dev/null
in_prefix wineserver -w
for folder in system32 syswow64; do
  [ ! -d "$prefix/drive_c/windows/$folder" ] || chmod a-w "$prefix/drive_c/windows/$folder"
done

master=$root/scratch/dist-master
reason=$(wine32_missing)
[ -n "$reason" ] || [ -f "$i686_bin/setup.exe" ] || reason="no i686 build beside this one"
if [ -z "$reason" ]; then
  stage_download "$master" "$i686_bin" "$PELIM_BUILD/bin" "$arm64_bin" "$readme"
else
  echo "$group: the prefix cannot start 32-bit programs here ($reason): this build's own setup.exe instead of the download"
  stage_dist "$master" "$PELIM_BUILD/bin" "$readme"
fi
chown -R "$uid:$gid" "$master"

status=0
in_prefix wine 'P:\install_tests.exe' "--gtest_filter=$group.*" "$@" > "$root/tests.log" 2>&1 < /dev/null || status=$?
cat "$root/tests.log"
exit $status
