#!/usr/bin/env bash
# Runs one program twice in the terminal this script was started in and
# records for each run N, in the folder OUT: its process number (pid.N), the
# terminal settings before and after (stty.before.N, stty.after.N, from
# stty -g), the exit status (status.N), and the terminal's keyboard flags
# afterwards (flags.N; "none" when it does not answer ESC [ ? u); and the
# terminal's device (tty). Before the second run it prints 60 numbered lines,
# so that the program starts below a screen full of them, with more in the
# terminal's scrollback. Then it keeps the terminal open, so that its screen
# can still be read.
#   session.sh OUT PROGRAM [ARG...]
out=$1
shift
# Ctrl+C and Ctrl+\ reach the whole foreground group: this script lives on.
trap : INT QUIT
tty >"$out/tty"
for run in 1 2; do
  ((run == 2)) && seq -f 'Zeile %g' 1 60
  stty -g >"$out/stty.before.$run"
  # The program takes over the shell's process, so its number is known.
  sh -c 'echo $$ >"$0"; exec "$@"' "$out/pid.$run" "$@"
  echo $? >"$out/status.$run"
  stty -g >"$out/stty.after.$run"

  # The flags query, with the device-attributes request behind it: every
  # terminal answers the second ("ESC [ ? ... c"), so the wait is short.
  stty raw -echo
  printf '\033[?u\033[c'
  reply=
  IFS= read -r -s -d c -t 3 reply
  stty "$(cat "$out/stty.after.$run")"
  flags=none
  case $reply in
    *'[?'[0-9]*u*) flags=${reply#*\[?}; flags=${flags%%u*} ;;
  esac
  echo "$flags" >"$out/flags.$run"
  printf '\r\nrun %s ended\r\n' "$run"
done
exec sleep 3600
