# Sourced by the harnesses that boot test prefixes (prefix.sh here, tests/arm64/run-suite.sh):
# keeps a freshly booted prefix away from the host's files. The z: link to the host's / goes,
# the drives the tests use are linked, and the user folders become real folders (Wine makes
# them links to HOME).
seal_prefix() { # prefix folder, then drive letter and folder pairs: p /folder s /folder ...
  local prefix=$1 dev=$1/dosdevices link
  shift
  rm -f "$dev/z:" "$dev/z::"
  while [ $# -ge 2 ]; do ln -sfn "$2" "$dev/$1:"; shift 2; done
  find "$prefix/drive_c/users" -maxdepth 2 -type l | while read -r link; do
    rm -f "$link"; mkdir -p "$link"
  done
  if [ -e "$dev/z:" ]; then echo "z: still present" >&2; return 1; fi
}
