#!/usr/bin/env bash
# Checks scripts/ia32-guest.sh for real: bad usage is refused before any boot, then the guest is
# booted several times (about 4 minutes under TCG): the command's exit code, output streams,
# folder and environment reach the host as they should; time limits and a killed caller stop the
# guest; 32-bit Windows programs run in a 64-bit (WoW64) and in a 32-bit Wine prefix.
#   scripts/lib/ia32-guest/selftest.sh        (as root; prepares the guest if needed)
set -euo pipefail
cd "$(dirname "$0")/../../.."
root=$(pwd -P)
g=$root/scripts/ia32-guest.sh
runs=$root/build/ia32-guest/runs
out=$root/build/ia32-guest/selftest
rm -rf "$out"
mkdir -p "$out/sub" "$runs"
# Failed runs keep their folder (console log) for whoever looks into them: this test's own go.
ls "$runs" | sort >"$out/runs-at-start"
trap 'ls "$runs" | sort | comm -13 "$out/runs-at-start" - | sed "s|^|$runs/|" | xargs -r rm -rf' EXIT
passed=0 failed=0
# check WHAT CONDITION: CONDITION is shell code, evaluated now.
check() {
  if eval "$2"; then echo "ok: $1"; passed=$((passed + 1)); else echo "FAIL: $1"; failed=$((failed + 1)); fi
}
# try NAME COMMAND...: runs it with stdout and stderr kept apart; $rc is its exit code.
try() { local n=$1; shift; rc=0; "$@" >"$out/$n.out" 2>"$out/$n.err" || rc=$?; }
# has FILE LINE: the output file holds LINE (Windows programs end their lines with CR LF).
has() { tr -d '\r' <"$out/$1" | grep -qxF -- "$2"; }

# --- refused before the guest boots ---------------------------------------------------------------
try usage "$g" run
check "run without a command is a usage error" '[ "$rc" -eq 2 ]'
try badtime "$g" run --timeout 1x -- true
check "a timeout that is not a number is refused" '[ "$rc" -eq 2 ]'
try badenv env KORVANE_GUEST_ENV='OK 1NOT' "$g" run -- true
check "KORVANE_GUEST_ENV with a non-name is refused" '[ "$rc" -eq 2 ] && grep -q 1NOT "$out/badenv.err"'
try outside env KORVANE_GUEST_LOCAL=/etc "$g" run -- true
check "KORVANE_GUEST_LOCAL outside the tree is refused" '[ "$rc" -eq 2 ]'
try hides env KORVANE_GUEST_LOCAL="$root/build" "$g" run -- true
check "KORVANE_GUEST_LOCAL over the run folders is refused" '[ "$rc" -eq 2 ]'

# --- check on this machine agrees with the system's own 32-bit loader, where there is one --------
try hostcheck "$g" check
check "check answers 0 or 1 in one line" '[ "$rc" -le 1 ] && [ "$(wc -l <"$out/hostcheck.out")" -eq 1 ]'
if [ -e /lib/ld-linux.so.2 ]; then
  native=0
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 || native=1
  check "check agrees with /lib/ld-linux.so.2" '[ "$rc" -eq "$native" ]'
fi

# --- one boot: what the command finds, and what comes back ----------------------------------------
cat >"$out/facts.sh" <<'FACTS'
echo "pwd=$PWD"
echo "foo=$FOO"
echo "display=${DISPLAY-unset}"
echo "unlisted=${UNLISTED-unset}"
echo "fd=$(cat <(echo works))"
locale -a | grep -qx zh_CN.utf8 && locale -a | grep -qx en_US.utf8 && echo "locales=yes"
echo "tmp-free-gb=$(df -BG --output=avail /tmp | tail -1 | tr -dc 0-9)"
echo made >made-in-guest
cd "$(dirname "$0")/../../.." && scripts/ia32-guest.sh check >/dev/null && echo "guest-check=yes"
echo "to stderr" >&2
exit 3
FACTS
cd "$out/sub"
try facts env KORVANE_GUEST_ENV='FOO DISPLAY' FOO='a b $c "d"' DISPLAY=:99 UNLISTED=x \
  "$g" run -- bash "$out/facts.sh"
cd "$root"
check "the command's exit code comes back (3)" '[ "$rc" -eq 3 ]'
check "the command runs in the caller's folder" 'has facts.out "pwd=$out/sub"'
check "a listed variable arrives unchanged" "has facts.out 'foo=a b \$c \"d\"'"
check "DISPLAY is never passed, even when listed" 'has facts.out display=unset'
check "an unlisted variable is not passed" 'has facts.out unlisted=unset'
check "/dev/fd works (process substitution)" 'has facts.out fd=works'
check "zh_CN.UTF-8 and en_US.UTF-8 are there" 'has facts.out locales=yes'
check "/tmp holds two Wine prefixes (3 GB free or more)" \
  '[ "$(sed -n "s/^tmp-free-gb=//p" "$out/facts.out")" -ge 3 ]'
check "the guest's kernel runs 32-bit code" 'has facts.out guest-check=yes'
check "a file made in the guest is on the host, owned by root" \
  '[ "$(cat "$out/sub/made-in-guest")" = made ] && [ "$(stat -c %U "$out/sub/made-in-guest")" = root ]'
check "stderr comes back apart from stdout" 'has facts.err "to stderr" && ! grep -qF "to stderr" "$out/facts.out"'

cd /
try missing "$g" run -- 'pwd; no-such-command-here'
cd "$root"
check "a command line that ends in a missing command gives 127" '[ "$rc" -eq 127 ]'
check "called from outside the tree, the command runs at its root" 'has missing.out "$root"'

try died "$g" run -- 'echo o >/proc/sysrq-trigger; sleep 60'
check "a guest that powers off in the middle of the command is a failure (125)" \
  '[ "$rc" -eq 125 ] && grep -q "without running the command to its end" "$out/died.err"'

# --- stopping: the time limit, the boot limit, a killed caller ------------------------------------
start=$SECONDS
try slow "$g" run --timeout 30 -- sleep 600
check "a command over its time limit ends the run with 124, in time" '[ "$rc" -eq 124 ] && [ $((SECONDS - start)) -lt 90 ]'
check "the time limit says so, in one line and nothing else" \
  '[ "$(wc -l <"$out/slow.err")" -eq 1 ] && grep -q "out of time" "$out/slow.err"'
try noboot env KORVANE_GUEST_BOOT_TIMEOUT=1 "$g" run -- true
check "a guest that does not start the command in time is a failure (125), in one line" \
  '[ "$rc" -eq 125 ] && [ "$(wc -l <"$out/noboot.err")" -eq 1 ]'

ls "$runs" 2>/dev/null | sort >"$out/runs-before" || true
"$g" run -- sleep 600 >/dev/null 2>&1 &
caller=$!
new=
for _ in $(seq 120); do
  new=$(ls "$runs" 2>/dev/null | sort | comm -13 "$out/runs-before" - | head -1)
  [ -n "$new" ] && [ -f "$runs/$new/started" ] && break
  sleep 1
done
kill -KILL "$caller"
wait "$caller" 2>/dev/null || true
sleep 3
check "a killed caller takes its guest with it" \
  '[ -n "$new" ] && ! ps -eo args | grep -v grep | grep -qF "korvane.run=$runs/$new"'
[ -z "$new" ] || rm -rf "${runs:?}/$new"

# --- 32-bit Windows programs under Wine, in fresh prefixes on the guest's own disk ---------------
if i686-w64-mingw32-g++-posix -static -O2 -o "$out/probe.exe" scripts/lib/ia32-guest/probe.cpp; then
  wine_env=(KORVANE_GUEST_LOCAL="$out/prefixes" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
    KORVANE_GUEST_ENV='WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES')
  try wow64 env "${wine_env[@]}" WINEPREFIX="$out/prefixes/64" "$g" run -- /usr/lib/wine/wine64 "$out/probe.exe"
  check "wine64, 64-bit prefix: exit code 42 comes back" '[ "$rc" -eq 42 ]'
  check "wine64, 64-bit prefix: a 32-bit process under WoW64" 'has wow64.out "ptr=4 wow64=1 syswow64=1"'
  try win32 env "${wine_env[@]}" WINEPREFIX="$out/prefixes/32" WINEARCH=win32 "$g" run -- /usr/lib/wine/wine "$out/probe.exe"
  check "WINEARCH=win32 wine: exit code 42 comes back" '[ "$rc" -eq 42 ]'
  check "WINEARCH=win32 wine: a 32-bit process, no WoW64" 'has win32.out "ptr=4 wow64=0 syswow64=0"'
  check "prefixes on the guest's own disk leave nothing on the share" '[ -z "$(ls -A "$out/prefixes")" ]'
else
  check "the probe builds with i686-w64-mingw32-g++-posix" false
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
