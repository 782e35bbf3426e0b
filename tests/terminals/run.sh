#!/usr/bin/env bash
# The calculator in real terminals, each headless under its own X server:
# xterm, kitty, tmux and GNU screen (each inside an xterm), rxvt-unicode,
# st, alacritty, mlterm, xfce4-terminal (VTE), konsole, foot (in weston),
# and xterm.js (in headless Chromium). Keys are typed through the X server
# with xdotool (at xterm.js as DevTools key events); the screen is read
# back from the terminal itself (terminals.sh says how).
#
#   tests/terminals/run.sh [--program PATH] [--bridge PATH] [--jobs N] [TERMINAL...]
#
# xterm.js needs zw_pty_bridge (--bridge; beside the program unless told)
# and the npm packages of tools/node-deps.sh (in $ZW_NODE_DIR).
# TERMINAL is one of those above (all of them when none is named); with
# --jobs N (2 unless told), N X servers each take their share at once.
# Every terminal first times the program's start (from its start to its
# banner, and the part of that spent waiting for the terminal's answers,
# read from a trace of its system calls), then runs the program twice. The
# first run: a cycle, the editing
# keys, Escape followed at once by a letter, "ä", a cycle typed on the
# keypad, in kitty and foot Alt+keypad entry, and Ctrl+C. The second starts below 60 lines printed before it: a
# cycle; the window 10 rows taller, a cycle; 10 rows shorter again, a cycle
# (each time the whole screen must read as what was printed, in order, the
# typed line on the prompt's row); then, at the prompt, 40 columns and a
# typed line that wraps at 40, and 80 columns again and a line that does
# not; then a line wrapped at 80 columns while the window narrows to 40
# and widens again; then SIGTERM from outside. After each run, the exit
# status (130, 143), the terminal settings (the same as before) and the
# keyboard flags the terminal reports are checked.
# Exit status 0 when every check passed; a failed check prints the screen it
# was made on. A terminal that cannot be started fails, named.
set -u

here=$(cd "$(dirname "$0")" && pwd)
program=$here/../../build/zahlwerk
bridge=
jobs=2
while (($#)); do
  case $1 in
    --program) program=$(cd "$(dirname "$2")" && pwd)/$(basename "$2"); shift 2 ;;
    --bridge) bridge=$(cd "$(dirname "$2")" && pwd)/$(basename "$2"); shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    *) break ;;
  esac
done
. "$here/terminals.sh"
terminals=("$@")
((${#terminals[@]})) || terminals=("${ALL_TERMINALS[@]}")
[[ -x $program ]] || { echo "no program at $program" >&2; exit 2; }
bridge=${bridge:-$(dirname "$program")/zw_pty_bridge}
node_modules=${ZW_NODE_DIR:-/opt/zahlwerk-node}/node_modules

missing=()
for t in "${terminals[@]}"; do
  tools=$(terminal_tools "$t") || { echo "no such terminal: $t" >&2; exit 2; }
  for tool in Xvfb xdotool xprop strace $tools; do
    command -v "$tool" >/dev/null || missing+=("$t (needs $tool)")
  done
  if [[ $t == xtermjs ]]; then
    [[ -x $bridge ]] || missing+=("$t (needs $bridge)")
    [[ -d $node_modules/@xterm/xterm && -d $node_modules/puppeteer-core ]] ||
      missing+=("$t (needs $node_modules: tools/node-deps.sh)")
  fi
done
if ((${#missing[@]})); then
  printf 'FAIL: cannot start %s\n' "${missing[@]}"
  exit 1
fi

# Several X servers at once: each takes every Nth terminal; their reports
# are printed one after the other.
if ((jobs > 1 && ${#terminals[@]} > 1)); then
  start=$SECONDS
  logs=$(mktemp -d /tmp/zw-terminals-logs.XXXXXX)
  trap 'rm -rf "$logs"' EXIT
  pids=()
  for ((j = 0; j < jobs; j++)); do
    share=()
    for ((i = j; i < ${#terminals[@]}; i += jobs)); do share+=("${terminals[i]}"); done
    ((${#share[@]})) || continue
    "$0" --program "$program" --bridge "$bridge" --jobs 1 "${share[@]}" >"$logs/$j" 2>&1 &
    pids+=($!)
  done
  trap 'kill "${pids[@]}" 2>/dev/null; exit 130' INT TERM HUP
  status=0
  for p in "${pids[@]}"; do wait "$p" || status=1; done
  checks=0 failures=0
  for ((j = 0; j < ${#pids[@]}; j++)); do
    total=$(tail -1 "$logs/$j")
    if [[ $total =~ ^([0-9]+)\ checks,\ ([0-9]+)\ failed ]]; then
      sed '$d' "$logs/$j"
      checks=$((checks + BASH_REMATCH[1]))
      failures=$((failures + BASH_REMATCH[2]))
    else
      cat "$logs/$j"
      failures=$((failures + 1))
    fi
  done
  ((status && !failures)) && failures=1
  echo "$checks checks, $failures failed, $((SECONDS - start)) s"
  ((failures == 0))
  exit
fi

work=$(mktemp -d /tmp/zw-terminals.XXXXXX)
started=()  # processes this script started, ended on the way out
xvfb_pid=

cleanup() {
  local p
  for p in "${started[@]}"; do kill "$p" 2>/dev/null; done
  tmux -L zw-matrix-$$ kill-server 2>/dev/null
  screen -S zw-matrix-$$ -X quit >/dev/null 2>&1
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP PIPE

. "$here/../support/xvfb.sh"
start_xvfb "$work"
[[ -n $display ]] || { echo "FAIL: no X server (Xvfb)"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=:$display
# What the program itself sees is the terminal's business, not the caller's;
# every terminal speaks UTF-8.
unset TMUX STY KITTY_WINDOW_ID KITTY_LISTEN_ON WAYLAND_DISPLAY
export LC_ALL=C.UTF-8

failures=0
checks=0
term=         # the terminal under test
out=          # its session folder
term_pid=     # its process

# ---------------------------------------------------------------------------
# Checks.

# The screen without blank lines at its top and bottom, and without spaces
# at the ends of its lines.
trimmed_screen() {
  screen_text | sed 's/[[:space:]]*$//' | sed '/./,$!d' | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}'
}

# The last line of the screen that is not blank.
last_line() { screen_text | sed 's/[[:space:]]*$//' | grep -v '^$' | tail -1; }

fail() {
  echo "FAIL [$term] $1"
  failures=$((failures + 1))
}

show_screen() { screen_text | sed -e 's/^/    | /' -e '$a\'; }

# Status 0 until 5 seconds after the call that starts with "waiting start"
# (reading some terminals' screen takes a good part of a second on a busy
# machine, so waits count time, not tries).
waiting() {
  local now=${EPOCHREALTIME/./}
  [[ ${1:-} == start ]] && { wait_until=$((now + 5000000)); return 0; }
  ((now < wait_until))
}

# Waits up to 5 seconds for the last non-blank line to be `want`.
expect_last() {
  local want=$1 what=$2 got=
  checks=$((checks + 1))
  waiting start
  while :; do
    got=$(last_line)
    [[ $got == "$want" ]] && return 0
    waiting || break
    sleep 0.1
  done
  fail "$what: last line \"$got\", expected \"$want\""
  show_screen
  return 1
}

# Waits up to 5 seconds for the last non-blank lines to be the lines of
# `want`.
expect_tail() {
  local want=$1 what=$2 got= n
  n=$(wc -l <<<"$want")
  checks=$((checks + 1))
  waiting start
  while :; do
    got=$(screen_text | sed 's/[[:space:]]*$//' | grep -v '^$' | tail -n "$n")
    [[ $got == "$want" ]] && return 0
    waiting || break
    sleep 0.1
  done
  fail "$what: the last lines are not"
  sed 's/^/    > /' <<<"$want"
  show_screen
  return 1
}

# Waits up to 5 seconds for a file of the session to hold `want`.
expect_file() {
  local file=$1 want=$2 what=$3 got=
  checks=$((checks + 1))
  for _ in $(seq 50); do
    [[ -s $out/$file ]] && break
    sleep 0.1
  done
  got=$(cat "$out/$file" 2>/dev/null)
  [[ $got == "$want" ]] && return 0
  fail "$what: \"$got\", expected \"$want\""
  return 1
}

# The whole screen must be the last lines of what was printed: `printed`
# holds it, a line each, from the first numbered line on. A line drawn on a
# row other than the one the program meant, or an old line left standing,
# breaks the order.
printed=
expect_printed() {
  local what=$1 got n
  checks=$((checks + 1))
  got=$(trimmed_screen)
  # A terminal whose reading includes the scrollback shows the first run
  # above the numbered lines.
  grep -qx 'Zeile 1' <<<"$got" && got=$(sed -n '/^Zeile 1$/,$p' <<<"$got")
  n=$(wc -l <<<"$got")
  [[ $got == "$(tail -n "$n" <<<"$printed")" ]] && return 0
  fail "$what: the screen is not the end of what was printed"
  diff <(tail -n "$n" <<<"$printed") <(echo "$got") | sed 's/^/    /'
  return 1
}

# ---------------------------------------------------------------------------
# Typing. Keys go to the focused window through the X server (to xterm.js
# as DevTools key events), 20 ms apart; a burst 5 ms apart.

keys() { if [[ $term == xtermjs ]]; then xtermjs keys "$@"; else xdotool key --delay 20 "$@"; fi; }
text() { if [[ $term == xtermjs ]]; then xtermjs text "$1"; else xdotool type --delay 20 "$1"; fi; }
burst() { if [[ $term == xtermjs ]]; then xtermjs burst "$@"; else xdotool key --delay 5 "$@"; fi; }
line() { text "$1"; keys Return; }

start_terminal() {
  out=$work/$term
  rm -rf "$out"
  mkdir -p "$out"
  launch_terminal
}

stop_terminal() { close_terminal; }

# Run N ended with STATUS by WAY: the status, the terminal settings the same
# as before, and the keyboard flags.
expect_way_out() {
  local run=$1 status=$2 way=$3
  expect_file "status.$run" "$status" "exit status after $way"
  checks=$((checks + 1))
  # The settings are taken just after the status is written.
  for _ in $(seq 50); do
    [[ -s $out/stty.after.$run ]] && break
    sleep 0.1
  done
  if ! cmp -s "$out/stty.before.$run" "$out/stty.after.$run"; then
    fail "terminal settings differ after $way"
    diff <(tr : '\n' <"$out/stty.before.$run") <(tr : '\n' <"$out/stty.after.$run") | sed 's/^/    /'
  fi
  expect_file "flags.$run" "$(flags_after)" "keyboard flags after $way"
}

# A cycle typed at the prompt: "OP A B" and the result line it gives.
cycle() {
  local op=$1 a=$2 b=$3 result=$4
  line "$op"; line "$a"; line "$b"
  printed=$(sed '$d' <<<"$printed")
  printed+=$'\n'"Operation: $op"$'\n'"Nummmer 1: $a"$'\n'"Nummmer 2: $b"$'\n'"$result"$'\n'"Operation:"
}

# At the prompt of the second run, below the numbered lines: the window
# grows by 10 rows and shrinks again, each time followed by a cycle; then
# the line editor follows the width from 80 to 40 columns and back.
resize_checks() {
  printed=$(seq -f 'Zeile %g' 1 60; trimmed_screen | sed '1,/^Zeile 60$/d')
  if ! grep -qx 'Produkt:  42' <<<"$printed"; then
    fail "resize: the screen before it is not the numbered lines and the program"
    show_screen
    return
  fi
  checks=$((checks + 1))
  resize_by 0 10 || { fail "resize: the window did not grow by 10 rows"; return; }
  sleep 0.3
  cycle + 2 3 "Summe:  5"
  expect_last "Operation:" "grown by 10 rows: cycle" && expect_printed "grown by 10 rows"

  checks=$((checks + 1))
  resize_by 0 -10 || { fail "resize: the window did not shrink by 10 rows"; return; }
  sleep 0.3
  cycle + 4 5 "Summe:  9"
  expect_last "Operation:" "shrunk by 10 rows: cycle" && expect_printed "shrunk by 10 rows"

  # 11 columns of prompt and 45 typed: 29 on the first row of 40, 16 below.
  local typed=abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrs
  checks=$((checks + 1))
  resize_by -40 0 || { fail "resize: the window did not narrow to 40 columns"; return; }
  sleep 0.3
  text "$typed"
  expect_tail "Operation: ${typed:0:29}"$'\n'"${typed:29}" "a line typed at 40 columns"
  keys Escape
  expect_last "Operation:" "Escape at 40 columns"
  checks=$((checks + 1))
  resize_by 40 0 || { fail "resize: the window did not widen to 80 columns"; return; }
  sleep 0.3
  typed=$typed$typed
  typed=${typed:0:60}
  text "$typed"; keys Home
  expect_last "Operation: $typed" "a line typed at 80 columns, Home"
  keys Escape
  expect_last "Operation:" "Escape at 80 columns"

  # A line wrapped at 80 columns (69 on the prompt's row, 31 below) while
  # the window narrows to 40 and widens again: each time the prompt and the
  # line are drawn at the new width, right below the result line, nothing
  # of the old rows left.
  typed=$typed$typed
  typed=${typed:0:100}
  text "$typed"
  expect_tail "Summe:  9"$'\n'"Operation: ${typed:0:69}"$'\n'"${typed:69}" "a line wrapped at 80 columns"
  checks=$((checks + 1))
  resize_by -40 0 || { fail "resize: the window did not narrow to 40 columns while a line was typed"; return; }
  text "Z"
  expect_tail "Summe:  9"$'\n'"Operation: ${typed:0:29}"$'\n'"${typed:29:40}"$'\n'"${typed:69}Z" \
    "the wrapped line narrowed to 40 columns"
  checks=$((checks + 1))
  resize_by 40 0 || { fail "resize: the window did not widen to 80 columns while a line was typed"; return; }
  keys Home; text "Y"
  expect_tail "Summe:  9"$'\n'"Operation: Y${typed:0:68}"$'\n'"${typed:68}Z" "the wrapped line widened to 80 columns, Home"
  keys Escape
  expect_last "Operation:" "Escape after the wrapped line"
}

run_terminal() {
  echo "== $term"
  # A window that does not come up or take the focus (a busy machine) gets
  # one more try before it counts as a failure.
  if ! start_terminal; then
    stop_terminal
    start_terminal || { fail "no window"; stop_terminal; return; }
  fi
  # The timed start (session.sh) comes first; its figures are reported.
  checks=$((checks + 1))
  waiting start
  until [[ -s $out/start.ms ]] || ! waiting; do sleep 0.1; done
  if [[ -s $out/start.ms ]]; then
    read -r start_ms answers_ms <"$out/start.ms"
    echo "   start to banner: ${start_ms} ms (the terminal's answers: ${answers_ms:-?} ms)"
  else
    fail "no timed start"
  fi
  expect_last "Operation:" "start" || { stop_terminal; return; }

  # A cycle.
  line "+"; line 2; line 3
  expect_last "Operation:" "cycle"
  screen_text | grep -qx 'Summe:  5 *' || fail "cycle: no \"Summe:  5\""

  # The editing keys: "1x2" Home Delete End Backspace gives "x"; Escape
  # clears "99"; "6" Left "1" Right "0" gives "160".
  text "1x2"; keys Home Delete End BackSpace
  expect_last "Operation: x" "Home, Delete, End, Backspace"
  keys Return
  text 99; keys Escape
  expect_last "Nummmer 1:" "Escape clears the line"
  line 4
  text 6; keys Left; text 1; keys Right; text 0
  expect_last "Nummmer 2: 160" "Left, Right"
  keys Return
  expect_last "Operation:" "edited cycle"
  screen_text | grep -qx 'Produkt:  640 *' || fail "edited cycle: no \"Produkt:  640\""

  # Escape and at once a letter.
  text 77
  burst Escape h
  if [[ $(escape_letter) == clears ]]; then
    expect_last "Operation: h" "Escape then h within 5 ms"
    keys Return; line 1
    expect_last "Operation:" "Escape then h: cycle"
    screen_text | grep -qx 'Ergebnis:  640 *' || fail "Escape then h: no \"Ergebnis:  640\""
  else
    expect_last "Operation: 77" "Escape then h within 5 ms (as Alt+h)"
    keys Return; line 1; line 1
    expect_last "Operation:" "Escape then h: cycle"
  fi

  # "ä" (one byte of the program's code page, UTF-8 at the terminal), then
  # a cycle typed on the keypad: its "+", digits and Enter.
  if types_umlaut; then
    text "ä"
    expect_last "Operation: ä" "ä typed"
    keys BackSpace
  fi
  keys KP_Add KP_Enter KP_4 KP_Enter KP_5 KP_Enter
  expect_tail $'Operation: +\nNummmer 1: 4\nNummmer 2: 5\nSumme:  9\nOperation:' "a cycle typed on the keypad"

  # Alt+keypad entry: Alt held, keypad 6 and 5 (Num Lock on), Alt let go.
  if [[ $(alt_keypad) == yes ]]; then
    xdotool keydown Alt_L
    xdotool key --delay 20 KP_6 KP_5
    xdotool keyup Alt_L
    expect_last "Operation: A" "Alt+keypad 6 5"
    keys Escape
    expect_last "Operation:" "Escape after Alt+keypad"
  fi

  # Ctrl+C ends the program with the status of SIGINT.
  text 5; keys ctrl+c
  expect_way_out 1 130 "Ctrl+C"

  # The second run, below 60 numbered lines: a cycle, the resizes, then
  # SIGTERM from outside ends it with the status of SIGTERM, the terminal
  # given back all the same.
  expect_last "Operation:" "second run" || { stop_terminal; return; }
  line "x"; line 6; line 7
  expect_last "Operation:" "second run: cycle"
  screen_text | grep -qx 'Produkt:  42 *' || fail "second run: no \"Produkt:  42\""
  resize_checks
  # The key's release, which a terminal that reports keys sends too, is
  # read before the signal.
  text 8
  sleep 0.2
  kill -TERM "$(cat "$out/pid.2")"
  expect_way_out 2 143 "SIGTERM"
  stop_terminal
}

start=$SECONDS
# Typing through an X server at a terminal now and then loses a race on a
# busy machine: a terminal whose run fails is run once more, and only the
# second run counts. What failed the first time is printed all the same.
for term in "${terminals[@]}"; do
  failures_before=$failures
  checks_before=$checks
  run_terminal
  if ((failures > failures_before)); then
    echo "   $term: $((failures - failures_before)) failed; running it once more"
    failures=$failures_before
    checks=$checks_before
    run_terminal
  fi
done
echo "$checks checks, $failures failed, $((SECONDS - start)) s"
((failures == 0))
