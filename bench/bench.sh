#!/usr/bin/env bash
# The calculator side by side with what people reach for instead: mawk
# running the same job (bench/calc.awk) and a minimal C++ program that does
# only the arithmetic and the number text (bench/reference.cpp, the
# near-limit reference). First checks that the outputs are right, then
# measures in interleaved rounds and compares the minimums.
#
#   bench/bench.sh                 (a few minutes)
#   ROUNDS=9 STARTUP_ROUNDS=500 bench/bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${ROUNDS:-7}
startup_rounds=${STARTUP_ROUNDS:-300}
jobs=${JOBS:-2}
out=build-bench/bench

cmake --preset bench >/dev/null
cmake --build --preset bench -j "$jobs" --target zahlwerk zw_workload zw_reference zw_runner zw_pty_session >/dev/null
mkdir -p "$out"

zw=$PWD/build-bench/zahlwerk
ref=$PWD/$out/zw_reference
awk_script=$PWD/bench/calc.awk
"$out/zw_workload" mixed 1000000 >"$out/mixed.txt"
"$out/zw_workload" plus 1000000 >"$out/plus.txt"
"$out/zw_workload" mixed 100000 >"$out/mixed100k.txt"
"$out/zw_workload" plus 100000 >"$out/plus100k.txt"

goals_failed=0
goal() {  # text, condition (awk expression over the figures)
  if awk "BEGIN { exit !($2) }"; then
    printf '  holds   %s\n' "$1"
  else
    printf '  MISSED  %s\n' "$1"
    goals_failed=$((goals_failed + 1))
  fi
}

echo "== correctness"
for w in mixed plus; do
  "$zw" <"$out/$w.txt" >"$out/$w.zahlwerk"
  "$ref" --printf <"$out/$w.txt" >"$out/$w.model"
  "$ref" <"$out/$w.txt" >"$out/$w.reference"
  mawk -f "$awk_script" <"$out/$w.txt" >"$out/$w.mawk"
  if ! cmp -s "$out/$w.zahlwerk" "$out/$w.model"; then
    echo "  $w: the program's output differs from the strtod/printf model:"
    cmp "$out/$w.zahlwerk" "$out/$w.model" || true
    exit 1
  fi
  cmp -s "$out/$w.reference" "$out/$w.model" || { echo "  $w: the reference is wrong"; exit 1; }
  lines=$(($(wc -l <"$out/$w.model") - 8))
  mawk_lines=$(diff "$out/$w.mawk" "$out/$w.model" | grep -c '^<' || true)
  echo "  $w: $lines result lines byte for byte as the strtod/\"%.16g\" model (mawk: $mawk_lines lines differ, its arithmetic is double, not extended)"
done

echo "== piped throughput, 1,000,000 cycles, minimum of $rounds interleaved rounds"
declare -A best
for w in mixed plus; do
  while read -r name min median rss; do
    best[$w.$name]=$min
    printf '  %-6s %-9s %8.3f s  %10.0f cycles/s   (median %.3f s)\n' "$w" "$name" "$min" \
      "$(awk "BEGIN { print 1000000 / $min }")" "$median"
  done < <("$out/zw_runner" "$rounds" "$out/$w.txt" zahlwerk "$zw" :: mawk mawk -f "$awk_script" :: reference "$ref")
done
mixed_vs_mawk=$(awk "BEGIN { printf \"%.2f\", ${best[mixed.mawk]} / ${best[mixed.zahlwerk]} }")
mixed_vs_ref=$(awk "BEGIN { printf \"%.2f\", ${best[mixed.reference]} / ${best[mixed.zahlwerk]} }")
plus_vs_mawk=$(awk "BEGIN { printf \"%.2f\", ${best[plus.mawk]} / ${best[plus.zahlwerk]} }")
plus_vs_ref=$(awk "BEGIN { printf \"%.2f\", ${best[plus.reference]} / ${best[plus.zahlwerk]} }")
echo "  speed ratios: mixed ${mixed_vs_mawk} x mawk, ${mixed_vs_ref} x reference; \"+,2,3\" ${plus_vs_mawk} x mawk, ${plus_vs_ref} x reference"

echo "== start-up and exit on empty input, minimum of $startup_rounds interleaved rounds"
declare -A start
while read -r name min median rss; do
  start[$name]=$min
  printf '  %-9s %7.3f ms   (median %.3f ms)\n' "$name" "$(awk "BEGIN { print $min * 1000 }")" \
    "$(awk "BEGIN { print $median * 1000 }")"
done < <("$out/zw_runner" "$startup_rounds" /dev/null zahlwerk "$zw" :: mawk mawk -f "$awk_script" :: reference "$ref")
startup_ratio=$(awk "BEGIN { printf \"%.2f\", ${start[zahlwerk]} / ${start[mawk]} }")
echo "  start-up: ${startup_ratio} x mawk's time"

echo "== peak memory (maximum resident set)"
rss_of() { /usr/bin/time -f '%M' -o "$out/rss" "$@" >/dev/null; cat "$out/rss"; }
rss_empty=$(rss_of "$zw" </dev/null)
rss_100k=$(rss_of "$zw" <"$out/mixed100k.txt")
rss_1m=$(rss_of "$zw" <"$out/mixed.txt")
rss_mawk=$(rss_of mawk -f "$awk_script" <"$out/mixed.txt")
rss_ref=$(rss_of "$ref" <"$out/mixed.txt")
echo "  zahlwerk: ${rss_empty} KiB empty input, ${rss_100k} KiB at 100,000 cycles, ${rss_1m} KiB at 1,000,000"
echo "  mawk ${rss_mawk} KiB, reference ${rss_ref} KiB (1 MiB blocks) at 1,000,000"

echo "== instructions per cycle (callgrind, 100,000 cycles)"
declare -A ir
for w in mixed100k plus100k; do
  for name in zahlwerk reference; do
    binary=$zw
    [[ $name == reference ]] && binary=$ref
    count=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$binary" <"$out/$w.txt" 2>&1 >/dev/null |
      sed -n 's/.*Collected : \([0-9]*\).*/\1/p')
    ir[$w.$name]=$count
    printf '  %-10s %-9s %12d instructions, %6.0f per cycle\n' "$w" "$name" "$count" "$(awk "BEGIN { print $count / 100000 }")"
  done
done

echo "== interactive road on a pseudo-terminal (system calls counted by strace)"
session() {  # keys cycles -> "writes syscalls bytes"
  local trace=$out/strace.$1.$2
  local bytes
  bytes=$("$out/zw_pty_session" measure "$1" "$2" -- strace -c -o "$trace" "$zw" | sed -n 's/^bytes //p')
  awk -v bytes="$bytes" '$NF == "write" { w = $4 } $NF == "total" { t = $4 } END { print w + 0, t + 0, bytes }' "$trace"
}
read -r w_k1 s_k1 b_k1 < <(session 100 0)
read -r w_k2 s_k2 b_k2 < <(session 300 0)
read -r w_c1 s_c1 b_c1 < <(session 0 10)
read -r w_c2 s_c2 b_c2 < <(session 0 30)
per_key_writes=$(awk "BEGIN { printf \"%.2f\", ($w_k2 - $w_k1) / 200 }")
per_key_calls=$(awk "BEGIN { printf \"%.2f\", ($s_k2 - $s_k1) / 200 }")
per_key_bytes=$(awk "BEGIN { printf \"%.1f\", ($b_k2 - $b_k1) / 200 }")
per_cycle_writes=$(awk "BEGIN { printf \"%.2f\", ($w_c2 - $w_c1) / 20 }")
per_cycle_calls=$(awk "BEGIN { printf \"%.2f\", ($s_c2 - $s_c1) / 20 }")
per_cycle_bytes=$(awk "BEGIN { printf \"%.1f\", ($b_c2 - $b_c1) / 20 }")
echo "  per typed key:  ${per_key_writes} terminal writes, ${per_key_calls} system calls, ${per_key_bytes} bytes"
echo "  per cycle (\"+\", 2, 3 typed with Enter each: 6 keys, 3 prompts, 1 result line):"
echo "                  ${per_cycle_writes} terminal writes, ${per_cycle_calls} system calls, ${per_cycle_bytes} bytes"
read -r _ latency_median latency_p99 < <("$out/zw_pty_session" latency 1000 0 -- "$zw")
echo "  key to echo over 1000 typed keys: median ${latency_median} ms, 99th percentile ${latency_p99} ms"

echo "== goals"
goal "mixed workload at least 2.5 x mawk's speed (${mixed_vs_mawk} x)" "$mixed_vs_mawk >= 2.5"
goal "mixed workload at least 0.9 x the near-limit reference's speed (${mixed_vs_ref} x)" "$mixed_vs_ref >= 0.9"
goal "\"+,2,3\" at least 3 x mawk's speed (${plus_vs_mawk} x)" "$plus_vs_mawk >= 3"
goal "\"+,2,3\" at least 1.15 x the near-limit reference's speed (${plus_vs_ref} x)" "$plus_vs_ref >= 1.15"
goal "mixed workload at most 1500 instructions per cycle ($((ir[mixed100k.zahlwerk] / 100000)))" "${ir[mixed100k.zahlwerk]} <= 1500 * 100000"
goal "\"+,2,3\" at most 950 instructions per cycle ($((ir[plus100k.zahlwerk] / 100000)))" "${ir[plus100k.zahlwerk]} <= 950 * 100000"
goal "start-up no slower than 1.5 x mawk's (${startup_ratio} x)" "$startup_ratio <= 1.5"
goal "peak RSS at most 4 MiB (${rss_1m} KiB)" "$rss_1m <= 4096"
goal "peak RSS not growing with the input (${rss_100k} -> ${rss_1m} KiB)" "$rss_1m - $rss_100k <= 256"
# A typed key is one console write, its echo, with the cursor hidden and
# shown around it; the prompts and the result line of a cycle go out with the
# echo of the Enter that asked for them.
goal "one terminal write per typed key (${per_key_writes})" "$per_key_writes <= 1.0"
goal "at most 4 system calls per typed key (${per_key_calls})" "$per_key_calls <= 4.0"
goal "key-to-echo latency median under 1 ms (${latency_median} ms)" "$latency_median < 1.0"
goal "one terminal write per typed key in whole cycles, prompts and results included (${per_cycle_writes} for 6 keys)" "$per_cycle_writes <= 6.0"
if ((goals_failed > 0)); then
  echo "$goals_failed goal(s) missed"
else
  echo "all goals hold"
fi
