# The one staging of a distribution the setup program starts from, sourced by scripts/build.sh
# (dist/download/) and the install harnesses (run-install.sh, run-standard-user.sh: the
# prefix's S:\dist-master\). Each file missing fails loudly.
#   stage_dist FOLDER BIN README        one build's setup.exe, its DLL and the read-me
#   stage_download FOLDER I686_BIN X64_BIN ARM64_BIN README
#                                       the download users get: the i686 build's setup.exe and
#                                       DLL, the read-me, the 64-bit DLL in pelim/x64/ and the
#                                       ARM64 DLL in pelim/arm64/ (none where ARM64_BIN is empty)
# The DLL's file name is PELIM_DLL, from the tree's product.env.

stage_file() { # file, folder
  [ -f "$1" ] || { echo "missing deliverable: $1" >&2; return 1; }
  mkdir -p "$2"
  cp "$1" "$2/"
}

stage_dist() {
  stage_file "$2/setup.exe" "$1" &&
  stage_file "$2/$PELIM_DLL" "$1/pelim" &&
  stage_file "$3" "$1/pelim"
}

stage_download() {
  stage_file "$2/setup.exe" "$1" &&
  stage_file "$2/$PELIM_DLL" "$1/pelim" &&
  stage_file "$5" "$1/pelim" &&
  stage_file "$3/$PELIM_DLL" "$1/pelim/x64" &&
  { [ -z "$4" ] || stage_file "$4/$PELIM_DLL" "$1/pelim/arm64"; }
}
