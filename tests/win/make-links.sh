#!/bin/sh
# Test fixture: folder links inside the Wine prefix, made from the Linux side (Wine cannot make
# them from inside). Usage: make-links.sh WINE_RUN STATE_DIR [planted]
set -eu
wine_run=$1
state=$2
[ -f "$state/prefix/system.reg" ] || "$wine_run" "$state" cmd.exe /c exit 0 >/dev/null 2>&1 || true
root="$state/prefix/drive_c/korvane-links"
rm -rf "$root"
mkdir -p "$root/Korvane" "$root/outside/sub"
echo precious > "$root/outside/precious.txt"
echo deep > "$root/outside/sub/deep.txt"
echo own > "$root/Korvane/own.txt"
ln -s ../outside "$root/Korvane/linked"
ln -s outside "$root/toplink"
# Other names for guarded folders: "C:\Documents and Settings" as on Windows (a link to the
# Users folder), and a folder of the product whose parent turned into a link to the Users folder.
rm -rf "$state/prefix/drive_c/Documents and Settings"
ln -s users "$state/prefix/drive_c/Documents and Settings"
mkdir -p "$root/Relinked"
ln -s ../../users "$root/Relinked/data"
# With "planted": "~uninst.exe" in the temporary folder as a link to a file someone else owns.
echo "not the product's" > "$root/victim.txt"
if [ "${3:-}" = planted ]; then
  temp="$state/prefix/drive_c/users/${USER:-$(id -un)}/Temp"
  mkdir -p "$temp"
  rm -rf "$temp/~uninst.exe"
  ln -s ../../../korvane-links/victim.txt "$temp/~uninst.exe"
fi
