#!/usr/bin/env bash
# Makes sure this machine has what the test suite needs (`make test`), or
# with --ci what the whole CI run needs (.ci/run). What is missing is
# installed with apt-get when running as root; otherwise the script stops
# and names the packages to install. Nothing is ever skipped for lack of it.
#
# usage: tools/setup-deps.sh [--ci]
set -euo pipefail

ci=0
[[ ${1:-} == --ci ]] && ci=1

missing=()      # Debian/Ubuntu package names
need_locale=0

have_cmd() { command -v "$1" >/dev/null 2>&1; }
# A header and a library the compiler finds on its own search paths.
have_lib() {  # header library
  printf '#include <%s>\n' "$1" | "${CXX:-c++}" -x c++ -E - >/dev/null 2>&1 &&
    printf 'int main() { return 0; }\n' | "${CXX:-c++}" -x c++ - -o /dev/null "-l$2" >/dev/null 2>&1
}

# What the suite needs, checked by what it uses, so that any distribution
# passes when it has it; the names are Debian's.
have_cmd cmake || missing+=(cmake)
have_cmd ninja || have_cmd make || missing+=(ninja-build)
have_cmd "${CXX:-c++}" || missing+=(g++)
have_lib gtest/gtest.h gtest || missing+=(libgtest-dev)
have_lib gmock/gmock.h gmock || missing+=(libgmock-dev)
have_lib vterm.h vterm || missing+=(libvterm-dev)
# Header only: decimal numbers are read the same under every C++ library.
printf '#include <fast_float/fast_float.h>\n' | "${CXX:-c++}" -std=c++20 -x c++ -E - >/dev/null 2>&1 ||
  missing+=(libfast-float-dev)
have_cmd tmux || missing+=(tmux)
# The check that the cross presets are those of the cross matrix.
have_cmd python3 || missing+=(python3)
# The terminfo entries whose key sequences the suite checks (infocmp).
if have_cmd infocmp; then
  infocmp st-256color >/dev/null 2>&1 && infocmp vt220 >/dev/null 2>&1 || missing+=(ncurses-term)
  infocmp foot >/dev/null 2>&1 || missing+=(foot-terminfo)
else
  missing+=(ncurses-bin ncurses-term foot-terminfo)
fi
# A locale whose decimal separator is a comma, for the locale tests.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  need_locale=1
  have_cmd locale-gen || missing+=(locales)
fi

# CI also cross-builds for Windows and tests both builds under Wine (the
# 32-bit one needs the i386 wine32), cross-builds for every Linux processor
# of the cross matrix and tests under qemu-user, fuzzes with clang, builds
# the suite with clang and libc++, soaks under GNU time, types at real
# terminals under Xvfb and xterm.js in Chromium, builds, checks and
# installs the packages, and builds the browser build (clang-16 for
# wasm32-wasi with wasi-libc and the wasm32 libc++, binaryen's wasm-opt) and
# tests it in chromium; both browser runs are driven from node by the npm
# packages tools/node-deps.sh installs.
# No pipe into grep -q: under pipefail, a long status text (alacritty's)
# would fail with SIGPIPE and count as not installed.
installed() { [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null) == "install ok installed" ]]; }
need_i386=0
i386_missing=()   # installed apart: see below
if ((ci)); then
  dpkg --print-foreign-architectures 2>/dev/null | grep -qx i386 || need_i386=1
  for pkg in g++-mingw-w64-x86-64 g++-mingw-w64-i686 googletest wine wine64 \
             qemu-user \
             clang-14 libclang-rt-14-dev time clang-16 libc++-16-dev libc++abi-16-dev \
             dpkg-dev lintian mandoc man-db file zip unzip \
             xvfb xterm xdotool x11-utils x11-apps xclip python3 strace kitty screen \
             rxvt-unicode stterm alacritty mlterm xfce4-terminal konsole foot weston dbus-daemon \
             wasi-libc libc++-16-dev-wasm32 libc++abi-16-dev-wasm32 libclang-rt-16-dev-wasm32 lld-16 \
             binaryen chromium; do
    installed "$pkg" || missing+=("$pkg")
  done
  # The cross matrix (make test-cross, cmake/cross-targets.txt).
  for target in $("$(dirname "$0")/cross-target.sh" names); do
    triplet=$("$(dirname "$0")/cross-target.sh" triplet "$target")
    installed "g++-$triplet" || missing+=("g++-$triplet")
  done
  installed wine32:i386 || i386_missing+=(wine32:i386)
  # Node.js as the machine has it (Debian's or another packaging of it).
  have_cmd node || missing+=(nodejs)
  have_cmd npm || missing+=(npm)
fi

# The npm packages, outside the source tree, once node and npm are there.
node_deps() {
  if ((ci)); then "$(dirname "$0")/node-deps.sh" >/dev/null; fi
}

if ((${#missing[@]} == 0 && ${#i386_missing[@]} == 0 && need_locale == 0 && need_i386 == 0)); then
  node_deps
  exit 0
fi

if [[ $(id -u) -ne 0 ]] || ! have_cmd apt-get; then
  missing+=("${i386_missing[@]}")
  if ((${#missing[@]})); then
    echo "setup-deps: missing: ${missing[*]}" >&2
    echo "setup-deps: install with: sudo apt-get install ${missing[*]}" >&2
  fi
  if ((need_locale)); then
    echo "setup-deps: missing the locale de_DE.UTF-8; enable it with:" >&2
    echo "setup-deps:   sudo sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen && sudo locale-gen" >&2
  fi
  exit 1
fi

# A mirror can be caught in the middle of a sync ("File has unexpected
# size"): the lists are fetched again a few times, and then apt-get goes on
# with those it has, which is enough when only another architecture's or
# suite's list failed. An install that fails to fetch is tried again too.
apt_update() {
  local try
  for try in 1 2 3; do
    apt-get update -qq && return 0
    echo "setup-deps: apt-get update failed (try $try of 3)" >&2
    sleep $((try * 15))
  done
  echo "setup-deps: going on with the package lists apt-get has" >&2
}
apt_install() {
  local try
  for try in 1 2 3; do
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null && return 0
    ((try < 3)) || return 1
    echo "setup-deps: apt-get install failed (try $try of 3)" >&2
    sleep $((try * 15))
    apt-get update -qq || true
  done
}

if ((need_i386)); then
  dpkg --add-architecture i386
fi
if ((${#missing[@]} || ${#i386_missing[@]} || need_i386)); then
  apt_update
fi
if ((${#missing[@]})); then
  echo "setup-deps: installing ${missing[*]}"
  apt_install "${missing[@]}"
fi
# The 32-bit Wine on its own. It may not install: a mirror whose i386
# lists lag the others ("held broken packages"), a kernel that runs no
# 32-bit code for its scripts. CI then goes on without it, saying why in
# one line: make test-windows checks the 32-bit x87 arithmetic under
# qemu-i386 instead (tools/runs-i386.sh --wine).
if ((${#i386_missing[@]})); then
  echo "setup-deps: installing ${i386_missing[*]}"
  i386_log=$(mktemp /tmp/zw-setup-i386.XXXXXX)
  if ! apt_install "${i386_missing[@]}" 2>"$i386_log"; then
    why=$(grep '^E:' "$i386_log" | tail -1 || true)
    echo "setup-deps: ${i386_missing[*]} did not install (${why:-apt-get failed}); going on without it, the 32-bit x87 road is checked under qemu-i386"
  fi
  rm -f "$i386_log"
fi
if ((need_locale)); then
  echo "setup-deps: generating the locale de_DE.UTF-8"
  sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen 2>/dev/null || true
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'de_DE.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null
fi
node_deps
