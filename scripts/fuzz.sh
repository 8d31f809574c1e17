#!/usr/bin/env bash
# Fuzzes the payload readers, the path and "Resource.ini" line rules, and uninst-pack's manifest
# checks, for SECONDS each (default 60) with libFuzzer (clang-14, ASan+UBSan), starting from the seed corpora in fuzz/.
# Exits non-zero on any finding; the input that caused it is left in build/fuzz/findings.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
# target seed-corpus max-len: the payload readers, the path and "Resource.ini" line rules, and
# uninst-pack's reading of a manifest.
status=0
for target in "payload_fuzzer corpus 4096" "path_fuzzer corpus-paths 1024" "manifest_fuzzer corpus-manifests 4096"; do
  set -- $target
  work=build/fuzz/$2
  mkdir -p "$work" build/fuzz/findings
  echo "fuzz: $1"
  rc=0
  build/fuzz/fuzz/$1 -max_total_time="$seconds" -max_len="$3" -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/findings/ "$work" "fuzz/$2" > "build/fuzz/$1.log" 2>&1 || rc=$?
  grep -E '^#[0-9]+ +(INITED|DONE)|stat::number_of_executed_units|ERROR|SUMMARY|Test unit written' "build/fuzz/$1.log" || true
  [ "$rc" -eq 0 ] || status=1
done
if [ "$status" -ne 0 ]; then
  echo "fuzz: findings in build/fuzz/findings"
  exit 1
fi
echo "fuzz: no findings in ${seconds}s per target"
