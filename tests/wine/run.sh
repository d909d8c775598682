#!/usr/bin/env bash
# Runs a Windows program in a private test prefix: run.sh BUILD 'P:\program.exe' [args...]
# The prefix is BUILD/wine/main unless PELIM_PREFIX names another one (see prefix.sh new).
# The program's output goes through a file: Wine's own background processes, started by
# the first program of a prefix, must not hold the caller's pipes open.
set -euo pipefail
build=${1:?build folder}; shift
if [ -f "$build/wine/unsupported" ]; then cat "$build/wine/unsupported"; exit 77; fi
env=$build/wine/${PELIM_PREFIX:-main}/env.sh
[ -f "$env" ] || { echo "no prefix at $env: run prefix.sh up first" >&2; exit 2; }
# shellcheck disable=SC1090
. "$env"
log=$(mktemp "${TMPDIR:-/tmp}/pelim-run.XXXXXX")
trap 'rm -f "$log"' EXIT
cd "$PELIM_SCRATCH"
status=0
wine "$@" > "$log" 2>&1 < /dev/null || status=$?
cat "$log"
exit $status
