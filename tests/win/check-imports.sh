#!/bin/sh
# Fails when an executable imports a DLL that is not a KnownDLL: such a DLL would be looked up
# beside the executable first, and both programs run elevated from the user's temporary folder.
#   check-imports.sh OBJDUMP EXE...
set -u
objdump=$1
shift
allowed=" advapi32.dll clbcatq.dll combase.dll comdlg32.dll coml2.dll difxapi.dll gdi32.dll gdiplus.dll
 imagehlp.dll imm32.dll kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll ole32.dll oleaut32.dll
 psapi.dll rpcrt4.dll sechost.dll setupapi.dll shcore.dll shell32.dll shlwapi.dll user32.dll
 wldap32.dll ws2_32.dll "
allowed=" $(echo $allowed) "  # one line, single spaces
status=0
for exe in "$@"; do
  imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
  [ -n "$imports" ] || { echo "$exe: no imports found (is it a PE file?)"; status=1; }
  for dll in $imports; do
    case "$allowed" in
      *" $dll "*) echo "$(basename "$exe"): $dll" ;;
      *) echo "$(basename "$exe"): $dll is not a KnownDLL"; status=1 ;;
    esac
  done
done
exit $status
