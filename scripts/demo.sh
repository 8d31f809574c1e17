#!/usr/bin/env bash
# The main job: a sample Korvane installation in a private Wine prefix, uninstalled with the real
# Uninst.exe (payload from uninst-pack). With a display, the uninstaller's windows are yours to
# click; without one, the e2e driver clicks "卸载" and answers "否" (keep history) under Xvfb and
# takes screenshots. Then it prints what was removed and what was kept.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
# The x86 pair is what ships; where this kernel runs no 32-bit code, the demo says so and runs the
# x64 pair, which removes the same things.
arch=x86
if ! scripts/ia32-guest.sh check >/dev/null 2>&1; then
  echo "demo: this kernel runs no 32-bit code; the demo runs the x64 launcher instead of the x86 one"
  arch=x64
fi
cmake --preset windows-$arch >/dev/null
cmake --build --preset windows-$arch >/dev/null
cmake --preset host >/dev/null
cmake --build --preset host --target uninst-pack >/dev/null

export WINE_RUN="$PWD/cmake/wine-run.sh" STATE="$PWD/build/demo/wine" WIN_BIN="$PWD/build/windows-$arch/bin"
export UNINST_PACK="$PWD/build/host/tools/uninst-pack/uninst-pack"
shots="$PWD/build/demo/screenshots"
work="$PWD/build/demo/work"
mkdir -p "$STATE" "$shots"
. scripts/lib/installation.sh

echo "== a sample installation in $STATE/prefix"
fresh_installation "$work" 10 3
"$UNINST_PACK" inspect "$install/Uninst.exe" | head -8
registry "$work" > "$work/registry-before.txt"
(cd "$C" && find "Program Files/Korvane" -type f | sort) > "$work/files-before.txt"
(cd "$C" && find "users/$user/Desktop/Zintera.lnk" \
  "users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Korvane" -type f 2>/dev/null | sort) \
  > "$work/shortcuts-before.txt"

if [ -n "${DISPLAY:-}" ]; then
  echo "== starting C:\\Program Files\\Korvane\\Uninst.exe: press 卸载 and answer the question"
  # The launcher quits at once; the wrapper waits for the remover it started.
  WINE_RUN_WAIT_ALL=1 wine_run 'C:\Program Files\Korvane\Uninst.exe'
else
  echo "== no display: the driver presses 卸载 and answers 否 under Xvfb"
  rm -rf "$C/demo-shots"
  wine_run "$WIN_BIN/e2e_driver.exe" 'C:\Program Files\Korvane\Uninst.exe' --action uninstall --answer no \
    --shots 'C:\demo-shots' | tr -d '\r' | grep -E '^(question-text|statuses|progress-max|remover-exit)'
  for f in "$C/demo-shots"/*.bmp; do convert "$f" "$shots/$(basename "${f%.bmp}").png"; done
fi

echo "== files, per folder (a folder that is gone is marked so; kept files named when few)"
while read -r path; do
  if [ -e "$C/$path" ]; then state=kept; else state=removed; fi
  dir=${path%/*}
  printf '%s\t%s\t%s\t%s\n' "$dir" "$state" "${path##*/}" "$([ -d "$C/$dir" ] && echo here || echo gone)"
done < "$work/files-before.txt" | awk -F'\t' '
  { dirs[$1] = $4; if ($2 == "kept") { kept[$1]++; names[$1] = names[$1] (kept[$1] > 1 ? ", " : "") $3 }
    else removed[$1]++ }
  END { for (d in dirs)
          printf "C:/%s: %d removed, %d kept%s%s\n", d, removed[d], kept[d],
                 (kept[d] > 0 && kept[d] <= 3) ? " (" names[d] ")" : "", dirs[d] == "gone" ? "; folder gone" : "" }' | sort
echo "== shortcuts"
while read -r path; do
  if [ -e "$C/$path" ]; then echo "kept     C:/$path"; else echo "removed  C:/$path"; fi
done < "$work/shortcuts-before.txt"
echo "== registry"
registry "$work" | sed 's/^present/kept    /; s/^absent/removed /'
echo "== the staged remover: $(ls $staged_glob 2>/dev/null || echo missing)"
[ -n "${DISPLAY:-}" ] || echo "== screenshots: $shots"
