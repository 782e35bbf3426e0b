#!/usr/bin/env bash
# Whether this machine's kernel runs 32-bit x86 programs itself. Some
# kernels of 64-bit machines are built or booted without it; there the
# 32-bit loader fails with "Exec format error". A 32-bit program that binfmt_misc
# hands to qemu-i386 would run too, but only by emulation, which is no
# ground for Wine's 32-bit loader: such a registration counts as "no".
#
# Prints one line saying what it found; status 0 when the kernel runs
# 32-bit x86 code, 1 when not. With --wine, Wine's 32-bit loader (the
# package wine32:i386) must be installed and start as well: the set-up goes
# on without it where it cannot be installed.
#
# usage: tools/runs-i386.sh [--wine]
set -uo pipefail
wine=0
[[ ${1:-} == --wine ]] && wine=1

loader=/lib/ld-linux.so.2
# A binfmt_misc entry for 32-bit x86 ELF programs: magic "\x7fELF", class
# 1 (32-bit), and e_machine 3 at byte 18.
for entry in /proc/sys/fs/binfmt_misc/*; do
  [[ -f $entry && $(basename "$entry") != status && $(basename "$entry") != register ]] || continue
  grep -qx enabled "$entry" || continue
  magic=$(sed -n 's/^magic //p' "$entry")
  if [[ $magic == 7f454c4601* && ${magic:36:4} == 0300 ]]; then
    echo "32-bit x86: binfmt_misc hands 32-bit programs to $(sed -n 's/^interpreter //p' "$entry") ($(basename "$entry")); not counted as the kernel's own"
    exit 1
  fi
done
if [[ ! -e $loader ]]; then
  echo "32-bit x86: no 32-bit loader ($loader) installed"
  exit 1
fi
if out=$("$loader" --version 2>&1 </dev/null) && [[ $out == *ld.so* ]]; then
  if ((wine)); then
    wine32=/usr/lib/wine/wine
    if [[ ! -x $wine32 ]]; then
      echo "32-bit x86: the kernel runs 32-bit programs, but Wine's 32-bit loader is not installed ($wine32, wine32:i386)"
      exit 1
    elif ! out=$("$wine32" --version 2>&1 </dev/null); then
      echo "32-bit x86: the kernel runs 32-bit programs, but Wine's 32-bit loader does not start ($wine32: ${out##*: })"
      exit 1
    fi
    echo "32-bit x86: the kernel runs 32-bit programs ($loader starts), and Wine's 32-bit loader ($out)"
    exit 0
  fi
  echo "32-bit x86: the kernel runs 32-bit programs ($loader starts)"
  exit 0
fi
echo "32-bit x86: the kernel runs no 32-bit programs ($loader: ${out##*: })"
exit 1
