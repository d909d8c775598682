#!/bin/sh
# windres for the ARM64 build, called by CMake as "windres -O coff ARGS... SOURCE OBJECT":
# the x86_64 windres writes the resources as a .res file (the same for every machine) and
# llvm-cvtres makes an ARM64 object of it.
set -e
for last; do :; done
res=$last.res
args=
skip=
for a; do
  if [ -n "$skip" ]; then skip=; continue; fi
  case "$a" in
    -O) skip=1 ;;
    "$last") ;;
    *) args="$args '$(printf %s "$a" | sed "s/'/'\\\\''/g")'" ;;
  esac
done
eval "x86_64-w64-mingw32-windres -O res $args '$res'"
llvm-cvtres-19 /machine:arm64 /out:"$last" "$res" > /dev/null
rm -f "$res"
