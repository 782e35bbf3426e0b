#!/usr/bin/env bash
# The program as a user gets it:
#   1. make install into a DESTDIR: exactly the program, both manual pages and
#      the documents; the installed program runs a piped session; the pages
#      are lint-clean and render; make uninstall leaves nothing behind;
#   2. make package: lintian finds no error or warning; dpkg -i puts
#      zahlwerk on PATH, where it runs a piped session and man shows its page
#      (English and German); dpkg -r removes every file it brought; the
#      cross-built arm64 and armhf packages hold a program of their own
#      processor, which, unpacked, runs a piped session under qemu-user;
#   3. make windows-release: the zip holds both executables, and the README
#      and the licence with CRLF line ends.
# Needs root for dpkg -i and dpkg -r.
#
# usage: tests/install/run.sh
set -euo pipefail
cd "$(dirname "$0")/../.."

work=$(mktemp -d /tmp/zw-install.XXXXXX)
build=build-install
failures=0
cleanup() {
  dpkg -s zahlwerk >/dev/null 2>&1 && dpkg -r zahlwerk >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

pass() { echo "ok   $1"; }
fail() { echo "FAIL $1"; failures=$((failures + 1)); }
check() {  # name command...
  local name=$1
  shift
  if "$@"; then pass "$name"; else fail "$name"; fi
}

# A piped session and the last lines it must print (CR LF line ends).
session_input='+,2,3\nh,2\nkf,1\n'
session_tail=$'Summe:  5\r\nErgebnis:  25\r\nErgebnis:  6.283185307179586\r\n'
runs_session() {  # program
  local got
  got=$(printf "$session_input" | "$1" | tail -n 3; echo .)
  [[ ${got%.} == "$session_tail" ]]
}

# --- 1. make install / make uninstall ---------------------------------------
stage=$work/stage
make -s install BUILD=$build DESTDIR="$stage" PREFIX=/usr >/dev/null
want='usr/bin/zahlwerk
usr/share/doc/zahlwerk/LICENSE
usr/share/doc/zahlwerk/README.md
usr/share/man/de/man1/zahlwerk.1.gz
usr/share/man/man1/zahlwerk.1.gz'
check "make install installs exactly the program, pages and documents" \
  test "$(cd "$stage" && find . -type f -o -type l | sed 's|^\./||' | sort)" == "$want"
check "the installed program runs a piped session" runs_session "$stage/usr/bin/zahlwerk"
check "the manual pages are lint-clean" mandoc -T lint man/zahlwerk.1 man/de/zahlwerk.1
page_renders() {  # page.gz heading
  MANWIDTH=80 man -l "$1" 2>&1 | grep -q "^$2"
}
check "the English page renders" page_renders "$stage/usr/share/man/man1/zahlwerk.1.gz" DESCRIPTION
check "the German page renders, umlauts included" \
  page_renders "$stage/usr/share/man/de/man1/zahlwerk.1.gz" 'ÜBERSICHT'
make -s uninstall BUILD=$build DESTDIR="$stage" >/dev/null
check "make uninstall removes every file and the documents folder" \
  test -z "$(find "$stage" -type f -o -type l -o -name zahlwerk)"

# --- 2. the Debian package --------------------------------------------------
rm -f build-dist/zahlwerk_*.deb
make -s package >"$work/lintian.txt" 2>&1 || { cat "$work/lintian.txt"; fail "make package (lintian errors or warnings?)"; }
grep '^[EW]: ' "$work/lintian.txt" || true
deb=$(ls build-dist/zahlwerk_*_"$(dpkg --print-architecture)".deb)
# Images that leave out manual pages and documents would install none.
dpkg -i --path-include='/usr/share/man/*' --path-include='/usr/share/doc/zahlwerk/*' "$deb" >/dev/null
files=$(dpkg -L zahlwerk | while read -r f; do [[ -f $f ]] && echo "$f"; done)
check "zahlwerk is on PATH" test "$(command -v zahlwerk)" == /usr/bin/zahlwerk
check "zahlwerk from PATH runs a piped session" runs_session zahlwerk
man_shows() {  # lang heading
  LANG=$1 LC_ALL= MANWIDTH=80 man -P cat zahlwerk 2>&1 | grep -q "^$2"
}
check "man zahlwerk shows the page" man_shows C.UTF-8 DESCRIPTION
check "man zahlwerk in German shows the German page" man_shows de_DE.UTF-8 BESCHREIBUNG
dpkg -r zahlwerk >/dev/null
left=""
for f in $files; do [[ -e $f ]] && left+="$f "; done
check "dpkg -r removes every file it installed${left:+: left $left}" test -z "$left"
check "dpkg -r leaves no documents folder" test ! -e /usr/share/doc/zahlwerk
check "dpkg knows the package no more" test "$(dpkg-query -W -f='${db:Status-Status}' zahlwerk 2>/dev/null || echo not-installed)" == not-installed

# The packages for the boards: the program inside is of the package's
# processor (as file names it), and runs under qemu-user with that
# processor's libraries.
cross_package() {  # arch "what file says of it"
  local arch=$1 cpu=$2 root=$work/root-$1 pkg
  pkg=$(ls build-dist/zahlwerk_*_"$arch".deb 2>/dev/null) || { fail "$arch: no package"; return; }
  check "$arch: the package says Architecture $arch" test "$(dpkg-deb -f "$pkg" Architecture)" == "$arch"
  dpkg-deb -x "$pkg" "$root"
  check "$arch: file finds its program one for $arch" grep -q "$cpu" <(file -b "$root/usr/bin/zahlwerk")
  check "$arch: its program runs a piped session under qemu-user" \
    runs_session_under "tools/cross-target.sh run $arch $root/usr/bin/zahlwerk"
}
runs_session_under() {  # "command words"
  local got
  got=$(printf "$session_input" | $1 | tail -n 3; echo .)
  [[ ${got%.} == "$session_tail" ]]
}
# What file says of the program of each processor a package is built for.
declare -A file_says=([arm64]="ARM aarch64" [armhf]="ARM, EABI5.*ld-linux-armhf")
for arch in $(tools/cross-target.sh packaged); do
  cross_package "$arch" "${file_says[$arch]:?no pattern of what file says of an $arch program}"
done

# --- 3. the Windows release -------------------------------------------------
make -s windows-release >"$work/zip.txt"
cat "$work/zip.txt"
zip=$(ls build-dist/zahlwerk-*-windows.zip)
root=$(basename "$zip" .zip)
check "the zip holds both executables, README and licence" \
  test "$(unzip -Z1 "$zip" | grep -v '/$' | sort | tr '\n' ' ')" == \
       "$root/LICENSE.txt $root/README.txt $root/x64/zahlwerk.exe $root/x86/zahlwerk.exe "
crlf_only() {  # member: every line ends in CR LF
  local lf cr
  lf=$(unzip -p "$zip" "$1" | tr -cd '\n' | wc -c)
  cr=$(unzip -p "$zip" "$1" | grep -c $'\r$')
  ((lf > 0 && lf == cr))
}
check "README.txt has CRLF line ends" crlf_only "$root/README.txt"
check "LICENSE.txt has CRLF line ends" crlf_only "$root/LICENSE.txt"
check "the executables are x64 and x86" test "$(unzip -p "$zip" "$root/x64/zahlwerk.exe" | file -b - | cut -d' ' -f1,2) $(unzip -p "$zip" "$root/x86/zahlwerk.exe" | file -b - | cut -d' ' -f1,2)" == "PE32+ executable PE32 executable"

if ((failures)); then
  echo "$failures install check(s) failed"
  exit 1
fi
echo "all install checks passed"
