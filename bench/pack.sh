#!/usr/bin/env bash
# uninst-pack benchmark: each command (manifest, build, inspect, plan --json) on an install image
# of N files, 100 to a folder, in one run:
#   base      the tool of BASE, before its second round, built as its README built it (host
#             preset: debug, AddressSanitizer and UndefinedBehaviorSanitizer);
#   base-opt  the same code optimised, as the uninst-pack preset builds (BASE has no such preset);
#   host      this tree in the host preset: the code's change under base's build;
#   vendor    this tree as the README builds it for vendors now (uninst-pack preset).
#
#   bench/pack.sh [N] [BASE]     default: 100000 4481bb3
#
# Prints each command's wall time and peak memory (maximum resident set, from GNU time; the best
# of two runs, by time), and the ratios host/base, vendor/base-opt (the code's change, each
# build alike) and vendor/base (what a vendor sees). The target: every vendor peak under 256 MiB,
# no time above base.
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-100000}
base=${2:-4481bb3}

scripts/setup.sh
. scripts/lib/apt-update.sh
[ -x /usr/bin/time ] || { apt_update && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends time >/dev/null; }
work="$PWD/build/bench/pack"
mkdir -p "$work"

# The three builds, and the launcher they pack.
cmake --preset windows-x86 >/dev/null && cmake --build --preset windows-x86 >/dev/null
cmake --preset host >/dev/null && cmake --build --preset host --target uninst-pack >/dev/null
cmake --preset uninst-pack >/dev/null && cmake --build --preset uninst-pack >/dev/null
if [ "$(cat "$work/base.rev" 2>/dev/null)" != "$(git rev-parse "$base")" ]; then
  rm -rf "$work/base"
  mkdir -p "$work/base"
  git archive "$base" | tar -x -C "$work/base"
  git rev-parse "$base" > "$work/base.rev"
fi
(cd "$work/base" && cmake --preset host >/dev/null && cmake --build --preset host --target uninst-pack >/dev/null)
(cd "$work/base" && cmake -S . -B build/opt -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null &&
  cmake --build build/opt --target uninst-pack -j2 >/dev/null)
declare -A tool=(
  [base]="$work/base/build/host/tools/uninst-pack/uninst-pack"
  [base-opt]="$work/base/build/opt/tools/uninst-pack/uninst-pack"
  [host]="$PWD/build/host/tools/uninst-pack/uninst-pack"
  [vendor]="$PWD/build/uninst-pack/tools/uninst-pack/uninst-pack"
)
launcher="$PWD/build/windows-x86/bin/Uninst.exe"

# The image: N empty files, 100 to a folder, and the launcher by its name.
image="$work/image-$files"
if [ ! -d "$image" ]; then
  mkdir -p "$image.tmp"
  for ((d = 0; d * 100 < files; d++)); do
    mkdir -p "$image.tmp/bin/d$d"
    count=$((files - d * 100 < 100 ? files - d * 100 : 100))
    (cd "$image.tmp/bin/d$d" && touch $(seq -f "file%03g.dll" 0 $((count - 1))))
  done
  : > "$image.tmp/Uninst.exe"
  mv "$image.tmp" "$image"
fi

# measure WHO COMMAND OUTPUT ARGS...: runs the tool twice, stdout to OUTPUT; keeps the faster
# run's "seconds KiB".
declare -A seconds kib
measure() {
  local who=$1 command=$2 output=$3 run s k
  shift 3
  for run in 1 2; do
    if ! /usr/bin/time -f '%e %M' -o "$work/time.txt" "${tool[$who]}" "$@" > "$output" 2> "$work/stderr.txt"; then
      echo "bench/pack.sh: $who $command failed:" >&2
      tail -5 "$work/stderr.txt" >&2
      exit 1
    fi
    read -r s k < "$work/time.txt"
    if [ "$run" = 1 ] || awk -v a="$s" -v b="${seconds[$who.$command]}" 'BEGIN { exit !(a < b) }'; then
      seconds[$who.$command]=$s
      kib[$who.$command]=$k
    fi
  done
}

echo "uninst-pack at $files files ($(nproc) cores), base $(git rev-parse --short "$base")"
for who in base base-opt host vendor; do
  out="$work/$who"
  measure "$who" manifest "$out.json" manifest --image "$image" --install-dir 'C:\Program Files\Korvane\'
  measure "$who" build /dev/null build --launcher "$launcher" --manifest "$out.json" --output "$out.exe"
  rm -f "$out.json"
  measure "$who" inspect /dev/null inspect "$out.exe"
  measure "$who" plan /dev/null plan --json "$out.exe"
  rm -f "$out.exe"
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf (b > 0 ? "%.2f" : "-"), a / b }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.0f", k / 1024 }'; }
columns='%-9s | %-13s | %-13s | %-13s | %-13s | %-11s | %-15s | %-11s\n'
printf "$columns" command "base s / MiB" "base-opt" "host" "vendor" "host/base" "vendor/base-opt" "vendor/base"
status=ok
for command in manifest build inspect plan; do
  row=()
  for who in base base-opt host vendor; do row+=("${seconds[$who.$command]} / $(mib "${kib[$who.$command]}")"); done
  for pair in host:base vendor:base-opt vendor:base; do
    a=${pair%%:*} b=${pair#*:}
    row+=("$(ratio "${seconds[$a.$command]}" "${seconds[$b.$command]}"), $(ratio "${kib[$a.$command]}" "${kib[$b.$command]}")")
  done
  printf "$columns" "$command" "${row[@]}"
  [ "${kib[vendor.$command]}" -lt $((256 * 1024)) ] || status="over 256 MiB ($command)"
done
echo "vendor peaks under 256 MiB: $status"
