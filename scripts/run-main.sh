#!/usr/bin/env bash
# The README's main command: installs what is missing, builds both architectures into
# dist/, and runs the demo (install under Wine, a right-drop rename, screenshots).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup-machine.sh"
"$top/scripts/build.sh"
if [ -x "$top/scripts/demo.sh" ]; then
  exec "$top/scripts/demo.sh" "$@"
fi
"$top/scripts/check-imports.sh" "$top"/dist/*/setup.exe "$top"/dist/*/pelim/pelim102.dll
