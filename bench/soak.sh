#!/usr/bin/env bash
# Soak and hostile input for the built program: ten million piped cycles
# with flat memory, a gigabyte of random bytes, lines of many megabytes,
# floods of zero and 0xFF bytes, a reader that leaves early, odd standard
# streams, random bytes typed and 50 MiB pasted at a pseudo-terminal, storms
# of resizes while lines are typed (at tmux and the test terminals), and
# (on x86) the software extended arithmetic, on 128-bit integers and on
# 64-bit halves, against the x87 unit over ten million operand pairs per
# operation. A shorter round of the same runs against an AddressSanitizer
# build.
#
#   bench/soak.sh              (about two minutes on two cores)
#   SOAK_RANDOM_MIB=1024 ...   size of the random-byte run
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${JOBS:-2}
random_mib=${SOAK_RANDOM_MIB:-1024}
max_rss_kib=4096

cmake --preset bench >/dev/null
halves=$([[ $(uname -m) == x86_64 ]] && echo zahlwerk_halves_tests || true)
cmake --build --preset bench -j "$jobs" --target zahlwerk zw_pty_session zahlwerk_tests $halves
cmake --preset soak-asan >/dev/null
cmake --build --preset soak-asan -j "$jobs" --target zahlwerk

release=$root/build-bench/zahlwerk
asan=$root/build-soak-asan/zahlwerk
pty=$root/build-bench/bench/zw_pty_session
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

pass() { printf '  ok    %s\n' "$*"; }
fail() {
  printf '  FAIL  %s\n' "$*"
  failures=$((failures + 1))
}

# Runs the program on standard input from the command in $2, output thrown
# away; sets status, rss (KiB) and seconds. A run that hangs is ended after
# $3 seconds and counts as status 124.
measure() {
  local binary=$1 feed=$2 limit=${3:-120}
  set +e
  bash -c "$feed" | timeout "$limit" /usr/bin/time -o "$tmp/time" -f '%x %M %e' "$binary" >"$tmp/out" 2>"$tmp/err"
  local rc=${PIPESTATUS[1]}
  set -e
  if [[ $rc == 124 || ! -s $tmp/time ]]; then
    status=124 rss=0 seconds=$limit
  else
    read -r status rss seconds < <(tail -n 1 "$tmp/time")
  fi
}

check() {  # name, expected last line or "", rss limit
  local name=$1 last=$2 limit=$3
  local problems=""
  [[ $status == 0 ]] || problems+=" status $status;"
  [[ -s $tmp/err ]] && problems+=" said on stderr: $(head -c 200 "$tmp/err");"
  ((rss <= limit)) || problems+=" peak RSS ${rss} KiB > ${limit};"
  if [[ -n $last ]]; then
    local got
    got=$(tail -c 64 "$tmp/out" | tr -d '\r' | tail -n 1)
    [[ $got == "$last" ]] || problems+=" last line '$got';"
  fi
  if [[ -z $problems ]]; then pass "$name (${seconds}s, ${rss} KiB)"; else fail "$name:$problems"; fi
}

echo "== soak: release build"

measure "$release" "yes +,2,3 | head -n 100000"
small_rss=$rss
measure "$release" "yes +,2,3 | head -n 10000000" 300
lines=$(tr -cd '\n' <"$tmp/out" | wc -c)
check "ten million cycles" "Summe:  5" "$max_rss_kib"
[[ $lines == 10000008 ]] || fail "ten million cycles: $lines lines of output"
((rss - small_rss <= 256)) && pass "memory flat: ${small_rss} KiB at 100000 cycles, ${rss} KiB at 10000000" \
  || fail "memory grows: ${small_rss} KiB at 100000 cycles, ${rss} KiB at 10000000"

measure "$release" "head -c ${random_mib}M /dev/urandom" 600
check "${random_mib} MiB of random bytes" "" "$max_rss_kib"

# 64 MiB without a line end, then one that ends in a cycle of its own: the
# long line is cut into whole cycles of 4096 + 67 + 67 bytes.
measure "$release" "head -c $((4230 * 15865)) /dev/zero | tr '\\0' x; printf '\\n+,2,3\\n'" 300
check "a line of 64 MiB" "Summe:  5" "$max_rss_kib"
measure "$release" "head -c 100M /dev/zero; printf '\\n+,2,3\\n'" 300
check "100 MiB of zero bytes" "" "$max_rss_kib"
measure "$release" "head -c 100M /dev/zero | tr '\\0' '\\377'" 300
check "100 MiB of 0xFF bytes" "" "$max_rss_kib"

set +e
timeout 20 bash -c "yes +,2,3 | '$release' 2>'$tmp/err' | head -n 1 >/dev/null; exit \${PIPESTATUS[1]}"
rc=$?
set -e
[[ $rc == 0 && ! -s $tmp/err ]] && pass "endless input, reader gone after one line: ends quietly" \
  || fail "endless input into | head -1: status $rc, stderr '$(head -c 200 "$tmp/err")'"

for stream in "<&-" "</" ">&-" ">/dev/full"; do
  set +e
  timeout 20 bash -c "yes +,2,3 | head -n 100000 | ( '$release' $stream ) 2>'$tmp/err' >/dev/null"
  rc=$?
  if [[ $stream == "<&-" || $stream == "</" ]]; then
    timeout 20 bash -c "'$release' $stream >/dev/null 2>'$tmp/err'"
    rc=$?
  fi
  set -e
  [[ $rc == 0 && ! -s $tmp/err ]] && pass "standard stream $stream: status 0, silent" \
    || fail "standard stream $stream: status $rc, stderr '$(head -c 200 "$tmp/err")'"
done

for seed in 1 2 3 4 5; do
  if out=$("$pty" storm "$seed" 30000 -- "$release"); then pass "$out"; else fail "$out"; fi
done

# Twenty storms of resizes while lines are typed, at tmux and at the test
# terminals that wrap their rows anew or keep them.
if out=$(python3 tests/resize/run.py "$release" --storms 20 2>&1); then
  pass "resize storms: $(tail -n 3 <<<"$out" | tr '\n' ';')"
else
  tail -n 60 <<<"$out"
  fail "resize storms"
fi

# Both roads of the software type: on the compiler's 128-bit integer, and
# on two 64-bit halves as 32-bit targets build it (a test program of its
# own on x86-64; on 32-bit x86 the one test program is built that way).
case $(uname -m) in
  x86_64 | i?86)
    pairs=${SOAK_EXTENDED_PAIRS:-10000000}
    for tests in zahlwerk_tests $halves; do
      if ZW_EXTENDED_PAIRS=$pairs "$root/build-bench/$tests" \
           --gtest_filter='SoftExtendedAgainstX87.*' >"$tmp/ext.log" 2>&1; then
        pass "software extended arithmetic ($tests) = x87, $pairs pairs per operation"
      else
        grep -A4 'Failure' "$tmp/ext.log" | head -40
        fail "software extended arithmetic ($tests) differs from the x87 unit"
      fi
    done
    ;;
esac

# A paste at full speed: the program reads no faster than it handles keys,
# so its memory stays flat.
if out=$("$pty" paste 50 8192 -- "$release"); then pass "$out"; else fail "$out"; fi

echo "== soak: AddressSanitizer build"
measure "$asan" "yes +,2,3 | head -n 300000" 300
check "300000 cycles" "Summe:  5" 1000000
measure "$asan" "head -c 64M /dev/urandom" 600
check "64 MiB of random bytes" "" 1000000
measure "$asan" "head -c $((4230 * 2000)) /dev/zero | tr '\\0' '\\377'; printf '\\n+,2,3\\n'" 300
check "a line of 8 MiB of 0xFF" "Summe:  5" 1000000
for seed in 11 12; do
  if out=$("$pty" storm "$seed" 20000 -- "$asan"); then pass "$out"; else fail "$out"; fi
done

if ((failures > 0)); then
  echo "soak: $failures failure(s)"
  exit 1
fi
echo "soak: all passed"
