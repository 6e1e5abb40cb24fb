#!/usr/bin/env bash
# Makes 32-bit Wine work on this Debian machine, for the shipped 32-bit
# programs that make run and make test start. Each step runs only when what
# it provides is missing, and says in one line what it changes and why.
#
# A kernel that executes i386 code needs only the i386 architecture and
# Debian's wine32. One that does not ("Exec format error") runs the 32-bit
# Wine loader under qemu's user-mode emulator, registered for i386 ELF
# programs through binfmt_misc. Debian 12's own qemu-user (7.2) is too old:
# 32-bit Wine stops at its start, unable to map the shared user data, so the
# emulator comes from the bookworm-backports suite of the same archive.
set -u
SUDO=$([ "$(id -u)" -eq 0 ] || echo sudo)
BINFMT=/proc/sys/fs/binfmt_misc
LOADER32=/usr/lib/wine/wine
BACKPORTS_LIST=/etc/apt/sources.list.d/vm-bookworm-backports.sources

say() { echo "deps: $*"; }
fail() { echo "deps: 32-bit Wine cannot be set up on this machine: $*" >&2; exit 1; }

apt_install() {  # PACKAGE... (with apt-get's own options first)
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "$@" >/dev/null ||
    fail "apt-get install $* failed"
}

# A 32-bit ELF program that this kernel, with whatever handler is
# registered, can start: the 32-bit Wine loader printing its version.
runs_i386() { "$LOADER32" --version >/dev/null 2>&1; }

qemu_major() {
  local version
  version=$(qemu-i386 --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p')
  echo "${version:-0}"
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  say "adding Debian's i386 architecture, for the 32-bit Wine that runs the shipped programs"
  $SUDO dpkg --add-architecture i386 || fail "dpkg --add-architecture i386 failed"
  $SUDO apt-get update -qq || fail "apt-get update failed"
fi

if ! dpkg -s wine32:i386 >/dev/null 2>&1; then
  say "installing wine32:i386, the Wine that runs 32-bit Windows programs"
  apt_install wine32:i386
fi

# Whether the kernel runs i386 code is known only once there is a 32-bit
# program to try; a qemu handler already registered counts too.
upgraded=no
if ! runs_i386 || { [ -e "$BINFMT/qemu-i386" ] && [ "$(qemu_major)" -lt 8 ]; }; then
  if [ "$(qemu_major)" -lt 8 ]; then
    if ! apt-cache policy qemu-user 2>/dev/null | grep -q 'bookworm-backports'; then
      # The suite beside the machine's own Debian entry: same addresses, same keyring.
      source_file=$(grep -l '^Suites:.*\bbookworm\b' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -1)
      [ -n "$source_file" ] || fail "no deb822 entry for Debian bookworm in /etc/apt/sources.list.d to add backports beside"
      uris=$(awk '/^URIs:/ {sub(/^URIs: */, ""); print; exit}' "$source_file")
      keyring=$(awk '/^Signed-By:/ {sub(/^Signed-By: */, ""); print; exit}' "$source_file")
      say "adding the bookworm-backports suite ($uris) to apt, for qemu-user 8 or newer (Debian 12's 7.2 cannot start 32-bit Wine)"
      printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: %s\n' \
        "$uris" "$keyring" | $SUDO tee "$BACKPORTS_LIST" >/dev/null
      $SUDO apt-get update -qq || fail "apt-get update failed"
    fi
    say "installing qemu-user from bookworm-backports, to emulate the 32-bit Wine loader on a kernel that runs no i386 code"
    apt_install -t bookworm-backports qemu-user
    [ "$(qemu_major)" -ge 8 ] || fail "qemu-i386 is $(qemu-i386 --version | head -1), 8 or newer is needed"
    upgraded=yes
  fi
  if [ ! -e "$BINFMT/register" ]; then
    say "mounting binfmt_misc at $BINFMT, where the kernel learns which emulator runs which programs"
    $SUDO mount -t binfmt_misc binfmt_misc "$BINFMT" || fail "binfmt_misc cannot be mounted"
  fi
  # Flag F opens the emulator once, at registration: after an upgrade the
  # handler would go on running the old binary, so register it again.
  if [ -e "$BINFMT/qemu-i386" ] && [ $upgraded = yes ]; then
    echo -1 | $SUDO tee "$BINFMT/qemu-i386" >/dev/null
  fi
  if [ ! -e "$BINFMT/qemu-i386" ]; then
    say "registering /usr/bin/qemu-i386 with binfmt_misc for i386 ELF programs (this kernel executes no 32-bit code)"
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386:F" | $SUDO tee "$BINFMT/register" >/dev/null ||
      fail "the i386 handler cannot be registered with binfmt_misc"
  fi
  runs_i386 || fail "$LOADER32 does not start even under qemu-i386"
fi
