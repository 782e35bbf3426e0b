#!/usr/bin/env bash
# Runs a command as on a machine whose kernel runs no 32-bit x86 code: in a
# mount namespace of its own, every 32-bit x86 program the system's packages
# install (the loader, the C library, Wine's 32-bit loader and server) is
# covered by a program of another processor, so that starting it fails with
# "Exec format error", as there. Programs qemu-i386 loads itself (the i386
# cross build) are not affected. Needs root (unshare -m).
#
# usage: tools/without-i386.sh COMMAND [ARGS...]
set -euo pipefail
(($#)) || { echo "usage: tools/without-i386.sh COMMAND [ARGS...]" >&2; exit 2; }

# A program of a processor this kernel has no handler for: a few bytes of
# ELF header for 64-bit ARM are enough for "Exec format error".
stand_in=$(mktemp /tmp/zw-not-i386.XXXXXX)
printf '\177ELF\002\001\001\000\000\000\000\000\000\000\000\000\002\000\267\000\001\000\000\000' >"$stand_in"
head -c 64 /dev/zero >>"$stand_in"
chmod 755 "$stand_in"
if "$stand_in" 2>/dev/null; [[ $? != 126 ]]; then
  echo "without-i386: this kernel runs 64-bit ARM programs (binfmt_misc?); no stand-in" >&2
  rm -f "$stand_in"
  exit 2
fi

i386_programs=()
for f in /lib/i386-linux-gnu/ld-linux.so.2 /lib/i386-linux-gnu/libc.so.6 \
         /usr/lib/wine/wine /usr/lib/wine/wineserver32; do
  [[ -e $f ]] && i386_programs+=("$(readlink -f "$f")")
done
exec unshare -m bash -c '
  stand_in=$1; shift
  mount --make-rprivate /
  while [[ $1 != -- ]]; do mount --bind "$stand_in" "$1"; shift; done
  shift
  rm -f "$stand_in"  # the mounts keep it
  exec "$@"' bash "$stand_in" "${i386_programs[@]}" -- "$@"
