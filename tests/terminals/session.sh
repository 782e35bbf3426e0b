#!/usr/bin/env bash
# Runs one program in the terminal this script was started in and records,
# in the folder OUT: the terminal settings before and after (stty -g), the
# exit status, and the terminal's keyboard flags afterwards ("none" when it
# does not answer ESC [ ? u). Then it keeps the terminal open, so that its
# screen can still be read.
#   session.sh OUT PROGRAM [ARG...]
out=$1
shift
# Ctrl+C and Ctrl+\ reach the whole foreground group: this script lives on.
trap : INT QUIT
stty -g >"$out/stty.before"
"$@"
echo $? >"$out/status"
stty -g >"$out/stty.after"

# The flags query, with the device-attributes request behind it: every
# terminal answers the second ("ESC [ ? ... c"), so the wait is short.
stty raw -echo
printf '\033[?u\033[c'
reply=
IFS= read -r -s -d c -t 3 reply
stty "$(cat "$out/stty.after")"
flags=none
case $reply in
  *'[?'[0-9]*u*) flags=${reply#*\[?}; flags=${flags%%u*} ;;
esac
echo "$flags" >"$out/flags"
printf '\r\nsession ended\r\n'
exec sleep 3600
