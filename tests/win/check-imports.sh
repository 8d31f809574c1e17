#!/bin/sh
# Fails when a shipped executable imports at start any DLL but kernel32 and msvcrt. Both programs
# run elevated, the launcher from a folder others may write (the install folder): every other
# system DLL is loaded on first use, after the program limited the DLL search to the system
# folder, since a DLL loaded at start, or one of its own imports, would be looked up beside the
# executable first (Wine's user32 and shell32 import version.dll, for one). Also fails when a
# delay-loaded function was linked without its thunk (an absolute 0: a call would jump to address
# 0); DELAYDIR holds the delay libraries' definitions (*.def).
#   check-imports.sh OBJDUMP DELAYDIR EXE...
set -u
objdump=$1
delaydir=$2
shift 2
nm=$(echo "$objdump" | sed 's/objdump$/nm/')
status=0
for exe in "$@"; do
  imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
  [ -n "$imports" ] || { echo "$exe: no imports found (is it a PE file?)"; status=1; }
  for dll in $imports; do
    case "$dll" in
      kernel32.dll | msvcrt.dll) echo "$(basename "$exe"): $dll" ;;
      *) echo "$(basename "$exe"): $dll is imported at start, not on first use"; status=1 ;;
    esac
  done
  lost=$("$nm" "$exe" | awk '
    FILENAME != "-" { if (listing[FILENAME]) delayed[$1] = 1; if ($1 == "EXPORTS") listing[FILENAME] = 1; next }
    $2 == "A" { name = $3; sub(/^_/, "", name); if ((name in delayed) || ($3 in delayed)) print $3 }
  ' "$delaydir"/*.def -)
  for symbol in $lost; do echo "$(basename "$exe"): $symbol has no thunk"; status=1; done
done
exit $status
