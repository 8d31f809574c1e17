#!/usr/bin/env bash
# One end-to-end scenario: a Korvane installation made in a private Wine prefix, the real
# Uninst.exe with a payload from uninst-pack, the e2e driver clicking through the windows, then
# the files, shortcuts and registry checked for real.
#
#   scenario.sh NAME      NAME: yes | no | cancel | escape | close | cancel-during | missing | no-payload
#                         | dll-planting | escape-during | launcher-keys | signed | payload-swap | quick
#
# Environment (set by ctest): WINE_RUN (cmake/wine-run.sh), STATE (prefix state folder),
# WIN_BIN (the windows build's bin folder), UNINST_PACK, SHOTS (where screenshots go, as PNG).
#
# escape-during and launcher-keys use the real mouse and keyboard (xdotool) where the others post
# window messages: where the focus is decides what a key does, and posted messages skip that.
#
# A scenario has 300 seconds, and its waits (the driver's too) their own times, each multiplied
# by KORVANE_TIME_SCALE (default 1): the QEMU guest, under software emulation, sets it.
set -euo pipefail
name=$1
scale=${KORVANE_TIME_SCALE:-1}
if [ -z "${KORVANE_SCENARIO_TIMED:-}" ]; then
  KORVANE_SCENARIO_TIMED=1 exec timeout --kill-after=10 $((300 * scale)) bash "$0" "$@"
fi
case "$name" in
  escape-during | launcher-keys | payload-swap)
    # xdotool and Wine must share one X display: the scenario gets its own when there is none.
    if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"; fi ;;
esac
: "${WINE_RUN:?}" "${STATE:?}" "${WIN_BIN:?}" "${UNINST_PACK:?}" "${SHOTS:?}"
failures=0
fail() { echo "FAIL [$name]: $*"; failures=$((failures + 1)); }
check() { local what=$1; shift; if "$@"; then echo "ok: $what"; else fail "$what"; fi; }

. "$(dirname "$0")/../../scripts/lib/installation.sh"
work="$STATE/scenario-$name"
mkdir -p "$SHOTS"
make_installation() {
  fresh_installation "$work" "$@"
  registry "$work" > "$work/reg-before.txt"
  if grep -q '^absent' "$work/reg-before.txt"; then echo "set-up: the registry import failed"; cat "$work/reg-before.txt"; exit 1; fi
}

drive() { wine_run "$WIN_BIN/e2e_driver.exe" "$@" --shots 'C:\e2e-shots' | tr -d '\r' | tee "$work/report.txt"; }
# By hand: the driver runs in the background and says what is on screen; the scenario acts on it
# with xdotool, as a person would.
drive_by_hand() {
  : > "$work/report.raw"
  wine_run "$WIN_BIN/e2e_driver.exe" "$@" --shots 'C:\e2e-shots' > "$work/report.raw" 2> "$work/driver.err" &
  driver=$!
}
# Waits until the driver has reported KEY (false when it ended or SECONDS passed without it).
await() {
  local key=$1 tenths=$((${2:-90} * 10 * scale))
  while [ "$tenths" -gt 0 ]; do
    tr -d '\r' < "$work/report.raw" > "$work/report.txt"
    grep -q "^$key: " "$work/report.txt" && return 0
    kill -0 "$driver" 2>/dev/null || break
    sleep 0.1; tenths=$((tenths - 1))
  done
  tr -d '\r' < "$work/report.raw" > "$work/report.txt"
  grep -q "^$key: " "$work/report.txt"
}
driver_done() { wait "$driver" || true; tr -d '\r' < "$work/report.raw" > "$work/report.txt"; cat "$work/report.txt"; }
report() { grep -m1 "^$1: " "$work/report.txt" | cut -d' ' -f2-; }
keep_shots() {
  local f
  for f in "$C/e2e-shots"/*.bmp; do
    [ -e "$f" ] && convert "$f" "$SHOTS/$name-$(basename "${f%.bmp}").png" && rm -f "$f"
  done
  return 0
}
registry_gone() { registry "$work" > "$work/reg.txt"; grep -q 'absent HKCC\\Lettrova$' "$work/reg.txt" &&
  grep -q 'absent HKCR\\.lvf$' "$work/reg.txt" && grep -q 'absent HKCR\\Lettrova.Document$' "$work/reg.txt"; }
registry_untouched() { registry "$work" > "$work/reg.txt"; cmp -s "$work/reg-before.txt" "$work/reg.txt"; }
neighbours_kept() { grep -q 'present HKCC\\LettrovaNeighbour' "$work/reg.txt" && grep -q 'present HKCR\\.lvg' "$work/reg.txt"; }
remover_ended() { [ "$(report remover-exit)" = 0 ] && [ "$(report remover-window-left)" = 0 ]; }
nothing_deleted() { [ -f "$install/Korvane.exe" ] && [ -f "$install/bin/d0/f0.dll" ] && [ -f "$install/Resource.ini" ] &&
  [ -f "$install/Skins/dark/s1.png" ] && [ -f "$desktop/Zintera.lnk" ] && [ -f "$programs/Korvane/Zintera.lnk" ]; }
first_state_right() { [ "$(report initial-status)" = "" ] && [ "$(report initial-progress)" = 0 ] &&
  [ "$(report progress-range)" = "0..200" ] && [ "$(report initial-focus)" = 2 ]; }

launcher='C:\Program Files\Korvane\Uninst.exe'

# Signs the packed launcher as a vendor does after packing (osslsigncode, with a throwaway
# certificate), and checks that the signature covers the payload.
sign_launcher() {
  local unsigned="$work/Uninst-unsigned.exe"
  mv "$install/Uninst.exe" "$unsigned"
  sign_packed "$unsigned" "$install/Uninst.exe" "$work"
  check "osslsigncode accepts the signature" osslsigncode verify -CAfile "$work/cert.pem" -in "$install/Uninst.exe"
  "$UNINST_PACK" inspect "$unsigned" > "$work/unsigned.txt"
  "$UNINST_PACK" inspect "$install/Uninst.exe" > "$work/signed.txt"
  check "uninst-pack inspect says where the certificate table is" grep -q '^signed: certificate table at offset' "$work/signed.txt"
  check "the signed file carries the unsigned file's payload" cmp -s "$work/unsigned.txt" <(grep -v '^signed: ' "$work/signed.txt")
  # One byte of the records changed: the signature no longer holds.
  local records
  records=$(sed -n 's/.* recordsOffset=\([0-9]*\).*/\1/p' "$work/signed.txt")
  cp "$install/Uninst.exe" "$work/tampered.exe"
  printf 'X' | dd of="$work/tampered.exe" bs=1 seek=$((records + 3)) conv=notrunc status=none
  check "a changed payload byte breaks the signature" \
    bash -c '! osslsigncode verify -CAfile "$1" -in "$2" >/dev/null 2>&1' _ "$work/cert.pem" "$work/tampered.exe"
}
case "$name" in
  yes | no | missing | signed)
    make_installation 20 5
    [ "$name" = signed ] && sign_launcher
    [ "$name" = missing ] && rm -f "$install/bin/d1/f3.dll" "$install/bin/d4/f19.dll"
    answer=yes; [ "$name" = no ] && answer=no
    # On "是" the unlisted history goes with its folder after the last listed file, which keeps
    # the full bar on screen long enough to be read.
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
    check "one staged remover stays, in a folder of its own in the Windows folder" test "$(ls $staged_glob | wc -l)" = 1
    check "nothing was staged in the temporary folder" test ! -e "$temp/~uninst.exe"
    check "the registry trees are gone" registry_gone
    check "neighbouring keys stay" neighbours_kept
    check "the desktop shortcut is gone" test ! -e "$desktop/Zintera.lnk"
    check "the Start-menu folder is gone" test ! -e "$programs/Korvane"
    check "resource folders are gone" test ! -e "$install/Skins" -a ! -e "$install/Fonts" -a ! -e "$install/Resource.ini"
    check "listed files are gone" test ! -e "$install/Korvane.exe" -a ! -e "$install/模板/简历.lvf" -a ! -e "$install/bin"
    case "$name" in
      yes | signed) check "the bar ends full" test "$(report progress-max)" = 200
           check "the install folder is gone" test ! -e "$install" ;;
      no) check "the user's files stay, with their folders" test -f "$install/模板/我的简历.lvf" -a -f "$install/History/h0.dat"
          check "history files whose names have no GBK form stay" test -f "$install/History/😀.dat" -a -f "$install/History/한국어.dat"
          check "empty listed folders go" test ! -e "$install/空" ;;
      missing) check "the bar ends short of full (100 of 102 files)" test "$(report progress-max)" = 196 ;;
    esac
    ;;
  quick)
    # 卸载 and 是 the moment the dialog shows, while the launcher still runs from Uninst.exe: the
    # remover gives it a few seconds to end before the final file.
    make_installation 20 5
    drive "$launcher" --action quick
    check "the launcher still ran when the question was answered" test "$(report launcher-running-at-yes)" = 1
    check "the launcher ended" test "$(report launcher-exited)" = 1
    check "the remover ended by itself" test "$(report remover-exit)" = 0
    check "Uninst.exe is gone" test ! -e "$install/Uninst.exe"
    check "the install folder is gone" test ! -e "$install"
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
  escape-during)
    # A click on 卸载, Return for "是" on the question, Escape while the removal runs. The bar
    # and the status line take most of the worker's time, so 3,000 files keep it running for
    # seconds after the third status text, when Escape is pressed.
    make_installation 200 15
    drive_by_hand "$launcher" --action by-hand
    if await press-uninstall 120; then xdotool mousemove $(report press-uninstall) click 1; fi
    if await question-shown 60; then xdotool key Return; fi
    if await running 60; then xdotool key Escape; fi
    driver_done
    check "first state" first_state_right
    check "the click brought the question" test "$(report question-caption)" = "~uninst"
    check "the removal ran with the focus on 取消" test "$(report focus-while-running)" = 2
    check "Escape ended the remover while it ran" remover_ended
    check "it ended within 5 s of Escape" test "$(report running-to-end-ms)" -lt 5000
    check "resource folders and the first listed files stay deleted" \
      test ! -e "$install/Skins" -a ! -e "$install/Resource.ini" -a ! -e "$install/模板/简历.lvf"
    check "the work stopped part way" test -f "$install/Korvane.exe" -a -f "$install/bin/d14/f199.dll" \
      -a -f "$desktop/Zintera.lnk" -a -f "$programs/Korvane/Zintera.lnk"
    check "the registry is untouched" registry_untouched
    check "no remover process is left" test "$(report programs-left)" = 0
    ;;
  payload-swap)
    # While the dialog waits for 卸载, another program of the user renames the running
    # "~uninst.exe" away and puts a remover with a payload of its own under that name, one that
    # lists somebody else's file (nothing guards a listed file: only reading the genuine payload
    # keeps it). The remover reads only the file it holds since its start.
    make_installation 20 5
    mkdir -p "$C/korvane-victim"
    victim="$C/korvane-victim/victim.txt"
    echo "somebody else's" > "$victim"
    printf '{"programFolderName": "Korvane", "installDir": "C:\\\\korvane-decoy\\\\", "finalFile": "C:\\\\korvane-victim\\\\victim.txt",\n "groups": [{"folder": "C:\\\\korvane-decoy", "files": ["C:\\\\korvane-victim\\\\victim.txt"]}]}\n' \
      > "$work/swap.json"
    "$UNINST_PACK" build --bare-remover --launcher "$WIN_BIN/uninstaller.exe" --manifest "$work/swap.json" \
      --output "$work/swapped.exe" >/dev/null 2>&1
    drive_by_hand "$launcher" --action by-hand
    if await press-uninstall 120; then
      staged=$(ls $staged_glob)
      mv "$staged" "$staged.moved"
      cp "$work/swapped.exe" "$staged"
      xdotool mousemove $(report press-uninstall) click 1
    fi
    if await question-shown 60; then xdotool key Return; fi
    driver_done
    check "the swap was made under the running remover's name" cmp -s "$work/swapped.exe" "$staged"
    check "the file listed by the swapped-in payload stays" test -f "$victim"
    check "the remover ended by itself" remover_ended
    check "the genuine payload was removed" test ! -e "$install" -a ! -e "$desktop/Zintera.lnk"
    check "the registry trees are gone" registry_gone
    rm -rf "$C/korvane-victim" "$staged.moved"
    ;;
  launcher-keys)
    # The launcher's failure dialog (the launcher as built, without a payload) closes on
    # Escape and on Return.
    mkdir -p "$work" "$C/korvane-bare"
    rm -rf "$temp/~uninst.exe" "$C/windows"/~uninst.korvane.*
    cp "$WIN_BIN/Uninst.exe" "$C/korvane-bare/Uninst.exe"
    for key in Escape Return; do
      drive_by_hand 'C:\korvane-bare\Uninst.exe' --action launcher-failure
      if await launcher-failure-shown 120; then xdotool key "$key"; fi
      driver_done
      check "the failure dialog says so" test "$(report launcher-failure-text)" = "Korvane 系统卸载失败!"
      check "$key closes it and ends the launcher" test "$(report launcher-exit)/$(report launcher-window-left)" = 0/0
      check "nothing was staged" test -z "$(ls $staged_glob 2>/dev/null)"
    done
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
  dll-planting)
    # Marker DLLs beside the launcher and in the temporary folder, and Wine told to prefer DLLs
    # found there over its own: none may be loaded during a whole uninstall.
    make_installation 20 5
    rm -rf "$C/korvane-dll-markers"
    cp "$WIN_BIN"/planted/*.dll "$install/"
    cp "$WIN_BIN"/planted/*.dll "$temp/"
    planted=$(cd "$WIN_BIN/planted" && ls *.dll | sed 's/\.dll$//' | paste -sd, -)
    WINEDLLOVERRIDES="mscoree,mshtml=;$planted=n,b" drive "$launcher" --action uninstall --answer yes
    check "the uninstall went through" remover_ended
    check "the registry trees are gone" registry_gone
    markers=$(ls "$C/korvane-dll-markers" 2>/dev/null || true)
    [ -z "$markers" ] || cat "$C/korvane-dll-markers"/*
    check "no planted DLL was loaded" test -z "$markers"
    rm -f "$temp"/*.dll
    ;;
  *) echo "unknown scenario $name"; exit 2 ;;
esac
keep_shots
if [ "$failures" -gt 0 ]; then
  echo "scenario $name: $failures failed"
  exit 1
fi
echo "scenario $name: passed"
