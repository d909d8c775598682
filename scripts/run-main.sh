#!/usr/bin/env bash
# The README's main command: installs what is missing (not the arm64 root, which only the
# aarch64 tests use), builds every architecture into dist/, and runs the demo (install under
# Wine, a right-drop rename, screenshots).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup-machine.sh"
"$top/scripts/build.sh"
exec "$top/scripts/demo.sh" "$@"
