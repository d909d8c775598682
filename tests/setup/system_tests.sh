#!/usr/bin/env bash
# Runs the tests that change the system in a prefix of their own, then restarts that prefix
# and checks that the restart carried out what was scheduled: MoveFileExA's delayed
# deletions on the NT route and the "NUL=" lines of wininit.ini on the Windows 98 route.
# Finally removes trees that hold folder links, prepared from the host side.
set -uo pipefail
: "${PELIM_BUILD:?}" "${PELIM_RUN:?}" "${PELIM_PREFIX_SH:?}"
if [ -f "$PELIM_BUILD/wine/unsupported" ]; then cat "$PELIM_BUILD/wine/unsupported"; exit 77; fi
export PELIM_PREFIX=setupcore
env=$("$PELIM_PREFIX_SH" new "$PELIM_BUILD" "$PELIM_PREFIX" | tail -n 1)
[ -f "$env" ] || { echo "could not boot the prefix $PELIM_PREFIX"; exit 1; }
# shellcheck disable=SC1090
. "$env"
trap 'wineserver -k 2>/dev/null || true' EXIT
# One session until the restart: a wineserver that ended between two programs (on a busy
# machine) would start a new session, and Wine carries out the scheduled deletions at a
# session's start, before the checks below could see them scheduled.
wineserver -p 2> /dev/null < /dev/null || true

failures=0
check() { # description, then a test command
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what ($*)"; failures=$((failures + 1)); fi
}
run() { "$PELIM_RUN" "$PELIM_BUILD" "$@" < /dev/null 2>/dev/null | tr -d '\r' | iconv -f CP932 -t UTF-8; }

# 1. The gtest program: both deletion routes, wininit.ini cases, Program Files fallback.
"$PELIM_RUN" "$PELIM_BUILD" 'P:\setup_system_tests.exe' < /dev/null || failures=$((failures + 1))

# 2. Schedule one held file on each route, then restart the prefix.
scratch=$PELIM_SCRATCH/restart
mkdir -p "$scratch"
echo nt > "$scratch/nt.txt"
echo w98 > "$scratch/w98 表.txt"
out=$(run 'P:\setup_delete_probe.exe' --hold 'S:\restart\nt.txt')
check "NT route keeps the held file for now" [ "$out" = $'platform=2\nS:\\restart\\nt.txt exists=1' ]
run reg add 'HKCU\Software\Wine\AppDefaults\setup_delete_probe.exe' /v Version /d win98 /f > /dev/null
out=$(run 'P:\setup_delete_probe.exe' --hold 'S:\restart\w98 表.txt')
run reg delete 'HKCU\Software\Wine\AppDefaults\setup_delete_probe.exe' /f > /dev/null
check "Windows 98 route keeps the held file for now" \
  [ "$out" = $'platform=1\nS:\\restart\\w98 表.txt exists=1' ]
ini=$WINEPREFIX/drive_c/windows/wininit.ini
# The line names the file by its short path: no blank, no long name.
check "wininit.ini holds the NUL= line, short" grep -q -a -i 'NUL=S:\\restart\\[^ ]*\.txt$' <(tr -d '\r' < "$ini")
pending=$(run reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations)
check "the pending renames hold nt.txt" grep -q 'restart\\nt.txt' <<< "$pending"
check "both files still there" test -f "$scratch/nt.txt" -a -f "$scratch/w98 表.txt" ||
  { ls -la "$scratch"; echo "pending: $pending"; }
[ -f "$PELIM_SCRATCH/setup_system/nt_held.txt" ] && had_held=1 || had_held=0

wine wineboot -r < /dev/null > /dev/null 2>&1
wineserver -k 2> /dev/null || true
wineserver -w
check "the restart deleted nt.txt (MoveFileExA)" [ ! -e "$scratch/nt.txt" ]
check "the restart deleted w98 表.txt (wininit.ini)" [ ! -e "$scratch/w98 表.txt" ]
if [ "$had_held" = 1 ]; then
  check "the restart deleted the gtest's nt_held.txt" [ ! -e "$PELIM_SCRATCH/setup_system/nt_held.txt" ]
fi
check "wininit.ini was consumed" [ ! -e "$ini" ]
pending=$(run reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations)
check "no pending renames left" bash -c "! grep -q restart <<< \"\$1\"" _ "$pending"

# 3. Folder links inside the tree and as the root are never walked and never removed: on
# this platform removing a link to an empty folder removes that folder.
links=$PELIM_SCRATCH/links
rm -rf "$links"
mkdir -p "$links/outside" "$links/empty" "$links/tree/sub"
echo keep > "$links/outside/keep.txt"
echo mine > "$links/tree/sub/mine.txt"
echo mine > "$links/tree/top.txt"
ln -s ../../outside "$links/tree/sub/link"
ln -s ../empty "$links/tree/emptylink"
ln -s "$links/outside" "$links/rootlink"
ln -s "$links/empty" "$links/emptyroot"
out=$(run 'P:\setup_remove_probe.exe' 'S:\links\tree')
check "a tree holding links reports that it stays" [ "$out" = "result=0" ]
check "the tree's own files are gone" test ! -e "$links/tree/sub/mine.txt" -a ! -e "$links/tree/top.txt"
check "the links and the folders holding them stay" test -L "$links/tree/sub/link" -a -L "$links/tree/emptylink"
check "the file behind the link inside the tree stays" [ -f "$links/outside/keep.txt" ]
check "the empty folder behind the other link stays" [ -d "$links/empty" ]
for root in 'S:\links\rootlink' 'S:\links\rootlink\' 'S:\links\emptyroot\'; do
  out=$(run 'P:\setup_remove_probe.exe' "$root")
  check "root link $root: nothing removed" [ "$out" = "result=0" ]
done
check "the file behind the root link stays" [ -f "$links/outside/keep.txt" ]
check "the empty folder behind the root link stays" [ -d "$links/empty" ]
check "the root links stay" test -L "$links/rootlink" -a -L "$links/emptyroot"

echo "system tests: $failures failure(s)"
[ "$failures" -eq 0 ]
