#!/usr/bin/env bash
# Installs what is missing, builds every configuration (the x86 and x64 Windows programs, the
# host tools and tests) and runs every test in one ctest run: host unit tests (ASan+UBSan) and
# the Windows tests and scenarios of both architectures under Wine.
#
# The x86 programs need a kernel that runs 32-bit code (wine32). Where this one does not, this
# says so in one line and runs the x86 Windows tests (the launcher's among them), the x86 是
# scenario under WoW64 (the shipped build's most common case) and in a 32-bit prefix, in a QEMU
# guest under software emulation (scripts/ia32-guest.sh); KORVANE_X86_IN_GUEST=1 does that on any
# machine. The guest is about 30 times slower per Wine program, so the other x86
# scenarios run there only with KORVANE_X86_IN_GUEST=all (about five minutes each).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
for preset in windows-x86 windows-x64 host; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset
done

in_guest=${KORVANE_X86_IN_GUEST:-0}
if [ "$in_guest" = 0 ] && ! scripts/ia32-guest.sh check >/dev/null 2>&1; then
  echo "test: this kernel runs no 32-bit code: the x86 Windows tests run in a QEMU guest (software emulation)"
  in_guest=1
fi
if [ "$in_guest" = 0 ]; then
  ctest --test-dir build/host --output-on-failure "$@"
  exit
fi
rc=0
ctest --test-dir build/host --output-on-failure -E '\.x86\.' "$@" || rc=$?
in_the_guest='^(win\.x86\.|e2e\.x86\.yes$|e2e\.x86\.win32\.yes$)' guest_minutes=60
[ "$in_guest" = all ] && in_the_guest='\.x86\.' guest_minutes=200
# The guest's Wine prefixes live on its own disk: made fast, gone at power-off (a prefix made by
# a host that cannot run 32-bit code would lack its 32-bit half). Its scenarios get 10 times
# their time.
x86=build/windows-x86
KORVANE_GUEST_LOCAL="$x86/wine $x86/wine-e2e $x86/wine-e2e-english $x86/wine-e2e-win32" \
  KORVANE_TIME_SCALE=10 KORVANE_GUEST_ENV=KORVANE_TIME_SCALE \
  scripts/ia32-guest.sh run --timeout $((guest_minutes * 60)) -- \
  ctest --test-dir build/host --output-on-failure -R "$in_the_guest" "$@" || rc=$?
exit $rc
