#!/usr/bin/env bash
# Lists the DLLs each given Windows binary imports and fails if any is not the platform's
# own: this keeps the extension and the setup program loadable on a bare Windows.
# With --lists DIR, a binary that has a list DIR/<name>.<arch>.txt ("dll function first
# Windows" per line) must import exactly the functions listed, and every listed function
# must be in the oldest Windows of the architecture:
#   i686    both families: "95" (in Windows 95's own DLL; "95stub": exported there but it
#           only fails, so the caller must not rely on it; "95redist": msvcrt.dll, which
#           Windows 95 gets with later updates such as Internet Explorer 4) and an NT
#           version up to "NT4.0" ("NT3.1", "NT3.5", "NT3.51", "NT4.0");
#   x86_64  "XPx64", Windows XP x64 / Server 2003 SP1 x64, the first 64-bit Windows;
#   aarch64 "10ARM", Windows 10 on ARM (version 1709), the first ARM64 Windows. No function
#           that takes a va_list (the v...printf family, wvsprintfA/W): the ARM64 Wine the
#           tests run on is built as Linux code, whose va_list differs, and those crash.
set -uo pipefail
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|msvcrt|comctl32|comdlg32|shlwapi|version|api-ms-win-.*)\.dll$'
lists=
if [ "${1:-}" = --lists ]; then
  lists=$2
  shift 2
fi
status=0
for f in "$@"; do
  case "$(file -b "$f")" in
    *x86-64*) arch=x86_64 ;;
    *80386*|*i386*) arch=i686 ;;
    *Aarch64*) arch=aarch64 ;;
    *) echo "$f: not a Windows binary"; status=1; continue ;;
  esac
  # Import entries: "<tab>hint<tab>..." lines from binutils' objdump, indented "hint name"
  # lines from LLVM's, which alone reads ARM64 binaries.
  if [ "$arch" = aarch64 ]; then
    od=llvm-objdump-19 entry='^ +[0-9]+ +[^ ]+$' outside='^[^ \t]'
  else
    od=$arch-w64-mingw32-objdump entry='^\t[0-9a-f]+\t' outside='^[^\t]'
  fi
  imports=$("$od" -p "$f" | awk '/DLL Name:/{print tolower($3)}' | sort -u | tr '\n' ' ')
  bad=$(printf '%s\n' $imports | grep -v -E "$allowed" || true)
  if [ -n "$bad" ]; then
    echo "FAIL $f imports: $imports(not platform: $(echo $bad))"; status=1
  else
    echo "ok   $f imports: $imports"
  fi

  # "dll function" of every import.
  actual=$("$od" -p "$f" | awk -v entry="$entry" -v outside="$outside" '
    /DLL Name:/{dll=tolower($3); next} $0 ~ outside {dll=""}
    dll != "" && $0 ~ entry {print dll, $NF}' | sort -u)
  if [ "$arch" = aarch64 ]; then
    valist=$(echo "$actual" | awk '$2 ~ /^_*v[a-z_]*(printf|scanf)/ || $2 ~ /^wvsprintf[AW]$/')
    if [ -n "$valist" ]; then
      echo "FAIL $f imports functions that take a va_list:"
      echo "$valist" | sed 's/^/  /'
      status=1
    fi
  fi

  list=$lists/$(basename "$f").$arch.txt
  [ -n "$lists" ] && [ -f "$list" ] || continue
  listed=$(awk '!/^#/ && NF {print tolower($1), $2}' "$list" | sort -u)
  added=$(comm -23 <(echo "$actual") <(echo "$listed"))
  vanished=$(comm -13 <(echo "$actual") <(echo "$listed"))
  if [ "$arch" = i686 ]; then
    floor=$(awk '!/^#/ && NF {old=0; nt=0; for (i = 3; i <= NF; i++) {
        if ($i ~ /^95(stub|redist)?$/) old=1; if ($i ~ /^NT(3\.1|3\.5|3\.51|4\.0)$/) nt=1 }
      if (!old || !nt) print $1, $2, "(" substr($0, index($0, $3)) ")"}' "$list")
  elif [ "$arch" = aarch64 ]; then
    floor=$(awk '!/^#/ && NF && $3 != "10ARM" {print $1, $2, "(" $3 ")"}' "$list")
  else
    floor=$(awk '!/^#/ && NF && $3 != "XPx64" {print $1, $2, "(" $3 ")"}' "$list")
  fi
  if [ -n "$added$vanished$floor" ]; then
    echo "FAIL $f against $list:"
    [ -z "$added" ] || echo "$added" | sed 's/^/  new import, not in the list: /'
    [ -z "$vanished" ] || echo "$vanished" | sed 's/^/  listed, no longer imported: /'
    [ -z "$floor" ] || echo "$floor" | sed 's/^/  not in the oldest Windows of '"$arch"': /'
    status=1
  else
    echo "ok   $f imports the $(echo "$actual" | wc -l) functions of $list"
  fi
done
exit $status
