#!/usr/bin/env bash
# Runs a command as on a machine where the 32-bit Wine cannot be installed
# (a mirror whose i386 lists lag the others): in a mount namespace of its
# own, apt's preferences pin wine32:i386 below every candidate, so that
# apt-get install wine32:i386 fails, whatever the kernel runs. Needs root
# (unshare -m), and wine32:i386 not installed.
#
# usage: tools/without-wine32.sh COMMAND [ARGS...]
set -euo pipefail
(($#)) || { echo "usage: tools/without-wine32.sh COMMAND [ARGS...]" >&2; exit 2; }
if [[ $(dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null) == "install ok installed" ]]; then
  echo "without-wine32: wine32:i386 is installed here (apt-get remove wine32:i386 first)" >&2
  exit 2
fi

prefs=$(mktemp -d /tmp/zw-no-wine32.XXXXXX)
trap 'rm -rf "$prefs"' EXIT
cp -a /etc/apt/preferences.d/. "$prefs/"
printf 'Package: wine32:i386\nPin: release *\nPin-Priority: -1\n' >"$prefs/zw-no-wine32.pref"
unshare -m bash -c '
  mount --make-rprivate /
  mount --bind "$1" /etc/apt/preferences.d
  shift
  exec "$@"' bash "$prefs" "$@"
