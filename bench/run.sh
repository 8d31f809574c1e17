#!/usr/bin/env bash
# Removal benchmark: the remover against the floor (search + delete per file, no window) and
# against an NSIS uninstaller (one Delete per file), on the same files in one Wine prefix.
#
#   bench/run.sh [N ...]        default: 2000 20000 (files, about one folder per 100)
#
# Prints, per N, each wall time and the ratios remover/floor and NSIS/remover (plus a benchmark
# build of the remover without its per-file status update, to show what that costs), then the
# remover's peak memory (VmHWM of its Wine process) for a 2,000- and a 200,000-entry payload.
# Timings are taken inside each program (the remover's benchmark build reports its worker's time
# from start to final command; the floor times its loop; NSIS reads GetTickCount around its
# section), so Wine and Xvfb start-up are not counted. guard_ms is the time the remover takes at
# start to build its folder guard from the system (every known folder asked, for the user, by
# default and for the default user, and the documented default places), before the dialog shows;
# guard/remover sets it against the removal it guards.
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(2000 20000)

scripts/setup.sh
. scripts/lib/apt-update.sh
for tool in makensis strace; do
  command -v $tool >/dev/null || { apt_update && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends ${tool/makensis/nsis} >/dev/null; }
done
for preset in windows-x64 windows-x86; do cmake --preset $preset >/dev/null && cmake --build --preset $preset >/dev/null; done
cmake --preset host >/dev/null && cmake --build --preset host --target uninst-pack >/dev/null

export WINE_RUN="$PWD/cmake/wine-run.sh" STATE="$PWD/build/bench/wine" WIN_BIN="$PWD/build/windows-x64/bin"
export UNINST_PACK="$PWD/build/host/tools/uninst-pack/uninst-pack"
BIN=$WIN_BIN
BIN_X86="$PWD/build/windows-x86/bin"  # the x86 remover, timed beside the x64 one under WoW64
PACK=$UNINST_PACK
# x86 programs run here only where the kernel runs 32-bit code; a QEMU guest's software
# emulation would time the emulator, not the remover.
x86_native=0
scripts/ia32-guest.sh check >/dev/null 2>&1 && x86_native=1
work="$PWD/build/bench/work"
mkdir -p "$STATE" "$work"
. scripts/lib/installation.sh  # wine_run, and C: the prefix's drive C
root="$C/korvane-bench"

# N empty files, 100 to a folder, and the same list as Windows paths (one a line).
make_files() {
  local n=$1 i
  rm -rf "$root"
  mkdir -p "$root"
  : > "$work/list.txt"
  for ((i = 0; i < n; i++)); do
    ((i % 100 == 0)) && mkdir -p "$root/d$((i / 100))"
    : > "$root/d$((i / 100))/f$i.dat"
    printf 'C:\\korvane-bench\\d%d\\f%d.dat\r\n' $((i / 100)) "$i" >> "$work/list.txt"
  done
}

# A manifest for N listed files (existing or not), one group per 100.
write_manifest() {
  local n=$1 i
  {
    printf '{"programFolderName": "KorvaneBench", "installDir": "C:\\\\korvane-bench\\\\", "finalFile": "", "groups": ['
    for ((i = 0; i < n; i++)); do
      if ((i % 100 == 0)); then
        ((i > 0)) && printf ']},'
        printf '\n{"folder": "C:\\\\korvane-bench\\\\d%d", "files": [' $((i / 100))
      else
        printf ','
      fi
      printf '"C:\\\\korvane-bench\\\\d%d\\\\f%d.dat"' $((i / 100)) "$i"
    done
    printf ']}\n]}\n'
  } > "$work/manifest.json"
}

# A manifest that lists the N/100 folders but only their first file: with "是" the folder-tree
# removal deletes the rest, so the time is the walk's.
write_walk_manifest() {
  local n=$1 d
  {
    printf '{"programFolderName": "KorvaneBench", "installDir": "C:\\\\korvane-bench\\\\", "finalFile": "", "groups": ['
    for ((d = 0; d * 100 < n; d++)); do
      ((d > 0)) && printf ','
      printf '\n{"folder": "C:\\\\korvane-bench\\\\d%d", "files": [' "$d"
      ((d == 0)) && printf '"C:\\\\korvane-bench\\\\d0\\\\f0.dat"'
      printf ']}'
    done
    printf '\n]}\n'
  } > "$work/manifest.json"
}

# Runs a benchmark build of the remover (default uninstaller_timed) on a payload of N entries
# (with "walk", on the folders only); sets remover_ms and remover_kb.
run_remover() {
  local n=$1 build=${2:-uninstaller_timed}
  if [ "${3:-}" = walk ]; then write_walk_manifest "$n"; else write_manifest "$n"; fi
  mkdir -p "$C/korvane-bench-remover"
  "$PACK" build --bare-remover --launcher "${REMOVER_BIN:-$BIN}/$build.exe" --manifest "$work/manifest.json" \
    --output "$C/korvane-bench-remover/~uninst.exe.new" >/dev/null
  mv "$C/korvane-bench-remover/~uninst.exe.new" "$C/korvane-bench-remover/~uninst.exe"
  rm -f "$C/korvane-bench-timing.txt" "$work/hwm.txt"
  # Peak memory: the highest VmHWM seen of the remover's Wine process while it runs.
  (
    peak=0
    for _ in $(seq 1 6000); do
      pid=$(pgrep -f '^C:.korvane-bench-remover.~uninst.exe' | head -1 || true)
      if [ -n "$pid" ]; then
        kb=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
        [ "${kb:-0}" -gt "$peak" ] && peak=$kb && echo "$peak" > "$work/hwm.txt"
      elif [ "$peak" -gt 0 ]; then
        break
      fi
      sleep 0.02
    done
  ) &
  local watcher=$!
  KORVANE_TIMING_FILE='C:\korvane-bench-timing.txt' wine_run "$BIN/e2e_driver.exe" \
    'C:\korvane-bench-remover\~uninst.exe' --action uninstall --answer yes --no-follow >/dev/null
  wait "$watcher" || true
  remover_ms=$(sed -n 's/^worker_ms=//p' "$C/korvane-bench-timing.txt" | tr -d '\r')
  guard_ms=$(sed -n 's/^guard_ms=//p' "$C/korvane-bench-timing.txt" | tr -d '\r')
  remover_kb=$(cat "$work/hwm.txt" 2>/dev/null || echo 0)
}

run_floor() {
  floor_ms=$(wine_run "$BIN/floor.exe" "Z:$(echo "$work/list.txt" | tr / '\\')" | tr -d '\r' | sed -n 's/^floor_ms=\([0-9.]*\).*/\1/p')
}

# Calls to the system per deleted file: Wine's server requests (each a round trip to wineserver)
# and Linux system calls (of every process: the program, wineserver, the driver), counted on
# $1 and 2x$1 files, the difference divided by $1, so that start-up counts for nothing. Each of
# "walk", "listed" (the remover without status, on listed files) and "floor" is run under
# WINEDEBUG=+server once and under strace once per size. Sets calls_requests, calls_syscalls and
# calls_detail (the requests by name).
count_calls() {
  local n=$1 what=$2 size log
  local -a requests syscalls
  for size in "$n" $((2 * n)); do
    for probe in server strace; do
      make_files "$size"
      log="$work/calls-$what-$size-$probe.txt"
      local -a run=()
      [ "$probe" = strace ] && run=(strace -f -c -o "$log")
      if [ "$what" = floor ]; then
        KORVANE_WINEDEBUG=$([ "$probe" = server ] && echo +server || echo -all) "${run[@]}" "$WINE_RUN" "$STATE" \
          "$BIN/floor.exe" "Z:$(echo "$work/list.txt" | tr / '\\')" >/dev/null 2>"$work/calls-stderr.txt" || true
      else
        if [ "$what" = walk ]; then write_walk_manifest "$size"; else write_manifest "$size"; fi
        mkdir -p "$C/korvane-bench-remover"
        "$PACK" build --bare-remover --launcher "$BIN/uninstaller_timed_nostatus.exe" --manifest "$work/manifest.json" \
          --output "$C/korvane-bench-remover/~uninst.exe" >/dev/null
        KORVANE_WINEDEBUG=$([ "$probe" = server ] && echo +server || echo -all) KORVANE_TIMING_FILE='C:\korvane-bench-timing.txt' \
          "${run[@]}" "$WINE_RUN" "$STATE" "$BIN/e2e_driver.exe" 'C:\korvane-bench-remover\~uninst.exe' --action uninstall \
          --answer yes --no-follow >/dev/null 2>"$work/calls-stderr.txt" || true
      fi
      [ "$probe" = server ] && mv "$work/calls-stderr.txt" "$log"
    done
  done
  # Requests: those of the thread that deletes (the one that asks for dispositions or deletes on
  # close), by name.
  python3 - "$n" "$work/calls-$what-$n-server.txt" "$work/calls-$what-$((2 * n))-server.txt" \
    "$work/calls-$what-$n-strace.txt" "$work/calls-$what-$((2 * n))-strace.txt" > "$work/calls-$what.txt" <<'PY'
import collections, re, sys
n = int(sys.argv[1])
def requests(path):
    by_thread = collections.defaultdict(collections.Counter)
    for line in open(path, errors="replace"):
        m = re.match(r"([0-9a-f]{4}): ([a-z_]+)\( ", line)
        if m: by_thread[m.group(1)][m.group(2)] += 1
    return max(by_thread.values(), key=lambda c: (c["set_fd_disp_info"], c["create_file"]), default=collections.Counter())
def syscalls(path):
    total = 0
    for line in open(path):
        f = line.split()
        if len(f) >= 5 and f[0][0].isdigit() and f[-1] != "total": total += int(f[3])
    return total
small, large = requests(sys.argv[2]), requests(sys.argv[3])
per = {k: (large[k] - small[k]) / n for k in set(small) | set(large)}
shown = sorted(((k, v) for k, v in per.items() if v >= 0.05), key=lambda kv: -kv[1])
print("%.1f" % sum(per.values()))
print("%.0f" % ((syscalls(sys.argv[5]) - syscalls(sys.argv[4])) / n))
print(", ".join("%s %.1f" % kv for kv in shown))
PY
  { read -r calls_requests; read -r calls_syscalls; read -r calls_detail; } < "$work/calls-$what.txt"
}

# An NSIS installer (amd64-unicode) whose only section deletes the listed files, timed inside.
run_nsis() {
  local details=$1
  {
    echo 'Unicode true'
    echo 'Target amd64-unicode'
    echo 'Name "KorvaneBench"'
    echo "OutFile \"$work/nsis-bench.exe\""
    echo 'RequestExecutionLevel user'
    echo 'AutoCloseWindow true'
    echo "ShowInstDetails $details"
    echo 'Page instfiles'
    echo 'Section'
    echo "  System::Call 'kernel32::GetTickCount() i .r0'"
    sed 's/\r$//; s/^/  Delete "/; s/$/"/' "$work/list.txt"
    echo "  System::Call 'kernel32::GetTickCount() i .r1'"
    echo '  IntOp $2 $1 - $0'
    echo '  FileOpen $3 "C:\korvane-bench-nsis.txt" w'
    echo '  FileWrite $3 "nsis_ms=$2"'
    echo '  FileClose $3'
    echo 'SectionEnd'
  } > "$work/bench.nsi"
  makensis -V1 "$work/bench.nsi" >/dev/null
  rm -f "$C/korvane-bench-nsis.txt"
  wine_run "Z:$(echo "$work/nsis-bench.exe" | tr / '\\')" >/dev/null 2>&1 || true
  nsis_ms=$(sed -n 's/^nsis_ms=//p' "$C/korvane-bench-nsis.txt" | tr -d '\r')
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

echo "machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo), $(wine64 --version 2>/dev/null || /usr/lib/wine/wine64 --version), $(date -u +%Y-%m-%d)"
row() { printf '%8s %11s %11s %10s %14s %13s %13s %15s %15s %14s %9s %10s %9s %8s %9s %11s\n' "$@"; }
row files remover_ms no_status floor_ms nsis_hidden_ms nsis_shown_ms remover/floor no_status/floor \
  nsis_hidden/rem nsis_shown/rem walk_ms walk/floor x86_ms x86/x64 guard_ms guard/remover
for n in "${sizes[@]}"; do
  make_files "$n"; run_remover "$n" uninstaller_timed_nostatus; quiet_ms=$remover_ms
  make_files "$n"; run_remover "$n" uninstaller_timed walk; walk_ms=$remover_ms
  make_files "$n"; run_remover "$n"; x64_ms=$remover_ms x64_guard_ms=$guard_ms
  x86_ms=n/a x86_ratio=n/a
  if [ "$x86_native" = 1 ]; then
    make_files "$n"; REMOVER_BIN=$BIN_X86 run_remover "$n"
    x86_ms=$(printf %.1f "$remover_ms") x86_ratio=$(ratio "$remover_ms" "$x64_ms")
  fi
  remover_ms=$x64_ms
  make_files "$n"; run_floor
  make_files "$n"; run_nsis hide; hidden_ms=$nsis_ms
  make_files "$n"; run_nsis show; shown_ms=$nsis_ms
  row "$n" "$(printf %.1f "$remover_ms")" "$(printf %.1f "$quiet_ms")" "$(printf %.1f "$floor_ms")" "$hidden_ms" "$shown_ms" "$(ratio "$remover_ms" "$floor_ms")" \
    "$(ratio "$quiet_ms" "$floor_ms")" "$(ratio "$hidden_ms" "$remover_ms")" "$(ratio "$shown_ms" "$remover_ms")" \
    "$(printf %.1f "$walk_ms")" "$(ratio "$walk_ms" "$floor_ms")" "$x86_ms" "$x86_ratio" \
    "$(printf %.1f "$x64_guard_ms")" "$(ratio "$x64_guard_ms" "$remover_ms")"
done
[ "$x86_native" = 1 ] || echo "x86: not timed, this kernel runs no 32-bit code (scripts/ia32-guest.sh check)"

echo "calls to the system per deleted file (the x64 programs, counted on 500 and 1,000 files):"
for what in walk listed floor; do
  count_calls 500 "$what"
  case $what in
    walk) label="walk" ;; listed) label="no_status" ;; floor) label="floor" ;;
  esac
  printf '%11s %5s server requests %5s system calls   requests: %s\n' "$label" "$calls_requests" "$calls_syscalls" "$calls_detail"
done

echo "peak memory of the remover (VmHWM), payload streamed:"
rm -rf "$root"
run_remover 2000; small_kb=$remover_kb
run_remover 200000; large_kb=$remover_kb
echo "     2000 entries: $small_kb KiB"
echo "   200000 entries: $large_kb KiB"
echo "   difference: $((large_kb - small_kb)) KiB"
