# A headless X server on a display number it picks itself, for the scripts
# that run programs in windows. Sourced; start_xvfb WORK starts it (its log
# in WORK/xvfb.log) and sets xvfb_pid and display (the number, empty when
# no server answered within 5 seconds).
start_xvfb() {
  exec 3>"$1/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$1/xvfb.log" 2>&1 &
  xvfb_pid=$!
  exec 3>&-
  display=
  for _ in $(seq 50); do
    display=$(cat "$1/display")
    [[ -n $display ]] && DISPLAY=:$display xdpyinfo >/dev/null 2>&1 && return 0
    display=
    sleep 0.1
  done
  return 1
}
