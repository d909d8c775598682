#!/usr/bin/env bash
# Lists the DLLs each given Windows binary imports and fails if any is not the platform's
# own: this keeps the extension and the setup program loadable on a bare Windows.
set -uo pipefail
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|msvcrt|comctl32|comdlg32|shlwapi|version|api-ms-win-.*)\.dll$'
status=0
for f in "$@"; do
  case "$(file -b "$f")" in
    *x86-64*) od=x86_64-w64-mingw32-objdump ;;
    *80386*|*i386*) od=i686-w64-mingw32-objdump ;;
    *) echo "$f: not a Windows binary"; status=1; continue ;;
  esac
  imports=$("$od" -p "$f" | awk '/DLL Name:/{print tolower($3)}' | sort -u | tr '\n' ' ')
  bad=$(printf '%s\n' $imports | grep -v -E "$allowed" || true)
  if [ -n "$bad" ]; then
    echo "FAIL $f imports: $imports(not platform: $(echo $bad))"; status=1
  else
    echo "ok   $f imports: $imports"
  fi
done
exit $status
