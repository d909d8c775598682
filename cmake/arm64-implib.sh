#!/bin/sh
# An ARM64 import library for one system DLL, from the x86_64 MinGW-w64 one: the names of
# its true imports (nm's "I", symbols in .idata; libmsvcrt.a also carries static helpers,
# which an ARM64 msvcrt.dll does not export), written as a .def file for llvm-dlltool.
#   arm64-implib.sh DLL-NAME OUTPUT-FOLDER      e.g. arm64-implib.sh kernel32 build/implib
set -e
dll=$1
cd "$2"
{
  echo "LIBRARY $dll.dll"
  echo EXPORTS
  x86_64-w64-mingw32-nm "/usr/x86_64-w64-mingw32/lib/lib$dll.a" 2> /dev/null |
    awk '$2 == "I" && $3 ~ /^__imp_/ {print substr($3, 7)}' | sort -u
} > "$dll.def"
llvm-dlltool-19 -m arm64 -d "$dll.def" -l "lib$dll.a"
