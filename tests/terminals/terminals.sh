# What differs between the terminals of the matrix: how each is started in
# a window of 80 columns and 24 rows, how its screen is read back, how its
# window is resized, and what it does with keys that only some terminals
# report. Sourced by run.sh, which sets term, out, work, here, program and
# DISPLAY, and keeps the list `started` of processes to end on the way out.
#
# The screen is read from the terminal itself:
#   xterm, tmux, screen  the print-immediate action, capture-pane, hardcopy
#   kitty                remote control (get-text)
#   urxvt                a perl extension bound to Ctrl+Shift+P (urxvt/)
#   st                   its print-screen key (Shift+Print) into its -o file
#   mlterm               its snapshot, bound to Ctrl+Shift+P (the whole log)
#   foot                 its pipe-visible binding, Ctrl+Shift+P
#   alacritty, xfce4-terminal, konsole
#                        the text area selected with the mouse, read from
#                        the X primary selection
#   xtermjs              xterm.js's buffer (xtermjs.mjs)
# foot is a Wayland terminal: it runs in weston's X11 back end, which shows
# weston's output as a window on the X server; keys typed there reach foot,
# and foot's window is resized by dragging with Super and the right button.
# xterm.js, the terminal of editors and browsers, runs in headless Chromium
# on a pseudo-terminal of its own (zw_pty_bridge), typed at with DevTools
# key events rather than through the X server, and resized as a page
# resizes it.

ALL_TERMINALS=(xterm kitty tmux screen urxvt st alacritty mlterm xfce4-terminal konsole foot xtermjs)

# The commands a terminal's run needs.
terminal_tools() {
  case $1 in
    xterm) echo xterm ;;
    kitty) echo kitty ;;
    tmux) echo xterm tmux ;;
    screen) echo xterm screen ;;
    urxvt) echo urxvt perl ;;
    st) echo stterm ;;
    alacritty) echo alacritty xclip ;;
    mlterm) echo mlterm ;;
    xfce4-terminal) echo xfce4-terminal dbus-daemon xclip ;;
    konsole) echo konsole dbus-daemon xclip xwd python3 ;;
    foot) echo foot weston xwd python3 ;;
    xtermjs) echo node chromium ;;
    *) return 1 ;;
  esac
}

win=          # the terminal's X window (for foot: weston's)
dbus_pid=     # the session bus of a terminal that needs one
text_top=0    # rows of pixels above the text area (konsole's tool bar)
cell_w=0      # a character cell in pixels: measured at the start (foot's
cell_h=0      # from its log), used where the window has no size hints

# Starts the terminal running session.sh, finds its window and gives it the
# focus. Status 0 when the window is there and focused.
launch_terminal() {
  local session=("$here/session.sh" "$out" "$program")
  local xterm_opts=(-name zw-matrix -geometry 80x24+0+0
    -xrm "XTerm*printFileImmediate: $work/xterm-print"
    -xrm 'XTerm*printAttributes: 0'
    -xrm 'XTerm*VT100.translations: #override Ctrl Shift <Key>P: print-immediate()')
  text_top=0
  case $term in
    xterm) xterm "${xterm_opts[@]}" -e "${session[@]}" & ;;
    kitty) rm -f "$work/kitty.sock"
      LIBGL_ALWAYS_SOFTWARE=1 kitty --config NONE --class zw-matrix \
        -o allow_remote_control=yes --listen-on "unix:$work/kitty.sock" \
        -o initial_window_width=80c -o initial_window_height=24c \
        -o remember_window_size=no "${session[@]}" >"$work/kitty.log" 2>&1 & ;;
    tmux) xterm "${xterm_opts[@]}" -e tmux -L zw-matrix-$$ -f /dev/null \
        new-session -s zw -x 80 -y 24 "${session[*]}" & ;;
    screen) xterm "${xterm_opts[@]}" -e screen -S zw-matrix-$$ -c /dev/null "${session[@]}" & ;;
    urxvt) ZW_SCREEN_FILE=$work/urxvt.screen urxvt -name zw-matrix -geometry 80x24+0+0 \
        -perl-lib "$here/urxvt" -pe zw-screen -keysym.C-S-P zw-screen:dump \
        -e "${session[@]}" >"$work/urxvt.log" 2>&1 & ;;
    st) # -o - sends what st prints (and what it reads) to its standard
        # output, here a file opened for appending, so it can be emptied.
      : >"$work/st.print"
      stterm -n zw-matrix -g 80x24+0+0 -o - -e "${session[@]}" >>"$work/st.print" 2>"$work/st.log" & ;;
    alacritty) LIBGL_ALWAYS_SOFTWARE=1 alacritty --config-file /dev/null --class zw-matrix \
        -o window.dimensions.columns=80 -o window.dimensions.lines=24 \
        -e "${session[@]}" >"$work/alacritty.log" 2>&1 & ;;
    mlterm) mkdir -p "$work/mlterm/.mlterm"
      echo 'Control+Shift+P="proto:snapshot zw-screen"' >"$work/mlterm/.mlterm/key"
      HOME=$work/mlterm mlterm -N zw-matrix -g 80x24+0+0 -e "${session[@]}" >"$work/mlterm.log" 2>&1 & ;;
    xfce4-terminal) mkdir -p "$work/xfce"
      start_session_bus || return 1
      XDG_CONFIG_HOME=$work/xfce xfce4-terminal --disable-server --hide-menubar --hide-toolbar \
        --hide-scrollbar --geometry=80x24+0+0 -x "${session[@]}" >"$work/xfce.log" 2>&1 & ;;
    konsole) konsole_config
      start_session_bus || return 1
      XDG_CONFIG_HOME=$work/konsole/config XDG_DATA_HOME=$work/konsole/data \
        konsole --nofork -e "${session[@]}" >"$work/konsole.log" 2>&1 & ;;
    foot) launch_foot || return 1 ;;
    xtermjs) launch_xtermjs; return ;;
  esac
  term_pid=$!
  started+=("$term_pid")
  # There is no window manager: the window gets the focus when it is shown.
  win=
  for _ in $(seq 100); do
    win=$(xdotool search --onlyvisible --classname "$(window_class)" 2>/dev/null | tail -1)
    [[ -z $win ]] && win=$(xdotool search --onlyvisible --class "$(window_class)" 2>/dev/null | tail -1)
    if [[ -n $win ]]; then
      xdotool mousemove 20 20 windowfocus "$win" 2>/dev/null
      if [[ $(xdotool getwindowfocus 2>/dev/null) == "$win" ]]; then
        focus_text_area
        return
      fi
    fi
    sleep 0.1
  done
  return 1
}

window_class() {
  case $term in
    xfce4-terminal) echo Xfce4-terminal ;;
    konsole) echo konsole ;;
    foot) echo "Weston Compositor" ;;
    *) echo zw-matrix ;;
  esac
}

# Where needed, measures the window and clicks into the text area: konsole
# takes keys only after a click, and weston gives them to the window under
# the pointer's click.
focus_text_area() {
  local WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$win")"
  cell_w=$((WIDTH / 80))
  cell_h=$((HEIGHT / 24))
  case $term in
    konsole)
      sleep 0.5  # the tool bar is drawn after the window is shown
      text_top=$(xwd -id "$win" -silent | "$here/window_box.py" bottom) || return 1
      cell_h=$(((HEIGHT - text_top) / 24))
      xdotool mousemove $((WIDTH / 2)) $((HEIGHT - 5)) click 1 ;;
    foot) local box
      for _ in $(seq 30); do
        box=($(foot_box))
        ((${#box[@]} == 4 && box[2] - box[0] > 300 && box[2] - box[0] < 900)) && break
        sleep 0.1
      done
      # weston puts a window anywhere on its output: moved to the top-left
      # corner (Super and the left button), it has room to grow.
      local x y
      for _ in 1 2 3; do
        ((${#box[@]} == 4)) || return 1
        ((box[0] == 0 && box[1] == 0)) && break
        sleep 0.3
        x=$(((box[0] + box[2]) / 2)) y=$(((box[1] + box[3]) / 2))
        xdotool mousemove "$x" "$y" sleep 0.2 keydown super sleep 0.1 mousedown 1 sleep 0.2 \
          mousemove $((x - box[0] / 2)) $((y - box[1] / 2)) sleep 0.2 \
          mousemove $((x - box[0])) $((y - box[1])) sleep 0.2 mouseup 1 sleep 0.1 keyup super
        sleep 0.2
        box=($(foot_box))
      done
      ((box[0] == 0 && box[1] == 0)) || return 1
      xdotool mousemove $((box[2] / 2)) $((box[3] / 2)) click 1
      local cell
      cell=($(sed -n 's/.*cell width=\([0-9]*\), height=\([0-9]*\).*/\1 \2/p' "$work/foot.log" | tail -1))
      ((${#cell[@]} == 2)) || return 1
      cell_w=${cell[0]} cell_h=${cell[1]} ;;
  esac
  return 0
}

# A session bus of its own for the terminal (the GTK and KDE terminals
# want one), ended with it; no accessibility bus is asked for.
start_session_bus() {
  rm -f "$work/dbus.address"
  dbus-daemon --session --nofork --print-address=3 3>"$work/dbus.address" >/dev/null 2>&1 &
  dbus_pid=$!
  started+=("$dbus_pid")
  for _ in $(seq 50); do
    [[ -s $work/dbus.address ]] && break
    sleep 0.1
  done
  [[ -s $work/dbus.address ]] || return 1
  export DBUS_SESSION_BUS_ADDRESS NO_AT_BRIDGE=1 QT_ACCESSIBILITY=0
  DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/dbus.address")
}

konsole_config() {
  mkdir -p "$work/konsole/config" "$work/konsole/data/konsole"
  cat >"$work/konsole/config/konsolerc" <<'EOF'
[Desktop Entry]
DefaultProfile=zw.profile

[KonsoleWindow]
ShowMenuBarByDefault=false
RememberWindowSize=false

[TabBar]
TabBarVisibility=AlwaysHideTabBar
EOF
  cat >"$work/konsole/data/konsole/zw.profile" <<'EOF'
[General]
Name=zw
Parent=FALLBACK/
TerminalColumns=80
TerminalRows=24
TerminalMargin=0

[Scrolling]
ScrollBarPosition=2
EOF
}

# weston on the X server, then foot in it. Each gets a socket of its own.
weston_pid=
launch_foot() {
  local xdg=$work/xdg socket=zw-matrix-$$
  mkdir -p "$xdg"
  chmod 700 "$xdg"
  rm -f "$work/foot.screen"
  printf '[core]\nidle-time=0\n[shell]\npanel-position=none\nbackground-color=0xff000000\n' >"$work/weston.ini"
  printf '[key-bindings]\npipe-visible=[sh -c "cat >%s.part && mv %s.part %s"] Control+Shift+p\n' \
    "$work/foot.screen" "$work/foot.screen" "$work/foot.screen" >"$work/foot.ini"
  XDG_RUNTIME_DIR=$xdg weston --config="$work/weston.ini" --backend=x11-backend.so \
    --width=1000 --height=700 --socket="$socket" >"$work/weston.log" 2>&1 &
  weston_pid=$!
  started+=("$weston_pid")
  for _ in $(seq 50); do
    [[ -S $xdg/$socket ]] && break
    sleep 0.1
  done
  [[ -S $xdg/$socket ]] || return 1
  XDG_RUNTIME_DIR=$xdg WAYLAND_DISPLAY=$socket foot -c "$work/foot.ini" \
    --window-size-chars=80x24 "${session[@]}" >"$work/foot.log" 2>&1 &
}

# The driver of xterm.js takes commands on one FIFO and answers on another
# (a pipeline's subshells keep both).
xt_in= xt_out=
launch_xtermjs() {
  rm -f "$work/xtermjs.in" "$work/xtermjs.out"
  mkfifo "$work/xtermjs.in" "$work/xtermjs.out"
  node "$here/xtermjs.mjs" "$node_modules" "$bridge" 80 24 "${session[@]}" \
    <"$work/xtermjs.in" >"$work/xtermjs.out" 2>"$work/xtermjs.log" &
  term_pid=$!
  started+=("$term_pid")
  exec {xt_in}>"$work/xtermjs.in" {xt_out}<"$work/xtermjs.out"
  [[ $(xtermjs ready) == ready ]]
}

# Sends one command to the driver; prints its answer, once read whole (a
# reader that stops early, grep -q, must not leave the rest in the FIFO).
# Status 1 when it answers with an error or not at all.
xtermjs() {
  local line answer=() status=0
  [[ $1 == ready ]] || printf '%s\n' "$*" >&"$xt_in"
  while IFS= read -r -t 30 line <&"$xt_out"; do
    if [[ $line == end ]]; then
      ((${#answer[@]} == 0)) || printf '%s\n' "${answer[@]}"
      return $status
    fi
    [[ $line == error* ]] && { echo "    xterm.js: $line" >&2; status=1; continue; }
    answer+=("$line")
  done
  return 1
}

close_terminal() {
  case $term in
    tmux) tmux -L zw-matrix-$$ kill-server 2>/dev/null ;;
    screen) screen -S zw-matrix-$$ -X quit >/dev/null 2>&1 ;;
  esac
  kill "$term_pid" 2>/dev/null
  wait "$term_pid" 2>/dev/null
  if [[ -n $xt_in ]]; then
    exec {xt_in}>&- {xt_out}<&-
    xt_in= xt_out=
  fi
  if [[ -n $dbus_pid ]]; then
    kill "$dbus_pid" 2>/dev/null
    wait "$dbus_pid" 2>/dev/null
    dbus_pid=
    unset DBUS_SESSION_BUS_ADDRESS
  fi
  if [[ -n $weston_pid ]]; then
    kill "$weston_pid" 2>/dev/null
    wait "$weston_pid" 2>/dev/null
    weston_pid=
  fi
  for _ in $(seq 30); do
    [[ -z $(xdotool search --classname "$(window_class)" 2>/dev/null) ]] && break
    sleep 0.1
  done
}

# ---------------------------------------------------------------------------
# Reading the screen: one row a line, as the terminal shows it.

# Waits up to 2 seconds for FILE to appear, then prints it.
print_when_there() {
  for _ in $(seq 40); do
    [[ -s $1 ]] && { cat "$1"; return; }
    sleep 0.05
  done
}

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
      # The hardcopy holds the characters below 256 as Latin-1.
      print_when_there "$work/hardcopy" | iconv -f latin1 -t utf-8 ;;
    urxvt)
      rm -f "$work/urxvt.screen"
      xdotool key ctrl+shift+p
      print_when_there "$work/urxvt.screen" ;;
    st) st_screen ;;
    mlterm)
      rm -f "$work"/mlterm/.mlterm/zw-screen*
      xdotool key ctrl+shift+p
      local f
      for _ in $(seq 40); do
        f=$(ls "$work"/mlterm/.mlterm/zw-screen*.snp 2>/dev/null | head -1)
        [[ -n $f ]] && { sleep 0.05; cat "$f"; return; }
        sleep 0.05
      done ;;
    foot)
      rm -f "$work/foot.screen"
      xdotool key ctrl+shift+p
      print_when_there "$work/foot.screen" ;;
    alacritty | xfce4-terminal | konsole) selection_screen ;;
    xtermjs) xtermjs screen ;;
  esac
}

# st prints its screen, a row a line, into the same file as what the
# program writes; a print that arrived while the program wrote is taken
# again.
st_screen() {
  local rows
  rows=$(pty_size | cut -d' ' -f1)
  for _ in 1 2 3; do
    : >"$work/st.print"
    xdotool key shift+Print
    for _ in $(seq 40); do
      (($(wc -l <"$work/st.print") >= rows)) && break
      sleep 0.05
    done
    if (($(wc -l <"$work/st.print") == rows)) && ! grep -q $'[\r\e]' "$work/st.print"; then
      cat "$work/st.print"
      return
    fi
  done
}

# Selects the text area with the mouse from its top-left to its
# bottom-right corner and reads the selection. A placeholder owned by xclip
# beforehand tells when the terminal has taken the selection.
selection_screen() {
  local WIDTH HEIGHT holder text
  eval "$(xdotool getwindowgeometry --shell "$win")"
  # Two presses within a few hundred milliseconds would be a double click.
  sleep 0.4
  printf 'zw-none' | xclip -selection primary -quiet -i >/dev/null 2>&1 &
  holder=$!
  for _ in $(seq 20); do
    [[ $(timeout 1 xclip -o -selection primary 2>/dev/null) == zw-none ]] && break
    sleep 0.02
  done
  xdotool mousemove 1 $((text_top + 1)) mousedown 1 \
    mousemove $((WIDTH / 2)) $((HEIGHT / 2)) \
    mousemove $((WIDTH - 3)) $((HEIGHT - 2)) mouseup 1
  for _ in $(seq 40); do
    text=$(timeout 1 xclip -o -selection primary 2>/dev/null)
    [[ $text != zw-none ]] && break
    sleep 0.05
  done
  kill "$holder" 2>/dev/null
  wait "$holder" 2>/dev/null
  [[ $text != zw-none ]] && printf '%s\n' "$text"
}

# ---------------------------------------------------------------------------
# The size of the terminal the program runs in, "ROWS COLUMNS", and
# changing it.

pty_size() { stty -F "$(cat "$out/tty")" size 2>/dev/null; }

# Resizes the window by COLUMNS and ROWS character cells (negative to
# shrink) and waits until the program's terminal has the new size. Status
# 0 when it has.
resize_by() {
  local dc=$1 dr=$2 before want
  before=($(pty_size))
  ((${#before[@]} == 2)) || return 1
  want="$((before[0] + dr)) $((before[1] + dc))"
  case $term in
    foot) foot_drag $((dc * cell_w)) $((dr * cell_h)) ;;
    xtermjs) xtermjs size "$((before[1] + dc))" "$((before[0] + dr))" ;;
    *) window_resize "$dc" "$dr" ;;
  esac
  for _ in $(seq 30); do
    [[ $(pty_size) == "$want" ]] && return 0
    sleep 0.1
  done
  echo "    size $(pty_size), expected $want"
  return 1
}

# An X terminal's window: by its size hints where it has them, else by the
# cell size measured at the start.
window_resize() {
  local dc=$1 dr=$2 WIDTH HEIGHT inc
  eval "$(xdotool getwindowgeometry --shell "$win")"
  inc=($(xprop -id "$win" WM_NORMAL_HINTS 2>/dev/null | sed -n 's/.*resize increment: \([0-9]*\) by \([0-9]*\).*/\1 \2/p'))
  if ((${#inc[@]} == 2)); then
    xdotool windowsize "$win" $((WIDTH + dc * inc[0])) $((HEIGHT + dr * inc[1]))
  else
    xdotool windowsize "$win" $((WIDTH + dc * cell_w)) $((HEIGHT + dr * cell_h))
  fi
}

# Where foot's window is on weston's output, "X0 Y0 X1 Y1".
foot_box() {
  xwd -id "$win" -silent | "$here/window_box.py" content 2>/dev/null
}

# foot's window in weston: Super and the right button dragged from near its
# bottom-right corner.
foot_drag() {
  local dx=$1 dy=$2 box x y
  box=($(foot_box))
  ((${#box[@]} == 4)) || return 1
  x=$((box[2] - 20))
  y=$((box[3] - 20))
  xdotool mousemove "$x" "$y" sleep 0.2 keydown super sleep 0.1 mousedown 3 sleep 0.2 \
    mousemove $((x + dx / 2)) $((y + dy / 2)) sleep 0.2 \
    mousemove $((x + dx)) $((y + dy)) sleep 0.2 mouseup 3 sleep 0.1 keyup super
}

# ---------------------------------------------------------------------------
# Keys only some terminals report.
#
# Escape typed 5 ms before a letter: a terminal that sends bytes sends ESC
# and the letter, which the program cannot tell from Alt+letter; the editor
# ignores that, so the line stays as it was and the letter is lost
# ("lost"). A terminal that reports keys tells them apart: the line is
# cleared and the letter typed ("clears").
reports_keys() {
  case $term in
    kitty | foot) return 0 ;;
    *) return 1 ;;
  esac
}
escape_letter() { reports_keys && echo clears || echo lost; }
# "ä" is typed through a key xdotool maps to it for the moment; foot's keys
# come through weston's own keymap, which that does not change.
types_umlaut() { [[ $term != foot ]]; }
# Alt held while digits are typed on the keypad enters a character by its
# number; only a terminal that reports the release of Alt can do that.
alt_keypad() { reports_keys && echo yes || echo no; }
# The keyboard flags the terminal reports after the program.
flags_after() { reports_keys && echo 0 || echo none; }
