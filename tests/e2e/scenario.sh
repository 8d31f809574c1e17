#!/usr/bin/env bash
# One end-to-end scenario: a Korvane installation made in a private Wine prefix, the real
# Uninst.exe with a payload from uninst-pack, the e2e driver clicking through the windows, then
# the files, shortcuts and registry checked for real.
#
#   scenario.sh NAME      NAME: yes | no | cancel | escape | close | cancel-during | missing | no-payload
#
# Environment (set by ctest): WINE_RUN (cmake/wine-run.sh), STATE (prefix state folder),
# WIN_BIN (the windows build's bin folder), UNINST_PACK, SHOTS (where screenshots go, as PNG).
set -euo pipefail
name=$1
: "${WINE_RUN:?}" "${STATE:?}" "${WIN_BIN:?}" "${UNINST_PACK:?}" "${SHOTS:?}"
failures=0
fail() { echo "FAIL [$name]: $*"; failures=$((failures + 1)); }
check() { local what=$1; shift; if "$@"; then echo "ok: $what"; else fail "$what"; fi; }
wine_run() { "$WINE_RUN" "$STATE" "$@"; }

# The prefix and the places the product lives in.
[ -f "$STATE/prefix/system.reg" ] || wine_run cmd.exe /c exit 0 >/dev/null 2>&1 || true
user=${USER:-$(id -un)}
C="$STATE/prefix/drive_c"
profile="$C/users/$user"
install="$C/Program Files/Korvane"
temp="$profile/Temp"
programs="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
common_programs="$C/ProgramData/Microsoft/Windows/Start Menu/Programs"
desktop="$profile/Desktop"
work="$STATE/scenario-$name"
rm -rf "$work" "$install" "$programs/Korvane" "$common_programs/Korvane" "$desktop/Zintera.lnk" "$temp/~uninst.exe"
mkdir -p "$work" "$SHOTS"

# --- a realistic installation -----------------------------------------------------------------
make_installation() {
  local files_per_folder=$1 folders=$2
  mkdir -p "$install/模板" "$install/bin" "$install/Skins/dark" "$install/Fonts" "$install/空"
  : > "$install/Korvane.exe"; : > "$install/Uninst.exe"
  echo "not listed: the user's own" > "$install/模板/我的简历.lvf"
  : > "$install/Skins/dark/s1.png"; : > "$install/Fonts/f.ttf"
  printf '[Resources]\r\nres_Skins=1\r\nres_Fonts=1\r\nres_..=1\r\n' > "$install/Resource.ini"
  mkdir -p "$programs/Korvane" "$desktop"
  for lnk in Zintera.lnk 卸载Zintera.lnk 帮助文档.lnk; do echo lnk > "$programs/Korvane/$lnk"; done
  echo lnk > "$desktop/Zintera.lnk"

  # The manifest: templates, binaries, then the install folder itself (removed last of all).
  {
    printf '{"programFolderName": "Korvane", "installDir": "C:\\\\Program Files\\\\Korvane\\\\",\n'
    printf ' "finalFile": "C:\\\\Program Files\\\\Korvane\\\\Uninst.exe", "groups": [\n'
    printf '  {"folder": "C:\\\\Program Files\\\\Korvane\\\\模板", "files": ["C:\\\\Program Files\\\\Korvane\\\\模板\\\\简历.lvf"]},\n'
    printf '  {"folder": "C:\\\\Program Files\\\\Korvane\\\\空", "files": []},\n'
    : > "$install/模板/简历.lvf"
    local f d
    for ((d = 0; d < folders; d++)); do
      mkdir -p "$install/bin/d$d"
      printf '  {"folder": "C:\\\\Program Files\\\\Korvane\\\\bin\\\\d%d", "files": [' "$d"
      for ((f = 0; f < files_per_folder; f++)); do
        : > "$install/bin/d$d/f$f.dll"
        [ "$f" -gt 0 ] && printf ', '
        printf '"C:\\\\Program Files\\\\Korvane\\\\bin\\\\d%d\\\\f%d.dll"' "$d" "$f"
      done
      printf ']},\n'
    done
    printf '  {"folder": "C:\\\\Program Files\\\\Korvane\\\\bin", "files": []},\n'
    printf '  {"folder": "C:\\\\Program Files\\\\Korvane", "files": ["C:\\\\Program Files\\\\Korvane\\\\Korvane.exe"]}\n]}\n'
  } > "$work/manifest.json"
  rm -f "$install/Uninst.exe"
  "$UNINST_PACK" build --launcher "$WIN_BIN/Uninst.exe" --manifest "$work/manifest.json" --output "$install/Uninst.exe"
}

# --- registry: the product's three trees and a neighbour of each --------------------------------
cat > "$work/keys.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_CONFIG\Lettrova\Settings\Recent]
"File"="C:\\doc.lvf"
[HKEY_CURRENT_CONFIG\Lettrova\License]
"Key"="K-1"
[HKEY_CLASSES_ROOT\.lvf]
@="Lettrova.Document"
[HKEY_CLASSES_ROOT\.lvf\ShellNew]
[HKEY_CLASSES_ROOT\Lettrova.Document\shell\open\command]
@="\"C:\\Program Files\\Korvane\\Korvane.exe\" \"%1\""
[HKEY_CURRENT_CONFIG\LettrovaNeighbour]
[HKEY_CLASSES_ROOT\.lvg]
@="kept"
REG
{
  echo '@echo off'
  for key in 'HKCC\Lettrova' 'HKCR\.lvf' 'HKCR\Lettrova.Document' 'HKCC\LettrovaNeighbour' 'HKCR\.lvg'; do
    printf 'reg query %s >nul 2>&1\r\nif errorlevel 1 (echo absent %s) else (echo present %s)\r\n' "$key" "$key" "$key"
  done
} > "$work/query.bat"
wine_run regedit.exe /S "Z:$(echo "$work/keys.reg" | tr / '\\')" >/dev/null 2>&1
registry() { wine_run cmd.exe /c "Z:$(echo "$work/query.bat" | tr / '\\')" 2>/dev/null | tr -d '\r'; }
drive() { wine_run "$WIN_BIN/e2e_driver.exe" "$@" --shots 'C:\e2e-shots' | tr -d '\r' | tee "$work/report.txt"; }
report() { grep -m1 "^$1: " "$work/report.txt" | cut -d' ' -f2-; }
keep_shots() {
  local f
  for f in "$C/e2e-shots"/*.bmp; do
    [ -e "$f" ] && convert "$f" "$SHOTS/$name-$(basename "${f%.bmp}").png" && rm -f "$f"
  done
  return 0
}
registry_gone() { registry > "$work/reg.txt"; grep -q 'absent HKCC\\Lettrova$' "$work/reg.txt" &&
  grep -q 'absent HKCR\\.lvf$' "$work/reg.txt" && grep -q 'absent HKCR\\Lettrova.Document$' "$work/reg.txt"; }
registry_untouched() { registry > "$work/reg.txt"; ! grep -q '^absent' "$work/reg.txt"; }
neighbours_kept() { grep -q 'present HKCC\\LettrovaNeighbour' "$work/reg.txt" && grep -q 'present HKCR\\.lvg' "$work/reg.txt"; }
remover_ended() { [ "$(report remover-exit)" = 0 ] && [ "$(report remover-window-left)" = 0 ]; }
nothing_deleted() { [ -f "$install/Korvane.exe" ] && [ -f "$install/bin/d0/f0.dll" ] && [ -f "$install/Resource.ini" ] &&
  [ -f "$install/Skins/dark/s1.png" ] && [ -f "$desktop/Zintera.lnk" ] && [ -f "$programs/Korvane/Zintera.lnk" ]; }
first_state_right() { [ "$(report initial-status)" = "" ] && [ "$(report initial-progress)" = 0 ] &&
  [ "$(report progress-range)" = "0..200" ] && [ "$(report initial-focus)" = 2 ]; }

launcher='C:\Program Files\Korvane\Uninst.exe'
case "$name" in
  yes | no | missing)
    make_installation 20 5
    [ "$name" = missing ] && rm -f "$install/bin/d1/f3.dll" "$install/bin/d4/f19.dll"
    answer=yes; [ "$name" = no ] && answer=no
    drive "$launcher" --action uninstall --answer "$answer"
    check "the launcher quit, leaving no window" test "$(report launcher-exited)/$(report launcher-window)" = 1/0
    check "first state: empty status, bar 0 of 0..200, focus on 取消" first_state_right
    check "the question's caption is the staged file's name" test "$(report question-caption)" = "~uninst"
    check "the question" grep -qF "是否删除所有历史记录（Y/N）？" "$work/report.txt"
    check "file status texts" grep -qF "status: 正在删除文件：C:\\Program Files\\Korvane\\" "$work/report.txt"
    check "folder status texts" grep -qF "status: 正在删除目录：C:\\Program Files\\Korvane" "$work/report.txt"
    check "the bar never goes back" test "$(report progress-decreased)" = 0
    check "卸载 is disabled while the worker runs" test "$(report uninstall-enabled-while-running)" = 0
    check "the remover ended by itself" remover_ended
    check "the staged remover stays in the temporary folder" test -f "$temp/~uninst.exe"
    check "the registry trees are gone" registry_gone
    check "neighbouring keys stay" neighbours_kept
    check "the desktop shortcut is gone" test ! -e "$desktop/Zintera.lnk"
    check "the Start-menu folder is gone" test ! -e "$programs/Korvane"
    check "resource folders are gone" test ! -e "$install/Skins" -a ! -e "$install/Fonts" -a ! -e "$install/Resource.ini"
    check "listed files are gone" test ! -e "$install/Korvane.exe" -a ! -e "$install/模板/简历.lvf" -a ! -e "$install/bin"
    case "$name" in
      yes) check "the bar ends full" test "$(report progress-max)" = 200
           check "the install folder is gone" test ! -e "$install" ;;
      no) check "the user's file stays, with its folders" test -f "$install/模板/我的简历.lvf"
          check "empty listed folders go" test ! -e "$install/空" ;;
      missing) check "the bar ends short of full (100 of 102 files)" test "$(report progress-max)" = 196 ;;
    esac
    ;;
  cancel | escape | close)
    make_installation 20 5
    drive "$launcher" --action "$name"
    check "first state" first_state_right
    check "the remover ended" remover_ended
    check "nothing was deleted" nothing_deleted
    check "the registry is untouched" registry_untouched
    ;;
  cancel-during)
    make_installation 200 15
    drive "$launcher" --action cancel-during --answer yes
    check "the remover ended cleanly" remover_ended
    check "the registry is untouched" registry_untouched
    check "the work stopped part way" test -f "$install/Korvane.exe" -a -f "$desktop/Zintera.lnk"
    ;;
  no-payload)
    make_installation 20 5
    mkdir -p "$C/korvane-bare"
    cp "$WIN_BIN/uninstaller.exe" "$C/korvane-bare/uninstaller.exe"
    drive 'C:\korvane-bare\uninstaller.exe' --action uninstall --answer yes
    check "the question's caption is the executable's name" test "$(report question-caption)" = uninstaller
    check "no status was shown" test "$(report statuses)" = 0
    check "the remover closed by itself" remover_ended
    check "nothing was deleted" nothing_deleted
    check "the registry is untouched" registry_untouched
    ;;
  *) echo "unknown scenario $name"; exit 2 ;;
esac
keep_shots
if [ "$failures" -gt 0 ]; then
  echo "scenario $name: $failures failed"
  exit 1
fi
echo "scenario $name: passed"
