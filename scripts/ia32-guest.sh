#!/usr/bin/env bash
# Runs commands in a Debian 12 guest under QEMU (TCG, software emulation) whose kernel runs 32-bit
# x86 code, for machines whose own kernel cannot: there 32-bit Wine (wine32:i386) dies with
# "Exec format error", so the x86 Windows programs cannot be tested on the machine itself.
#
#   ia32-guest.sh check                       exit 0 when this kernel runs 32-bit code, 1 when not
#   ia32-guest.sh prepare                     makes the guest (once; cached)
#   ia32-guest.sh run [--timeout S] [--] COMMAND...
#
# run boots the guest with this work tree shared at the same path, runs COMMAND with bash as root
# in the current folder (the tree's root when called from outside it), streams its stdout and
# stderr, and exits with its exit code. One argument is a bash command line; several are a
# program and its arguments. Exit codes of run itself: 124 out of time, 125 the guest did not run
# the command, 2 bad usage.
#
# Environment:
#   KORVANE_GUEST_ENV           names of variables passed to COMMAND (DISPLAY never is)
#   KORVANE_GUEST_TIMEOUT       seconds for boot and command together (default 3600)
#   KORVANE_GUEST_BOOT_TIMEOUT  seconds until the command starts (default 300)
#   KORVANE_GUEST_LOCAL         folders inside the tree that the guest covers with empty folders
#                               on its own disk: fast (no sharing), and gone at power-off
#   KORVANE_GUEST_CACHE         where the guest is kept (default build/ia32-guest/cache)
#
# Needs root (debootstrap, chroot, and the shared tree's files keep their owners).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)
root=$(cd "$here/.." && pwd -P)
lib=$here/lib/ia32-guest
. "$here/lib/apt-update.sh"
work=$root/build/ia32-guest
cache=${KORVANE_GUEST_CACHE:-$work/cache}

# What the x86 tests need in the guest, as the project's own setup installs it on a machine
# (no recommended packages). Changing this list makes prepare build the guest anew.
guest_packages=(
  wine wine64 wine32:i386          # Wine with its 32-bit half (WoW64)
  xvfb xauth xdotool               # a display, and real mouse and keyboard input
  inotify-tools procps             # the launcher tests act the moment a file is opened, then stop
  locales fonts-wqy-microhei       # zh_CN.UTF-8 (code page 936) and a font for its text
  imagemagick                      # screenshots to PNG
  osslsigncode openssl             # the signed-launcher scenario
  cmake                            # ctest
  libasan8 libubsan1               # uninst-pack from the host build (ASan and UBSan)
  binutils-mingw-w64-i686          # objdump for the import checks of the x86 programs
)
guest_locales=(zh_CN.UTF-8 en_US.UTF-8)
# Drivers the initramfs loads (with what they depend on): the root disk, the shared tree, the
# output ports.
guest_modules=(virtio_pci virtio_blk crc32c_generic ext4 9pnet_virtio 9p virtio_console)
host_packages=(qemu-system-x86 debootstrap e2fsprogs cpio kmod util-linux)
mirror=http://deb.debian.org/debian

say() { echo "ia32-guest: $*" >&2; }
die() { echo "ia32-guest: ERROR: $1" >&2; exit "${2:-1}"; }

# --- check -------------------------------------------------------------------------------------

# A 96-byte static i386 ELF program that only calls exit(32) through int 0x80. A kernel without
# IA32 emulation refuses to start it ("Exec format error").
write_i386_probe() {
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'   # 32-bit, little-endian
  printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08'           # executable, i386, entry
  printf '\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'           # program headers at 52
  printf '\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
  printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'  # one PT_LOAD
  printf '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
  printf '\xbb\x20\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80'           # exit(32)
}

cmd_check() {
  local dir rc=0 why
  dir=$(mktemp -d)
  write_i386_probe >"$dir/probe"
  chmod +x "$dir/probe"
  "$dir/probe" 2>"$dir/err" || rc=$?
  why=$(sed -n '1s/.*: //p' "$dir/err")
  rm -rf "$dir"
  if [ "$rc" -eq 32 ]; then
    echo "ia32-guest: this kernel runs 32-bit x86 code natively"
    return 0
  fi
  echo "ia32-guest: this kernel cannot run 32-bit x86 code (${why:-exit code $rc}): x86 Windows tests need 'scripts/ia32-guest.sh run'"
  return 1
}

# --- prepare -----------------------------------------------------------------------------------

need_root() { [ "$(id -u)" -eq 0 ] || die "must run as root"; }

install_host_packages() {
  local p missing=()
  for p in "${host_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  say "installing ${missing[*]}"
  apt_update
  DEBIAN_FRONTEND=noninteractive DEBCONF_NOWARNINGS=yes apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# What the image is made from: a change to any of it makes the image anew.
image_recipe() {
  printf '%s\n' "format 1" "$mirror bookworm" "${guest_packages[*]}" "${guest_locales[*]}" \
    "${guest_modules[*]}"
}

image_current() {
  [ -f "$cache/root.img" ] && [ -f "$cache/vmlinuz" ] && [ -d "$cache/initramfs" ] &&
    [ "$(cat "$cache/image.recipe" 2>/dev/null)" = "$(image_recipe)" ]
}

# Refuses to go on while anything is mounted below $1: rm -rf must never reach into /proc or /sys.
unmount_below() {
  local m
  for m in $(awk -v d="$1/" 'index($2, d) == 1 {print $2}' /proc/mounts | sort -r); do
    umount "$m" || umount -l "$m" || true
  done
  ! awk -v d="$1/" 'index($2, d) == 1 {found=1} END {exit !found}' /proc/mounts ||
    die "still mounted below $1"
}

in_rootfs() { chroot "$rootfs" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive LANG=C "$@"; }

build_image() {
  local build=$cache/build log=$cache/prepare.log kdeb kver line m
  rootfs=$build/rootfs
  unmount_below "$build"
  rm -rf "$build"
  mkdir -p "$build/debs"
  : >"$log"
  trap 'unmount_below "$build"' EXIT
  trap 'say "prepare failed; the last lines of $log:"; tail -n 25 "$log" >&2' ERR

  say "debootstrap (bookworm, minbase, amd64); log in $log"
  debootstrap --variant=minbase --arch=amd64 bookworm "$rootfs" "$mirror" >>"$log" 2>&1
  mount -t proc proc "$rootfs/proc"
  mount -t sysfs sysfs "$rootfs/sys"
  # Nothing installed here may start a service.
  printf '#!/bin/sh\nexit 101\n' >"$rootfs/usr/sbin/policy-rc.d"
  chmod +x "$rootfs/usr/sbin/policy-rc.d"
  printf '%s\n' "deb $mirror bookworm main" "deb $mirror bookworm-updates main" \
    "deb ${mirror}-security bookworm-security main" >"$rootfs/etc/apt/sources.list"
  in_rootfs dpkg --add-architecture i386

  say "installing the guest's packages"
  apt_update in_rootfs >>"$log" 2>&1
  in_rootfs apt-get install -y --no-install-recommends "${guest_packages[@]}" >>"$log" 2>&1
  for m in "${guest_locales[@]}"; do echo "$m UTF-8"; done >"$rootfs/etc/locale.gen"
  in_rootfs locale-gen >>"$log" 2>&1

  # Debian's kernel (IA32 emulation built in) and busybox for the initramfs, as packages.
  kdeb=$(in_rootfs apt-cache depends linux-image-amd64 | awk '$1 == "Depends:" && $2 ~ /^linux-image-/ {print $2; exit}')
  [ -n "$kdeb" ] || die "cannot tell which linux-image package linux-image-amd64 stands for"
  chmod 777 "$rootfs/tmp"
  mkdir -m 777 "$rootfs/tmp/debs"
  in_rootfs sh -c 'cd /tmp/debs && apt-get download "$0" busybox-static' "$kdeb" >>"$log" 2>&1
  mv "$rootfs"/tmp/debs/*.deb "$build/debs/"
  rmdir "$rootfs/tmp/debs"
  chmod 1777 "$rootfs/tmp"
  in_rootfs apt-get clean
  rm -rf "$rootfs"/var/lib/apt/lists/* "$rootfs/usr/sbin/policy-rc.d"
  unmount_below "$build"

  say "unpacking $kdeb and busybox-static"
  dpkg -x "$build/debs/${kdeb}_"*.deb "$build/kernel"
  dpkg -x "$build/debs/busybox-static_"*.deb "$build/busybox"
  kver=$(ls "$build/kernel/lib/modules")
  cp "$build/kernel/boot/vmlinuz-$kver" "$build/vmlinuz"
  # The package leaves modules.dep to depmod at installation.
  depmod -b "$build/kernel" "$kver"

  # The initramfs tree: busybox, and the drivers in load order, each after what it needs.
  local ird=$build/initramfs mdir=$build/kernel/lib/modules/$kver
  mkdir -p "$ird/bin" "$ird/lib/modules" "$ird/proc" "$ird/sys" "$ird/dev" "$ird/newroot"
  cp "$build/busybox/bin/busybox" "$ird/bin/busybox"
  : >"$ird/modules"
  add_module_file() {
    local f=$1 name
    name=$(basename "$f")
    name=${name%.xz}
    grep -qxF "$name" "$ird/modules" && return 0
    case "$f" in
      *.xz) xz -dc "$mdir/$f" >"$ird/lib/modules/$name" ;;
      *) cp "$mdir/$f" "$ird/lib/modules/$name" ;;
    esac
    echo "$name" >>"$ird/modules"
  }
  for m in "${guest_modules[@]}"; do
    line=$(grep -E "/$m\.ko(\.xz)?:" "$mdir/modules.dep" || true)
    if [ -z "$line" ]; then
      grep -qE "/$m\.ko\$" "$mdir/modules.builtin" || die "the kernel $kver has no module $m"
      continue
    fi
    # modules.dep lists what a module needs so that loading the list backwards works.
    local deps i
    read -ra deps <<<"${line#*:}"
    for ((i = ${#deps[@]} - 1; i >= 0; i--)); do add_module_file "${deps[i]}"; done
    add_module_file "${line%%:*}"
  done

  say "making the root disk (ext4, 8 GB, sparse)"
  mke2fs -q -t ext4 -L korvane-guest -d "$rootfs" "$build/root.img" 8G >>"$log" 2>&1

  rm -rf "$cache/initramfs" "$cache/initrd.img"
  mv "$build/root.img" "$build/vmlinuz" "$cache/"
  mv "$ird" "$cache/initramfs"
  image_recipe >"$cache/image.recipe"
  rm -rf "$build"
  trap - EXIT ERR
}

# The initramfs is packed again whenever its /init changed (cheap: no rebuild of the image).
pack_initrd() {
  cmp -s "$lib/initramfs-init" "$cache/initramfs/init" && [ -f "$cache/initrd.img" ] && return 0
  install -m 755 "$lib/initramfs-init" "$cache/initramfs/init"
  (cd "$cache/initramfs" && find . | LC_ALL=C sort | cpio -o -H newc --quiet | gzip -1) >"$cache/initrd.img.new"
  mv "$cache/initrd.img.new" "$cache/initrd.img"
}

cmd_prepare() {
  need_root
  install_host_packages
  mkdir -p "$cache"
  # One prepare at a time; runs started meanwhile wait for it here.
  exec 8>"$cache/.lock"
  flock 8
  if ! image_current; then
    local t0=$SECONDS
    build_image
    say "guest made in $((SECONDS - t0)) s ($(du -sh "$cache" | cut -f1) in $cache)"
  fi
  pack_initrd
  exec 8>&-
}

# --- run ---------------------------------------------------------------------------------------

cmd_run() {
  local timeout=${KORVANE_GUEST_TIMEOUT:-3600} boot_timeout=${KORVANE_GUEST_BOOT_TIMEOUT:-300}
  while [ $# -gt 0 ]; do
    case "$1" in
      --timeout) [ $# -ge 2 ] || die "--timeout needs a number of seconds" 2; timeout=$2; shift 2 ;;
      --timeout=*) timeout=${1#--timeout=}; shift ;;
      --) shift; break ;;
      -*) die "unknown option $1 (usage: run [--timeout SECONDS] [--] COMMAND...)" 2 ;;
      *) break ;;
    esac
  done
  [ $# -gt 0 ] || die "no command (usage: run [--timeout SECONDS] [--] COMMAND...)" 2
  [[ "$timeout" =~ ^[1-9][0-9]*$ ]] || die "the timeout must be a whole number of seconds, not '$timeout'" 2
  [[ "$boot_timeout" =~ ^[1-9][0-9]*$ ]] || die "KORVANE_GUEST_BOOT_TIMEOUT must be a whole number of seconds" 2
  # The path goes on the kernel command line, which splits at white space.
  [[ "$root" =~ ^[A-Za-z0-9/._+-]+$ ]] || die "the work tree's path '$root' has characters the guest cannot take" 2

  local name names env_lines=''
  read -ra names <<<"${KORVANE_GUEST_ENV:-}"
  for name in "${names[@]}"; do
    [[ "$name" =~ ^[A-Za-z_][A-Za-z0-9_]*$ ]] || die "KORVANE_GUEST_ENV: '$name' is not a variable name" 2
    if [ "$name" = DISPLAY ]; then say "warning: DISPLAY is never passed (the guest makes its own with xvfb-run)"; continue; fi
    [ -n "${!name+set}" ] && env_lines+=$(printf 'export %s=%q' "$name" "${!name}")$'\n'
  done

  local dir dirs local_lines=''
  read -ra dirs <<<"${KORVANE_GUEST_LOCAL:-}"
  for dir in "${dirs[@]}"; do
    dir=$(realpath -m -- "$dir")
    case "$dir/" in "$root"/?*) ;; *) die "KORVANE_GUEST_LOCAL: '$dir' is not a folder inside $root" 2 ;; esac
    # The run folder carries the exit code back: covering it would lose every result.
    case "$work/runs/" in "$dir"/*) die "KORVANE_GUEST_LOCAL: '$dir' would hide the guest's run folders" 2 ;; esac
    local_lines+=$dir$'\n'
  done

  cmd_prepare

  mkdir -p "$work/runs"
  local run qpid watch rc cwd
  run=$(mktemp -d "$work/runs/run.XXXXXX")
  printf '%s\0' "$@" >"$run/cmd"
  printf '%s' "$env_lines" >"$run/env"
  printf '%s' "$local_lines" >"$run/local"
  cwd=$(pwd -P)
  case "$cwd/" in "$root"/*) ;; *) cwd=$root ;; esac
  printf '%s' "$cwd" >"$run/cwd"
  mkfifo "$run/stdout" "$run/stderr"

  cat "$run/stdout" &
  local cat_out=$!
  cat "$run/stderr" >&2 &
  local cat_err=$!

  # The guest's root disk is only read (snapshot=on: its writes go to a temporary file and are
  # gone at power-off). -smap: with SMAP, QEMU 7.2's TCG makes the guest kernel oops at a user-mode
  # iret and every Wine process dies. QEMU ends with this script (pdeathsig) even if it is killed.
  setpriv --pdeathsig KILL qemu-system-x86_64 \
    -accel tcg -cpu max,-smap -m 3G -smp 2 \
    -nodefaults -no-user-config -display none -no-reboot \
    -kernel "$cache/vmlinuz" -initrd "$cache/initrd.img" \
    -append "console=ttyS0 panic=-1 korvane.share=$root korvane.run=$run" \
    -serial "file:$run/console.log" \
    -drive "file=$cache/root.img,format=raw,if=virtio,snapshot=on" \
    -fsdev "local,id=share,path=$root,security_model=passthrough,multidevs=remap" \
    -device virtio-9p-pci,fsdev=share,mount_tag=share \
    -device virtio-serial-pci \
    -chardev "file,id=out,path=$run/stdout" -device virtserialport,chardev=out,name=korvane.stdout \
    -chardev "file,id=err,path=$run/stderr" -device virtserialport,chardev=err,name=korvane.stderr \
    >&2 &
  qpid=$!
  trap 'kill -KILL $qpid 2>/dev/null; rm -rf "$run"; say "interrupted: the guest was stopped"; exit 130' INT TERM HUP

  # The watchdog stops a guest that does not start the command in time, or overruns the limit.
  local t0=$SECONDS
  (
    while kill -0 "$qpid" 2>/dev/null; do
      if [ ! -f "$run/started" ] && [ $((SECONDS - t0)) -ge "$boot_timeout" ]; then
        echo boot >"$run/stopped"; kill -KILL "$qpid"; break
      fi
      if [ $((SECONDS - t0)) -ge "$timeout" ]; then echo timeout >"$run/stopped"; kill -KILL "$qpid"; break; fi
      sleep 1
    done
  ) &
  watch=$!

  rc=0
  # (2>/dev/null: no "Killed" job notice from bash when the watchdog stopped QEMU; it says why.)
  wait "$qpid" 2>/dev/null || rc=$?
  kill "$watch" 2>/dev/null || true
  wait "$watch" 2>/dev/null || true
  trap - INT TERM HUP
  # A reader still waiting for QEMU to open its end (QEMU failed early) gets an end of file.
  : <>"$run/stdout"
  : <>"$run/stderr"
  wait "$cat_out" "$cat_err" || true

  case "$(cat "$run/stopped" 2>/dev/null)" in
    boot) die "the guest did not start the command within $boot_timeout s and was stopped; console: $run/console.log" 125 ;;
    timeout) die "out of time: the guest was stopped after $timeout s, the command did not finish; console: $run/console.log" 124 ;;
  esac
  if [ ! -f "$run/rc" ]; then
    say "ERROR: the guest ended without running the command to its end (QEMU exit code $rc); the last lines of $run/console.log:"
    tail -n 15 "$run/console.log" >&2 2>/dev/null || true
    exit 125
  fi
  rc=$(cat "$run/rc")
  [[ "$rc" =~ ^[0-9]+$ ]] || die "the guest wrote '$rc' as the exit code; run folder: $run" 125
  rm -rf "$run"
  exit "$rc"
}

case "${1:-}" in
  check) cmd_check ;;
  prepare) shift; [ $# -eq 0 ] || die "prepare takes no arguments" 2; cmd_prepare ;;
  run) shift; need_root; cmd_run "$@" ;;
  *) die "usage: $0 check | prepare | run [--timeout SECONDS] [--] COMMAND..." 2 ;;
esac
