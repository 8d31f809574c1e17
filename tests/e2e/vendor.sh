#!/usr/bin/env bash
# The vendor's steps end to end: uninst-pack's manifest, build and plan against the real remover
# in a private Wine prefix, on the sample Korvane installation (scripts/lib/installation.sh).
#
#   vendor.sh NAME    NAME: round-trip-yes | round-trip-no | plan-yes | plan-no
#
# round-trip-*: the installation removed with its hand-written payload, then again with a payload
#   packed as the README's vendor steps pack it (manifest -o from the install image, build, sign,
#   inspect, plan): the same is left, and what the plan says is deleted is what was deleted.
# plan-*: the same plan check for the hand-written payload.
#
# Environment (set by ctest): WINE_RUN (cmake/wine-run.sh), STATE (prefix state folder),
# WIN_BIN (the windows build's bin folder), UNINST_PACK, SHOTS (where screenshots go, as PNG).
set -euo pipefail
name=$1
: "${WINE_RUN:?}" "${STATE:?}" "${WIN_BIN:?}" "${UNINST_PACK:?}" "${SHOTS:?}"
export LC_ALL=C.UTF-8  # one byte order for sort and comm
failures=0
fail() { echo "FAIL [$name]: $*"; failures=$((failures + 1)); }
check() { local what=$1; shift; if "$@"; then echo "ok: $what"; else fail "$what"; fi; }
same() { cmp -s "$1" "$2" || { diff "$1" "$2" | head -40; return 1; }; }

. "$(dirname "$0")/../../scripts/lib/installation.sh"
base="$STATE/vendor-$name"
mkdir -p "$SHOTS"
launcher='C:\Program Files\Korvane\Uninst.exe'
answer=${name##*-}

# A fresh installation in WORK (its hand-written payload packed into Uninst.exe).
installation() {
  work=$1
  fresh_installation "$work" 20 5
  registry "$work" > "$work/reg-before.txt"
  if grep -q '^absent' "$work/reg-before.txt"; then echo "set-up: the registry import failed"; exit 1; fi
}
drive() {
  wine_run "$WIN_BIN/e2e_driver.exe" "$launcher" --action uninstall --answer "$answer" --shots 'C:\e2e-shots' |
    tr -d '\r' > "$work/report.txt"
  local f
  for f in "$C/e2e-shots"/*.bmp; do
    [ -e "$f" ] && convert "$f" "$SHOTS/vendor-$name-$(basename "${f%.bmp}").png" && rm -f "$f"
  done
  return 0
}
report() { grep -m1 "^$1: " "$work/report.txt" | cut -d' ' -f2-; }
remover_ended() { [ "$(report remover-exit)" = 0 ] && [ "$(report remover-window-left)" = 0 ]; }
registry_gone() { registry "$work" > "$work/reg.txt"; grep -q 'absent HKCC\\Lettrova$' "$work/reg.txt" &&
  grep -q 'absent HKCR\\.lvf$' "$work/reg.txt" && grep -q 'absent HKCR\\Lettrova.Document$' "$work/reg.txt"; }
# What the product and its shortcuts occupy, one "TYPE PATH" line each (d or f, relative to C:).
snapshot() {
  (cd "$C" && find "Program Files/Korvane" "${programs#"$C/"}/Korvane" "${desktop#"$C/"}/Zintera.lnk" \
    -printf '%y %p\n' 2>/dev/null || true) | sort
}
# The files a packed launcher lists, sorted (inspect prints each indented by six spaces).
listed() { "$UNINST_PACK" inspect "$1" | sed -n 's/^      //p' | sort; }

# Checks that what `uninst-pack plan` (in PLAN) says is deleted, applied to the files BEFORE the
# removal, is what the removal deleted (BEFORE and AFTER: snapshots).
check_plan() {
  local plan=$1 before=$2 after=$3
  # Each plan line as "ACTION<TAB>PATH", the path relative to C: (columns: stage 18, action 16,
  # then the path and a reason in parentheses).
  tail -n +3 "$plan" | awk -v desktop="${desktop#"$C/"}" -v programs="${programs#"$C/"}" '{
      action = substr($0, 20, 16); sub(/ +$/, "", action)
      path = substr($0, 37); sub(/  \(.*$/, "", path)
      sub(/^\{Desktop\}/, desktop, path); sub(/^\{Programs\}/, programs, path); sub(/^C:\\/, "", path)
      gsub(/\\/, "/", path)
      print action "\t" path }' > "$work/plan-steps.txt"
  cp "$before" "$work/present.txt"
  below() { awk -v p="$1" '{ q = substr($0, 3) } q == p || index(q, p "/") == 1' "$work/present.txt"; }
  holds() { awk -v p="$1" 'index(substr($0, 3), p "/") == 1 { found = 1 } END { exit !found }' "$work/present.txt"; }
  drop() { grep -vxF -f <(printf '%s\n' "$@") "$work/present.txt" > "$work/present.new" || true; mv "$work/present.new" "$work/present.txt"; }
  local action path f gone folders
  while IFS=$'\t' read -r action path; do
    case "$action" in
      delete) grep -qxF "f $path" "$work/present.txt" && drop "f $path" ;;
      remove-tree) mapfile -t gone < <(below "$path"); [ ${#gone[@]} -eq 0 ] || drop "${gone[@]}" ;;
      remove-empty | remove-if-empty)
        if [ "$action" = remove-empty ]; then
          mapfile -t folders < <(below "$path" | awk '$1 == "d" { print length($0) "\t" substr($0, 3) }' | sort -rn | cut -f2-)
        else
          folders=("$path")
        fi
        for f in "${folders[@]}"; do
          grep -qxF "d $f" "$work/present.txt" && ! holds "$f" && drop "d $f"
        done ;;
    esac
  done < "$work/plan-steps.txt"
  comm -23 "$before" "$work/present.txt" > "$work/predicted-deleted.txt"
  comm -23 "$before" "$after" > "$work/deleted.txt"
  check "the plan names what it deletes ($(wc -l < "$work/predicted-deleted.txt") entries)" test -s "$work/predicted-deleted.txt"
  check "what plan says is deleted is what the remover deleted" same "$work/predicted-deleted.txt" "$work/deleted.txt"
  check "the plan marks the Resource.ini line that names no folder" grep -q '^resource-folder    skip             res_\.\.=1' "$plan"
}

case "$name" in
  round-trip-yes | round-trip-no)
    installation "$base/hand"
    cp "$install/Uninst.exe" "$base/hand-packed.exe"
    drive
    check "the hand-written payload's removal ended" remover_ended
    snapshot > "$base/hand-left.txt"

    installation "$base/generated"
    # The install image as the installer lays it down: the launcher, but none of the user's files.
    image="$work/image"
    cp -a "$install" "$image"
    rm -rf "$image/History" "$image/模板/我的简历.lvf"
    "$UNINST_PACK" manifest --image "$image" --install-dir 'C:\Program Files\Korvane\' --program-folder Korvane \
      -o "$work/generated.json" 2> "$work/manifest.err"
    check "manifest -o writes UTF-8 JSON without a byte-order mark" \
      python3 -c 'import json, sys; b = open(sys.argv[1], "rb").read(); assert not b.startswith(b"\xef\xbb\xbf"); json.loads(b.decode("utf-8"))' \
      "$work/generated.json"
    check "build refuses the remover as a launcher" \
      bash -c '! "$1" build --launcher "$2" --manifest "$3" --output "$4" 2>/dev/null && test ! -e "$4"' _ \
      "$UNINST_PACK" "$WIN_BIN/uninstaller.exe" "$work/generated.json" "$work/remover-packed.exe"
    "$UNINST_PACK" build --strict --launcher "$WIN_BIN/Uninst.exe" --manifest "$work/generated.json" \
      --output "$work/Uninst.exe" > "$work/build.out"
    check "build says what it wrote, in one line" test "$(wc -l < "$work/build.out")" = 1
    check "the packed launcher is executable" test -x "$work/Uninst.exe"
    check "the manifest from the image lists the hand-written manifest's files" \
      same <(listed "$base/hand-packed.exe") <(listed "$work/Uninst.exe")
    # Signed after packing, as the README's step 3 does.
    sign_packed "$work/Uninst.exe" "$install/Uninst.exe" "$work"
    "$UNINST_PACK" inspect "$install/Uninst.exe" > "$work/inspect.txt"
    check "inspect says where the signature is" grep -q '^signed: certificate table at offset' "$work/inspect.txt"
    check "the signed file carries the payload packed" same <(listed "$work/Uninst.exe") <(listed "$install/Uninst.exe")
    "$UNINST_PACK" plan --answer "$answer" --resource-ini "$install/Resource.ini" "$install/Uninst.exe" \
      > "$work/plan.txt" 2> "$work/plan.err"
    snapshot > "$work/before.txt"
    drive
    check "the generated payload's removal ended" remover_ended
    snapshot > "$base/generated-left.txt"
    check_plan "$work/plan.txt" "$work/before.txt" "$base/generated-left.txt"
    check "it leaves exactly what the hand-written payload leaves" same "$base/hand-left.txt" "$base/generated-left.txt"
    check "the registry trees are gone" registry_gone
    check "the shortcuts are gone" test ! -e "$desktop/Zintera.lnk" -a ! -e "$programs/Korvane"
    if [ "$answer" = no ]; then
      check "否 keeps the user's files" test -f "$install/模板/我的简历.lvf" -a -f "$install/History/h0.dat"
      check "否 removes the product's files" test ! -e "$install/Korvane.exe" -a ! -e "$install/bin" -a ! -e "$install/空"
    else
      check "是 leaves nothing" test ! -e "$install"
    fi
    ;;
  plan-yes | plan-no)
    installation "$base"
    "$UNINST_PACK" plan --answer "$answer" --resource-ini "$install/Resource.ini" "$install/Uninst.exe" > "$work/plan.txt"
    snapshot > "$work/before.txt"
    drive
    check "the removal ended" remover_ended
    snapshot > "$work/after.txt"

    check_plan "$work/plan.txt" "$work/before.txt" "$work/after.txt"
    check "the plan's registry trees are gone" registry_gone
    ;;
  *) echo "unknown scenario $name"; exit 2 ;;
esac
if [ "$failures" -gt 0 ]; then
  echo "scenario $name: $failures failed"
  exit 1
fi
echo "scenario $name: passed"
