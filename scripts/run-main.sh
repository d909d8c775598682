#!/usr/bin/env bash
# The README's main command: installs what is missing for the build and the demo (not the
# test command's extras, nor the arm64 root, which only the aarch64 tests use), builds every
# architecture's deliverables and the demo's programs into dist/ and build/ (the test
# programs are left to the test command), and runs the demo (install under Wine, a
# right-drop rename, screenshots).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup-machine.sh" --main
"$top/scripts/build.sh" --demo
exec "$top/scripts/demo.sh" "$@"
