#!/usr/bin/env bash
# The Windows build under Wine, headless:
#   1. both executables import only KERNEL32, USER32 and msvcrt;
#   2. the unit tests, once with piped standard streams and once, for the
#      tests that need a console, at Wine's console in a tmux pane;
#   3. a session with piped input: byte-exact output, status 0, the same with
#      command-line arguments and (when given) the same as the Linux build;
#   4. a session typed key by key at Wine's console in a tmux pane, ended by
#      an Escape right behind the last Enter;
#   5. the program in Wine's windowed console, a screen buffer taller (and
#      wider) than its window, under Xvfb, the window resized and scrolled
#      as the user does: every cell read back and compared with a model of
#      the screen rules (windowed.py).
# Steps 2 to 5 run on the 64-bit build under Wine's 64-bit loader (wine64,
# which needs nothing of 32 bits), and on the 32-bit build under the 32-bit
# loader (wine32) unless BUILD_WIN32 is "-": on a machine whose kernel runs
# no 32-bit code (tools/runs-i386.sh) there is no running it.
#
# usage: tests/wine/run.sh BUILD_WIN64 BUILD_WIN32|- [LINUX_ZAHLWERK]
#
# Wine's console on a terminal, as the console session meets it: keys arrive
# without the enhanced-key bit and without keypad virtual keys; Home and End
# are recognised as ESC [ H and ESC [ F; an Escape followed at once by a
# character arrives as Alt+character, so Escape is sent last; the pane starts
# blank with the program as its command.
set -euo pipefail

win64=${1:?usage: run.sh BUILD_WIN64 BUILD_WIN32 [LINUX_ZAHLWERK]}
win32=${2:?usage: run.sh BUILD_WIN64 BUILD_WIN32 [LINUX_ZAHLWERK]}
linux=${3:-}
exe64=$(realpath "$win64/zahlwerk.exe")
tests64=$(realpath "$win64/zahlwerk_tests.exe")
builds=(win64)
if [[ $win32 != - ]]; then
  builds+=(win32)
  exe32=$(realpath "$win32/zahlwerk.exe")
  tests32=$(realpath "$win32/zahlwerk_tests.exe")
fi
# The loaders themselves: Debian's `wine` script would start the 32-bit one
# whenever it is installed, even for a 64-bit program.
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
wine32=/usr/lib/wine/wine
[[ -x $wine32 ]] || wine32=$(command -v wine)
loader() {  # build
  if [[ $1 == win64 ]]; then echo "$wine64"; else echo "$wine32"; fi
}

work=$(mktemp -d /tmp/zw-wine.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
tmux_cmd=(tmux -L "zw-wine-$$" -f /dev/null)
failures=0

xvfb_pid=
cleanup() {
  "${tmux_cmd[@]}" kill-server 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  [[ -z $xvfb_pid ]] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

pass() { echo "ok   $1"; }
fail() { echo "FAIL $1"; failures=$((failures + 1)); }

# --- 1. imports -------------------------------------------------------------
check_imports() {  # objdump exe
  local got
  got=$("$1" -p "$2" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
  if [[ $got == "kernel32.dll msvcrt.dll user32.dll " ]]; then
    pass "imports of $2"
  else
    fail "imports of $2: $got"
  fi
}
check_imports x86_64-w64-mingw32-objdump "$exe64"
[[ $win32 == - ]] || check_imports i686-w64-mingw32-objdump "$exe32"

# The prefix, made by the 64-bit loader. Its output stays in the log: the
# steps after it fail when it did.
"$wine64" wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; fail "wineboot"; }

# Runs a command in a fresh 80x25 tmux pane; the pane stays after it ends.
pane_start() {
  "${tmux_cmd[@]}" kill-server 2>/dev/null || true
  "${tmux_cmd[@]}" new-session -d -x 80 -y 25 "$1" \; set-option -w remain-on-exit on
}
pane_text() { "${tmux_cmd[@]}" capture-pane -p; }
# Waits up to $2 seconds for file $1 to exist.
wait_file() {
  local i
  for ((i = 0; i < $2 * 5; i++)); do [[ -s $1 ]] && return 0; sleep 0.2; done
  return 1
}
# Waits up to 30 seconds for the pane to show $1 (the pane drops trailing
# blanks).
wait_text() {
  local i
  for ((i = 0; i < 150; i++)); do pane_text | grep -qF -- "$1" && return 0; sleep 0.2; done
  echo "     pane never showed '$1':"; pane_text | sed 's/^/     | /'
  return 1
}

# --- 2. unit tests ----------------------------------------------------------
unit_tests() {  # name tests.exe
  local name=$1 tests=$2 wine
  wine=$(loader "$name")
  if timeout 300 "$wine" "$tests" </dev/null >"$work/unit.log" 2>&1; then
    pass "$name: unit tests, piped ($(grep -o '[0-9]* tests\? from [0-9]* test suites ran' "$work/unit.log"))"
  else
    sed -n '/FAILED\|Failure/,+6p' "$work/unit.log" | head -80
    fail "$name: unit tests, piped (log: see above)"
  fi

  rm -f "$work/console-unit.status"
  pane_start "'$wine' '$tests' --gtest_filter='Win32*' >'$work/console-unit.log' 2>&1; echo \$? >'$work/console-unit.status'"
  if wait_file "$work/console-unit.status" 120 && [[ $(cat "$work/console-unit.status") == 0 ]] &&
     grep -q 'OK \] Win32ConsoleTest.WriteCells' "$work/console-unit.log"; then
    pass "$name: unit tests at the console"
  else
    cat "$work/console-unit.log" 2>/dev/null | grep -v '^\[       OK\|^\[ RUN' | head -60
    fail "$name: unit tests at the console"
  fi
}
unit_tests win64 "$tests64"
[[ $win32 == - ]] || unit_tests win32 "$tests32"

# --- 3. piped session -------------------------------------------------------
piped_input='+,2,3
/,1,0
/,0,0
ru,-1e308,1e308
qu,1e308
kf,1.5
h,0.5
-,2,5
"BEANTWORTE DIE ULTIMATIVE FRAGE AUF DAS LEBEN, DIE WELT, UND ALLES
1
2
'
# Every line ends in CR LF; the menu pads to 14-column zones.
sed 's/$/\r/' >"$work/piped.want" <<'END'
### Zahlwerk-ZW ### V.1.1 ###
###Kommandozeilenparameter###

 + (Plus)      - (Minus)     x (Mal)       / (Geteilt)   h (Hoch)
 kd (Kreis-Dm)               kr (Kreis-r)  ku (Kreis-U)  kf (Kreis-F)
 qu (Quadrat-U)              qf (Quadrat-F)              ru (Rechteck-U)
 rf (Rechteck-F)

Summe:  5
Quotient:  inf
Quotient: -nan
Ergebnis:  1e+308
Ergebnis:  inf
Ergebnis:  9.424777960769379
Ergebnis:  3.069980123839466
Differenz: -3
Sie ist Definitiv 10.5*4
END

piped_run() {  # name output [args...]
  local name=$1 out=$2 status=0
  shift 2
  printf '%s' "$piped_input" | timeout 60 "$@" >"$out" 2>"$out.err" || status=$?
  if [[ $status != 0 ]]; then
    fail "$name: status $status"
  elif ! cmp -s "$work/piped.want" "$out"; then
    fail "$name: output differs"
    diff <(cat -A "$work/piped.want") <(cat -A "$out") | head -20 || true
  else
    pass "$name"
  fi
}
for build in "${builds[@]}"; do
  exe=$exe64
  [[ $build == win32 ]] && exe=$exe32
  piped_run "$build: piped session" "$work/piped.out" "$(loader $build)" "$exe"
  piped_run "$build: piped session with arguments" "$work/piped-args.out" "$(loader $build)" "$exe" -x "a b" /?
done
if [[ -n $linux ]]; then
  piped_run "piped session on the Linux build" "$work/piped-linux.out" "$linux"
fi

# --- 4. console session -----------------------------------------------------
key() { "${tmux_cmd[@]}" send-keys "$@"; sleep 0.2; }

console_session() {  # exe loader
  rm -f "$work/console.status"
  pane_start "'$2' '$1'; echo \$? >'$work/console.status'"
  wait_text "Operation:" || return 1
  # The start texts: banner to the last menu row, then an empty row.
  local want_start
  want_start=$(sed 's/\r$//' "$work/piped.want" | head -7)
  if [[ $(pane_text | head -8) != "$want_start" || -n $(pane_text | sed -n 8p) ]]; then
    echo "     start texts differ:"; pane_text | head -9 | sed 's/^/     | /'
    return 1
  fi
  # Operation: x, Backspace, + and Enter.
  key x; key BSpace; key +; key Enter
  wait_text "Nummmer 1:" || return 1
  # Nummmer 1: 5, Home, 1, End, Left, 9 and Enter make 195.
  key 5; key -H 1b 5b 48; key 1; key -H 1b 5b 46; key Left; key 9; key Enter
  wait_text "Nummmer 2:" || return 1
  # Nummmer 2: 3, then Enter and Escape arrive together.
  key 3; key -H 0d 1b
  if ! wait_file "$work/console.status" 30; then
    echo "     the program did not end:"; pane_text | sed 's/^/     | /'
    return 1
  fi
  # The whole transcript, scrolled-off lines included, without tmux's note
  # on the ended pane; $(...) drops the empty rows at the end.
  local status want got
  status=$(cat "$work/console.status")
  want=$(printf '%s\n\nOperation: +\nNummmer 1: 195\nNummmer 2: 3\nSumme:  198' "$want_start")
  got=$("${tmux_cmd[@]}" capture-pane -p -S - | grep -v '^Pane is dead')
  if [[ $status != 0 || $got != "$want" ]]; then
    echo "     status $status, transcript:"; printf '%s\n' "$got" | cat -A | sed 's/^/     | /'
    return 1
  fi
}
for build in "${builds[@]}"; do
  exe=$exe64
  [[ $build == win32 ]] && exe=$exe32
  if console_session "$exe" "$(loader $build)"; then pass "$build: console session"; else fail "$build: console session"; fi
done

# --- 5. windowed console ----------------------------------------------------
. "$(dirname "$0")/../support/xvfb.sh"
start_xvfb "$work" || true
# The consoles' windows are made on the display the Wine session started
# with: the session started above, without one, ends first.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
here=$(dirname "$0")
for build in "${builds[@]}"; do
  exe=$exe64
  [[ $build == win32 ]] && exe=$exe32
  if [[ -z $display ]]; then
    cat "$work/xvfb.log"
    fail "$build: windowed console (no X server: Xvfb)"
  elif DISPLAY=:$display timeout 600 python3 "$here/windowed.py" "$wine64" "$(realpath "$win64/zw_console_probe.exe")" "$exe" \
       | sed "s/^\(ok  \|FAIL\) /&$build: /"; then
    pass "$build: windowed console"
  else
    fail "$build: windowed console"
  fi
done

if ((failures > 0)); then
  echo "$failures Windows check(s) failed"
  exit 1
fi
echo "all Windows checks passed"
