#!/usr/bin/env bash
# Runs e2e_tests.exe in the run's private prefix. Meanwhile it takes a screenshot of the
# Xvfb screen whenever a test asks for one (a request file in the scratch folder): the
# pictures land in BUILD/screenshots/ as artifacts of the run.
#   run-e2e.sh [--gtest_filter=...]      (PELIM_BUILD and PELIM_RUN come from ctest)
set -euo pipefail
: "${PELIM_BUILD:?build folder}" "${PELIM_RUN:?run.sh}"
# shellcheck source=../wine/lib.sh
. "$(dirname "$0")/../wine/lib.sh"
if [ -f "$PELIM_BUILD/wine/unsupported" ]; then cat "$PELIM_BUILD/wine/unsupported"; exit 77; fi
# shellcheck disable=SC1090
. "$PELIM_BUILD/wine/${PELIM_PREFIX:-main}/env.sh"

requests=$PELIM_SCRATCH/e2e-shots
pictures=$PELIM_BUILD/screenshots
log=$PELIM_BUILD/e2e_tests.log
rm -rf "$requests"
watch_shots "$requests" "$pictures"
trap '[ -z "$shot_watcher" ] || kill "$shot_watcher" 2> /dev/null || true' EXIT

# The program's output goes through a file: Wine's desktop process, started by the first
# window, lives on with the prefix and would hold ctest's pipe open.
export PELIM_SHOT_DIR='S:\e2e-shots'
status=0
"$PELIM_RUN" "$PELIM_BUILD" 'P:\e2e_tests.exe' "$@" > "$log" 2>&1 < /dev/null || status=$?
iconv -f CP932 -t UTF-8 -c "$log" || cat "$log"

# A drop host whose ANSI code page is not 932: Wine gives a child process its parent's
# locale, so the host is started here under the Unix locale C.UTF-8 (code page 1252) and
# ForeignCodePage.* drives its dialog from the usual locale.
if [ $# -eq 0 ]; then
  foreign=$PELIM_SCRATCH/e2e-foreign
  rm -rf "$foreign"
  mkdir -p "$foreign/src" "$foreign/dst"
  printf estimate > "$foreign/src/見積書.txt"
  (cd "$PELIM_SCRATCH" && LC_ALL=C.UTF-8 timeout 120 wine 'P:\drophost.exe' --dll "P:\\$PELIM_DLL" \
     --pick copy --wait-ms 20000 'S:\e2e-foreign\dst' 'S:\e2e-foreign\src\見積書.txt' \
     > "$foreign/host.txt" 2>&1 < /dev/null) &
  host=$!
  PELIM_FOREIGN_HOST=1 "$PELIM_RUN" "$PELIM_BUILD" 'P:\e2e_tests.exe' --gtest_filter='ForeignCodePage.*' \
    > "$log.foreign" 2>&1 < /dev/null || status=$?
  wait "$host" || true
  iconv -f CP932 -t UTF-8 -c "$log.foreign" || cat "$log.foreign"
fi
exit $status
