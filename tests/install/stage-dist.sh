# Sourced by the install harnesses (run-install.sh, run-standard-user.sh): the distribution
# the setup program starts from, staged in a folder (the prefix's S:\dist-master\).
#   stage_dist MASTER       this build's setup.exe, its DLL and the read-me
#   stage_download MASTER   the download users get: the i686 build's setup.exe and DLL, the
#                           read-me, and this build's 64-bit DLL in pelim/x64/
# PELIM_BUILD, PELIM_SOURCE and PELIM_DLL come from ctest; the i686 build's programs
# (PELIM_I686_BIN) from scripts/run-tests.sh.
i686_bin=${PELIM_I686_BIN:-}

stage_dist() {
  mkdir -p "$1/pelim"
  cp "$PELIM_BUILD/bin/setup.exe" "$1/"
  cp "$PELIM_BUILD/bin/$PELIM_DLL" "$PELIM_BUILD/readme.txt" "$1/pelim/"
}

stage_download() {
  mkdir -p "$1/pelim/x64"
  cp "$i686_bin/setup.exe" "$1/"
  cp "$i686_bin/$PELIM_DLL" "$PELIM_BUILD/readme.txt" "$1/pelim/"
  cp "$PELIM_BUILD/bin/$PELIM_DLL" "$1/pelim/x64/"
}
