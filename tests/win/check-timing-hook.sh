#!/bin/sh
# The benchmark's timing hook (the name of its environment variable, as the wide string the
# programs hold) is in the benchmark build and in neither shipped program.
#   check-timing-hook.sh SHIPPED_REMOVER SHIPPED_LAUNCHER BENCHMARK_REMOVER
set -u
hook='K\x00O\x00R\x00V\x00A\x00N\x00E\x00_\x00T\x00I\x00M\x00I\x00N\x00G\x00_\x00F\x00I\x00L\x00E\x00'
has_hook() { LC_ALL=C grep -qaP "$hook" "$1"; }
status=0
for shipped in "$1" "$2"; do
  if has_hook "$shipped"; then echo "$shipped carries the timing hook"; status=1; fi
done
has_hook "$3" || { echo "$3 has no timing hook: the check looks for the wrong text"; status=1; }
exit $status
