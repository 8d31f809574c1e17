# A Korvane installation in a private Wine prefix, for the end-to-end scenarios and the demo.
# Source it with WINE_RUN (cmake/wine-run.sh), STATE (the prefix's state folder), WIN_BIN (the
# windows build's bin folder) and UNINST_PACK set; then call fresh_installation WORK_DIR
# FILES_PER_FOLDER FOLDERS, and registry WORK_DIR to see the product's keys.
wine_run() { "$WINE_RUN" "$STATE" "$@"; }

# The prefix and the places the product lives in.
[ -f "$STATE/prefix/system.reg" ] || wine_run cmd.exe /c exit 0 >/dev/null 2>&1 || true
user=${USER:-$(id -un)}
C="$STATE/prefix/drive_c"
profile="$C/users/$user"
install="$C/Program Files/Korvane"
temp="$profile/Temp"
# Where the launcher stages the remover: one folder per start in the Windows folder.
staged_glob="$C/windows/~uninst.korvane.*/~uninst.exe"
programs="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
common_programs="$C/ProgramData/Microsoft/Windows/Start Menu/Programs"
desktop="$profile/Desktop"

# --- a realistic installation -----------------------------------------------------------------
# Files in groups, a user file inside a listed folder, resource folders named in Resource.ini,
# shortcuts on the desktop and in the Start menu, the launcher with its payload, and the
# product's registry trees with a neighbour of each.
fresh_installation() {
  local work=$1 files_per_folder=$2 folders=$3 f
  rm -rf "$work" "$install" "$programs/Korvane" "$common_programs/Korvane" "$desktop/Zintera.lnk" "$temp/~uninst.exe" \
    "$C/windows"/~uninst.korvane.*
  mkdir -p "$work"
  mkdir -p "$install/模板" "$install/bin" "$install/Skins/dark" "$install/Fonts" "$install/空"
  : > "$install/Korvane.exe"; : > "$install/Uninst.exe"
  echo "not listed: the user's own" > "$install/模板/我的简历.lvf"
  # History the product wrote while in use: not listed, removed with its folder on "是".
  mkdir -p "$install/History"
  for ((f = 0; f < 300; f++)); do : > "$install/History/h$f.dat"; done
  # Names with no GBK form (an emoji, Hangul): a search in the ANSI code page would turn them
  # into '?' and never delete them.
  : > "$install/History/😀.dat"; : > "$install/History/한국어.dat"
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
    printf '  {"folder": "C:\\\\Program Files\\\\Korvane\\\\History", "files": []},\n'
    : > "$install/模板/简历.lvf"
    local d
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
  write_registry_files "$work"
  # Wine's regedit now and then imports nothing at the start of a prefix's session (seen in 2 of
  # 5 full runs once removers scheduled their staging folders for the restart, which the
  # session's start carries out): imported again then, up to three times.
  local try
  for try in 1 2 3; do
    wine_run regedit.exe /S "Z:$(echo "$work/keys.reg" | tr / '\\')" >/dev/null 2>&1
    grep -q '^absent' <<<"$(registry "$work")" || break
  done
}

# Signs the packed launcher IN into OUT as a vendor does after packing (osslsigncode), with a
# throwaway certificate whose files (cert.pem, key.pem) go in DIR.
sign_packed() {
  local in=$1 out=$2 dir=$3
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/key.pem" -out "$dir/cert.pem" -days 2 \
    -subj "/CN=Korvane test vendor" 2>/dev/null
  rm -f "$out"  # osslsigncode writes no file that exists
  osslsigncode sign -certs "$dir/cert.pem" -key "$dir/key.pem" -n Korvane -h sha256 -in "$in" -out "$out" >/dev/null
}

# --- registry: the product's three trees and a neighbour of each --------------------------------
write_registry_files() {
  local work=$1
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
  # Wine's cmd mishandles "a && b || c": test errorlevel instead.
  {
    echo '@echo off'
    for key in 'HKCC\Lettrova' 'HKCR\.lvf' 'HKCR\Lettrova.Document' 'HKCC\LettrovaNeighbour' 'HKCR\.lvg'; do
      printf 'reg query %s >nul 2>&1\r\nif errorlevel 1 (echo absent %s) else (echo present %s)\r\n' "$key" "$key" "$key"
    done
  } > "$work/query.bat"
}

# Prints "present KEY" or "absent KEY" for the product's keys and their neighbours. Wine's cmd now
# and then fails or ends without output: the query is asked again then (up to three times), and
# its status never ends a scenario (set -e) before the answer is checked.
registry() {
  local answer try
  for try in 1 2 3; do
    answer=$(wine_run cmd.exe /c "Z:$(echo "$1/query.bat" | tr / '\\')" 2>/dev/null | tr -d '\r') || true
    [ "$(grep -c '^\(present\|absent\) ' <<<"$answer")" = 5 ] && break
  done
  printf '%s\n' "$answer"
}
