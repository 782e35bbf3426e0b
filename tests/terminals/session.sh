#!/usr/bin/env bash
# First times the program's start in the terminal this script was started
# in: run 0, traced (strace), from the program's start to the write of its
# banner and from its first write (the requests to the terminal) to the
# banner's, in milliseconds (start.ms: "START ANSWERS", "none" without
# strace); the program is ended with SIGTERM once the banner is out.
# Then runs it twice and records for each run N, in the folder OUT: its
# process number (pid.N), the
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

timed_start() {
  local trace=$out/trace.0 _
  command -v strace >/dev/null || { echo none; return; }
  # On the terminal, not this function's output; a job started with & reads
  # /dev/null unless told otherwise.
  strace -f -ttt -s 64 -e trace=execve,write -o "$trace" sh -c 'echo $$ >"$0"; exec "$@"' "$out/pid.0" "$@" \
    </dev/tty >/dev/tty &
  local tracer=$!
  for _ in $(seq 250); do
    grep -q 'Zahlwerk-ZW' "$trace" 2>/dev/null && break
    sleep 0.02
  done
  kill -TERM "$(cat "$out/pid.0")" 2>/dev/null
  wait "$tracer"
  # pid seconds.micros call(...): the program's execve, its first write to
  # the terminal and the banner's.
  awk -v program="$1" '
    $3 ~ /^execve\(/ && index($3, "\"" program "\"") { start = $2 }
    start && $3 ~ /^write\(1,/ && !first { first = $2 }
    start && $3 ~ /^write\(1,/ && index($0, "Zahlwerk-ZW") {
      printf "%.1f %.1f\n", ($2 - start) * 1000, ($2 - first) * 1000; exit
    }
  ' "$trace"
}
timed=$(timed_start "$@")
printf '\r\nrun 0 ended\r\n'
echo "${timed:-none}" >"$out/start.ms"

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
