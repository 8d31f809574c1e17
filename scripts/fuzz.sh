#!/usr/bin/env bash
# Fuzzes the payload readers for SECONDS (default 60) with libFuzzer (clang-14, ASan+UBSan),
# starting from the seed corpus in fuzz/corpus. Exits non-zero on any finding; the input that
# caused it is left in build/fuzz/findings.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
work=build/fuzz/corpus
mkdir -p "$work" build/fuzz/findings
build/fuzz/fuzz/payload_fuzzer -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix=build/fuzz/findings/ "$work" fuzz/corpus 2>&1 | grep -E '^#[0-9]+ +(INITED|DONE)|stat::number_of_executed_units|ERROR|SUMMARY|Test unit written'
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ]; then
  echo "fuzz: findings in build/fuzz/findings"
  exit 1
fi
echo "fuzz: no findings in ${seconds}s"
