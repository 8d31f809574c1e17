#!/bin/bash
# PID 1 of the test guest, started by the initramfs from the shared tree. Readies what Wine and
# the tests expect of a Debian machine, runs the command that the host wrote into its run folder
# (korvane.run= on the kernel command line), writes the command's exit code there and powers off.
#
# No `set -e`: whatever goes wrong, the guest must still power off, and an exit code is written
# only when the command really ran, so the host can never mistake a broken guest for a pass.
set -uo pipefail

say() { echo "ia32-guest (guest): $*" >/dev/console; }
power_off() {
  sync
  # Power off at once. PID 1 must not return, or the kernel panics (and the host sees that too).
  echo o >/proc/sysrq-trigger
  sleep 60
}
fail() { say "$*"; power_off; }

run=
for arg in $(</proc/cmdline); do
  case "$arg" in korvane.run=*) run=${arg#korvane.run=} ;; esac
done
[ -n "$run" ] && [ -f "$run/cmd" ] || fail "no run folder with a command (korvane.run=$run)"

# devtmpfs has no /dev/fd: bash's process substitution and scripts that read /dev/stdin need it.
ln -sfn /proc/self/fd /dev/fd
ln -sfn /proc/self/fd/0 /dev/stdin
ln -sfn /proc/self/fd/1 /dev/stdout
ln -sfn /proc/self/fd/2 /dev/stderr
mkdir -p /dev/pts /dev/shm
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts || fail "cannot mount /dev/pts"
mount -t tmpfs -o mode=1777 tmpfs /dev/shm || fail "cannot mount /dev/shm"
mount -t tmpfs -o mode=755 tmpfs /run || fail "cannot mount /run"
# /tmp stays on the root disk (5.5 GB free, thrown away at power-off): the Wine prefixes made
# there fit, where a tmpfs in 3 GiB of memory would not hold two of them.
echo korvane-guest >/proc/sys/kernel/hostname
printf '127.0.0.1 localhost korvane-guest\n::1 localhost\n' >/etc/hosts

# The command's stdout and stderr leave through two virtio ports that the host reads.
port() {
  local d
  for d in /sys/class/virtio-ports/*; do
    [ "$(cat "$d/name" 2>/dev/null)" = "$1" ] && { echo "/dev/${d##*/}"; return 0; }
  done
  return 1
}
out=$(port korvane.stdout) && err=$(port korvane.stderr) || fail "no output ports"

# Folders the host asked to keep off the share: covered with empty folders on this disk.
i=0
while IFS= read -r dir; do
  [ -n "$dir" ] || continue
  i=$((i + 1))
  mkdir -p "/var/tmp/guest-local/$i" "$dir" && mount --bind "/var/tmp/guest-local/$i" "$dir" ||
    fail "cannot cover $dir with a folder of the guest's own"
done <"$run/local"

mapfile -d '' -t argv <"$run/cmd"
[ "${#argv[@]}" -gt 0 ] || fail "empty command"
cwd=$(<"$run/cwd")
cut -d' ' -f1 /proc/uptime >"$run/started"

# A clean environment: the basics of a root login, then what the host passed (env, made with
# printf %q), never a DISPLAY (the host's X server is not reachable from here). One argument is
# a bash command line; several are a program and its arguments.
env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root USER=root \
  LOGNAME=root SHELL=/bin/bash TERM=dumb LANG=C.UTF-8 \
  bash -c '. "$1" || exit 125; unset DISPLAY; cd "$2" || exit 125; shift 2
           if [ $# -eq 1 ]; then exec bash -c "$1"; else exec "$@"; fi' \
  guest-command "$run/env" "$cwd" "${argv[@]}" </dev/null >"$out" 2>"$err"
rc=$?

# Whatever the command left running (Xvfb, a wineserver) ends before the power-off, so that
# files it writes on the shared tree are complete.
# (Kernel threads have an empty command line and are left alone.)
others_alive() {
  local p c
  for p in /proc/[0-9]*; do
    [ "${p#/proc/}" = 1 ] && continue
    read -r -d '' c <"$p/cmdline" 2>/dev/null && return 0
  done
  return 1
}
kill -TERM -1 2>/dev/null
for _ in $(seq 50); do others_alive || break; sleep 0.1; done
kill -KILL -1 2>/dev/null

echo "$rc" >"$run/rc.tmp" && mv "$run/rc.tmp" "$run/rc" || say "cannot write the exit code"
power_off
