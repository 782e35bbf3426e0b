#!/usr/bin/env bash
# The calculator in real terminals: xterm, kitty, and tmux and GNU screen
# (each inside an xterm), one after the other under a headless X server.
# Keys are typed through the X server with xdotool; the screen is read back
# from the terminal itself (xterm's print-immediate action, kitty's remote
# control, tmux capture-pane, screen's hardcopy).
#
#   tests/terminals/run.sh [--program PATH] [TERMINAL...]
#
# TERMINAL is xterm, kitty, tmux or screen (all four when none is named).
# Every terminal runs the program twice. The first run: a cycle, the editing
# keys, Escape followed at once by a letter, in kitty Alt+keypad entry, and
# Ctrl+C. The second: a cycle, then SIGTERM from outside. After each, the
# exit status (130, 143), the terminal settings (the same as before) and the
# keyboard flags the terminal reports are checked.
# Needs: Xvfb, xterm, kitty, xdotool, tmux, screen. Exit status 0 when every
# check passed; a failed check prints the screen it was made on.
set -u

here=$(cd "$(dirname "$0")" && pwd)
program=$here/../../build/zahlwerk
if [[ ${1:-} == --program ]]; then
  program=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
  shift 2
fi
terminals=("$@")
((${#terminals[@]})) || terminals=(xterm kitty tmux screen)
[[ -x $program ]] || { echo "no program at $program" >&2; exit 2; }

for tool in Xvfb xterm kitty xdotool tmux screen; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

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

# A free display from :70 to :79.
display=
for n in 70 71 72 73 74 75 76 77 78 79; do
  [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do
    DISPLAY=:$n xdotool getmouselocation >/dev/null 2>&1 && break
    sleep 0.1
  done
  if kill -0 "$xvfb_pid" 2>/dev/null && DISPLAY=:$n xdotool getmouselocation >/dev/null 2>&1; then
    display=:$n
    break
  fi
  xvfb_pid=
done
[[ -n $display ]] || { echo "no free X display in :70..:79" >&2; exit 2; }
export DISPLAY=$display
# What the program itself sees is the terminal's business, not the caller's.
unset TMUX STY KITTY_WINDOW_ID KITTY_LISTEN_ON

failures=0
checks=0
term=         # the terminal under test
out=          # its session folder
term_pid=     # its process

# ---------------------------------------------------------------------------
# Reading the screen.

screen_text() {
  case $term in
    kitty) kitty @ --to "unix:$work/kitty.sock" get-text 2>/dev/null ;;
    xterm)
      rm -f "$work"/xterm-print*
      xdotool key ctrl+shift+p
      local f
      for _ in $(seq 40); do
        f=$(ls "$work"/xterm-print* 2>/dev/null | head -1)
        [[ -n $f ]] && { sleep 0.05; cat "$f"; return; }
        sleep 0.05
      done ;;
    tmux) tmux -L zw-matrix-$$ capture-pane -p -t zw 2>/dev/null ;;
    screen)
      rm -f "$work/hardcopy"
      screen -S zw-matrix-$$ -X hardcopy "$work/hardcopy" >/dev/null 2>&1
      for _ in $(seq 40); do
        [[ -s $work/hardcopy ]] && { cat "$work/hardcopy"; return; }
        sleep 0.05
      done ;;
  esac
}

# The last line of the screen that is not blank.
last_line() { screen_text | sed 's/[[:space:]]*$//' | grep -v '^$' | tail -1; }

fail() {
  echo "FAIL [$term] $1"
  failures=$((failures + 1))
}

# Waits up to 5 seconds for the last non-blank line to be `want`.
expect_last() {
  local want=$1 what=$2 got=
  checks=$((checks + 1))
  for _ in $(seq 50); do
    got=$(last_line)
    [[ $got == "$want" ]] && return 0
    sleep 0.1
  done
  fail "$what: last line \"$got\", expected \"$want\""
  screen_text | sed 's/^/    | /'
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

# ---------------------------------------------------------------------------
# Typing. Keys go to the focused window through the X server, 20 ms apart
# unless said otherwise.

keys() { xdotool key --delay 20 "$@"; }
text() { xdotool type --delay 20 "$1"; }
line() { text "$1"; keys Return; }

start_terminal() {
  out=$work/$term
  rm -rf "$out" "$work/kitty.sock"
  mkdir -p "$out"
  local session=("$here/session.sh" "$out" "$program")
  local xterm_opts=(-name zw-matrix -geometry 80x24+0+0
    -xrm "XTerm*printFileImmediate: $work/xterm-print"
    -xrm 'XTerm*printAttributes: 0'
    -xrm 'XTerm*VT100.translations: #override Ctrl Shift <Key>P: print-immediate()')
  case $term in
    xterm) xterm "${xterm_opts[@]}" -e "${session[@]}" &
      term_pid=$! ;;
    kitty) LIBGL_ALWAYS_SOFTWARE=1 kitty --config NONE --class zw-matrix \
             -o allow_remote_control=yes --listen-on "unix:$work/kitty.sock" \
             -o initial_window_width=80c -o initial_window_height=24c \
             -o remember_window_size=no "${session[@]}" >"$work/kitty.log" 2>&1 &
      term_pid=$! ;;
    tmux) xterm "${xterm_opts[@]}" -e tmux -L zw-matrix-$$ -f /dev/null \
            new-session -s zw -x 80 -y 24 "${session[*]}" &
      term_pid=$! ;;
    screen) xterm "${xterm_opts[@]}" -e screen -S zw-matrix-$$ -c /dev/null "${session[@]}" &
      term_pid=$! ;;
  esac
  started+=("$term_pid")
  # There is no window manager: the window gets the focus when it is shown.
  local win=
  for _ in $(seq 100); do
    win=$(xdotool search --onlyvisible --classname zw-matrix 2>/dev/null | tail -1)
    [[ -z $win ]] && win=$(xdotool search --onlyvisible --class zw-matrix 2>/dev/null | tail -1)
    if [[ -n $win ]]; then
      xdotool mousemove 20 20 windowfocus "$win" 2>/dev/null
      [[ $(xdotool getwindowfocus 2>/dev/null) == "$win" ]] && return 0
    fi
    sleep 0.1
  done
  return 1
}

stop_terminal() {
  case $term in
    tmux) tmux -L zw-matrix-$$ kill-server 2>/dev/null ;;
    screen) screen -S zw-matrix-$$ -X quit >/dev/null 2>&1 ;;
  esac
  kill "$term_pid" 2>/dev/null
  wait "$term_pid" 2>/dev/null
  for _ in $(seq 30); do
    [[ -z $(xdotool search --classname zw-matrix 2>/dev/null) ]] && break
    sleep 0.1
  done
}

# ---------------------------------------------------------------------------
# What differs between the terminals.
#
# Escape typed 5 ms before a letter: a terminal that sends bytes sends ESC
# and the letter, which the program cannot tell from Alt+letter; the editor
# ignores that, so the line stays as it was and the letter is lost
# ("lost"). A terminal that reports keys tells them apart: the line is
# cleared and the letter typed ("clears").
escape_letter() {
  case $term in
    kitty) echo clears ;;
    *) echo lost ;;
  esac
}
# Alt held while digits are typed on the keypad enters a character by its
# number; only a terminal that reports the release of Alt can do that.
alt_keypad() {
  case $term in
    kitty) echo yes ;;
    *) echo no ;;
  esac
}
# The keyboard flags the terminal reports after the program.
flags_after() {
  case $term in
    kitty) echo 0 ;;
    *) echo none ;;
  esac
}

# Run N ended with STATUS by WAY: the status, the terminal settings the same
# as before, and the keyboard flags.
expect_way_out() {
  local run=$1 status=$2 way=$3
  expect_file "status.$run" "$status" "exit status after $way"
  checks=$((checks + 1))
  if ! cmp -s "$out/stty.before.$run" "$out/stty.after.$run"; then
    fail "terminal settings differ after $way"
    diff <(tr : '\n' <"$out/stty.before.$run") <(tr : '\n' <"$out/stty.after.$run") | sed 's/^/    /'
  fi
  expect_file "flags.$run" "$(flags_after)" "keyboard flags after $way"
}

run_terminal() {
  echo "== $term"
  # A window that does not come up or take the focus (a busy machine) gets
  # one more try before it counts as a failure.
  if ! start_terminal; then
    stop_terminal
    start_terminal || { fail "no window"; stop_terminal; return; }
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
  xdotool key --delay 5 Escape h
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

  # The second run: a cycle, then SIGTERM from outside ends it with the
  # status of SIGTERM, the terminal given back all the same.
  expect_last "Operation:" "second run" || { stop_terminal; return; }
  line "x"; line 6; line 7
  expect_last "Operation:" "second run: cycle"
  screen_text | grep -qx 'Produkt:  42 *' || fail "second run: no \"Produkt:  42\""
  text 8
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
