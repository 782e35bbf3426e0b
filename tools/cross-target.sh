#!/usr/bin/env bash
# The cross matrix (cmake/cross-targets.txt) for the Makefile and the
# scripts.
#
#   tools/cross-target.sh names            every processor's name
#   tools/cross-target.sh packaged         those a package is built for
#   tools/cross-target.sh triplet NAME     its GNU triplet
#   tools/cross-target.sh qemu NAME        qemu-user's name for it
#   tools/cross-target.sh run NAME CMD...  runs a program of that processor
#
# A program runs under qemu-user with the target's own libraries from
# /usr/<triplet>/lib, searched before those the loader's cache lists: that
# cache is this machine's, and where it lists the same processor's
# libraries of another build (i386 ones where wine32 is installed) the
# loader would mix those with its own, and threads hang.
set -euo pipefail
matrix=$(dirname "$0")/../cmake/cross-targets.txt

rows() { sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$matrix"; }
field() {  # name column
  local got
  got=$(rows | awk -v n="$1" -v c="$2" '$1 == n { print $c }')
  [[ -n $got ]] || { echo "cross-target: unknown target $1 (one of: $(rows | awk '{ print $1 }' | xargs))" >&2; exit 1; }
  echo "$got"
}

case ${1:-} in
  names) rows | awk '{ print $1 }' ;;
  packaged) rows | awk '$4 == "yes" { print $1 }' ;;
  triplet) field "${2:?name}" 2 ;;
  qemu) field "${2:?name}" 3 ;;
  run)
    qemu=$(field "${2:?name}" 3)
    triplet=$(field "$2" 2)
    shift 2
    exec "qemu-$qemu" -L "/usr/$triplet" -E LD_LIBRARY_PATH=/lib "$@"
    ;;
  *)
    echo "usage: tools/cross-target.sh names | packaged | triplet NAME | qemu NAME | run NAME CMD..." >&2
    exit 2
    ;;
esac
