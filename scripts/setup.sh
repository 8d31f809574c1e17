#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine, as root. Idempotent: a machine
# that has everything is left alone (no apt-get run at all).
set -euo pipefail

packages=(
  cmake make g++                 # host build
  googletest                     # GoogleTest sources: compiled for both builds
  libcli11-dev nlohmann-json3-dev  # uninst-pack's command line and manifest
  g++-mingw-w64-x86-64-posix     # the x64 Windows cross build (posix thread model)
  g++-mingw-w64-i686-posix       # the x86 Windows cross build: the programs that ship
  wine64                         # runs the Windows tests and the demo
  wine32:i386                    # runs the x86 programs (under WoW64 in a 64-bit prefix, or a 32-bit prefix)
  xvfb xauth                     # a display for windows when there is none (xvfb-run needs xauth)
  xdotool                        # real mouse and keyboard input for the scenarios where focus matters
  inotify-tools                  # the launcher tests act on the Linux side the moment a file is opened
  osslsigncode openssl           # the signed-launcher scenario signs with a throwaway certificate
  locales                        # zh_CN.UTF-8, so Wine's ANSI code page is 936 (GBK)
  fonts-wqy-microhei             # a CJK font, so windows and screenshots show the Chinese text
  imagemagick                    # turns the tests' BMP screenshots into PNG
  clang-14 libclang-rt-14-dev    # the payload fuzzer (libFuzzer with ASan and UBSan)
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

. "$(dirname "$0")/lib/apt-update.sh"

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# wine32 is an i386 package: the machine takes packages of that architecture too.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup: adding the i386 architecture"
  as_root dpkg --add-architecture i386
  needs_update=1  # its package lists are read even when nothing is missing
fi

if [ ${#missing[@]} -gt 0 ] || [ -n "${needs_update:-}" ]; then
  echo "setup: installing ${missing[*]}"
  apt_update as_root
  [ ${#missing[@]} -eq 0 ] ||
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# zh_CN.UTF-8: Wine's ANSI code page is 936 (GBK), the product's own setting. en_US.UTF-8: code
# page 1252, for the scenarios that show the remover works whatever the machine's code page is.
for loc in zh_CN en_US; do
  if ! locale -a 2>/dev/null | grep -qi "^$loc\.utf8\$"; then
    echo "setup: generating the $loc.UTF-8 locale"
    as_root sed -i "s/^# *\($loc\.UTF-8 UTF-8\)/\1/" /etc/locale.gen
    grep -q "^$loc.UTF-8 UTF-8" /etc/locale.gen || echo "$loc.UTF-8 UTF-8" | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null
  fi
done
