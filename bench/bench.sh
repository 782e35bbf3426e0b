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
workloads=(mixed plus edges typical)
for w in "${workloads[@]}"; do
  "$out/zw_workload" "$w" 1000000 >"$out/$w.txt"
  "$out/zw_workload" "$w" 100000 >"$out/${w}100k.txt"
done

source bench/goal.sh

echo "== correctness"
for w in "${workloads[@]}"; do
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
declare -A best best_cpu
for w in "${workloads[@]}"; do
  # mawk (some seven times slower) runs the two workloads its goals name.
  others=(:: reference "$ref")
  [[ $w == mixed || $w == plus ]] && others=(:: mawk mawk -f "$awk_script" "${others[@]}")
  while read -r name min median rss cpu; do
    best[$w.$name]=$min
    best_cpu[$w.$name]=$cpu
    printf '  %-8s %-9s %8.3f s  %10.0f cycles/s   (median %.3f s; CPU time %.3f s)\n' "$w" "$name" "$min" \
      "$(awk "BEGIN { print 1000000 / $min }")" "$median" "$cpu"
  done < <("$out/zw_runner" "$rounds" "$out/$w.txt" zahlwerk "$zw" "${others[@]}")
done
ratio() { awk "BEGIN { printf \"%.2f\", $1 / $2 }"; }
mixed_vs_mawk=$(ratio "${best[mixed.mawk]}" "${best[mixed.zahlwerk]}")
plus_vs_mawk=$(ratio "${best[plus.mawk]}" "${best[plus.zahlwerk]}")
declare -A vs_ref
slowest=
for w in "${workloads[@]}"; do
  vs_ref[$w]=$(ratio "${best[$w.reference]}" "${best[$w.zahlwerk]}")
  if [[ -z $slowest ]] || awk "BEGIN { exit !(${vs_ref[$w]} < ${vs_ref[$slowest]}) }"; then slowest=$w; fi
done
echo "  speed ratios: mixed ${mixed_vs_mawk} x mawk, \"+,2,3\" ${plus_vs_mawk} x mawk"
printf '  against the reference:'
for w in "${workloads[@]}"; do printf ' %s %s x' "$w" "${vs_ref[$w]}"; done
printf '; slowest %s (%s x)\n' "$slowest" "${vs_ref[$slowest]}"
printf '  in CPU time (minimums):'
for w in "${workloads[@]}"; do printf ' %s %s x' "$w" "$(ratio "${best_cpu[$w.reference]}" "${best_cpu[$w.zahlwerk]}")"; done
echo

echo "== start-up and exit on empty input, minimum of $startup_rounds interleaved rounds"
declare -A start
while read -r name min median rss cpu; do
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

echo "== instructions and mispredicted branches per cycle (cachegrind --branch-sim=yes, 100,000 cycles)"
declare -A ir mispredicted
for w in "${workloads[@]}"; do
  for name in zahlwerk reference; do
    binary=$zw
    [[ $name == reference ]] && binary=$ref
    read -r count misses < <(valgrind --tool=cachegrind --cache-sim=no --branch-sim=yes \
      --cachegrind-out-file=/dev/null "$binary" <"$out/${w}100k.txt" 2>&1 >/dev/null |
      tr -d , | awk '/I *refs:/ { i = $NF } /Mispredicts:/ { m = $3 } END { print i, m }')
    ir[$w.$name]=$count
    mispredicted[$w.$name]=$misses
    printf '  %-8s %-9s %6.0f instructions, %5.1f mispredicted branches per cycle\n' "$w" "$name" \
      "$(awk "BEGIN { print $count / 100000 }")" "$(awk "BEGIN { print $misses / 100000 }")"
  done
done
declare -A ir_ratio
for w in "${workloads[@]}"; do ir_ratio[$w]=$(ratio "${ir[$w.zahlwerk]}" "${ir[$w.reference]}"); done
printf '  instructions against the reference:'
for w in "${workloads[@]}"; do printf ' %s %s x' "$w" "${ir_ratio[$w]}"; done
echo

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
goal "\"+,2,3\" at least 3 x mawk's speed (${plus_vs_mawk} x)" "$plus_vs_mawk >= 3"
for w in "${workloads[@]}"; do
  goal "$w workload at least 1.15 x the near-limit reference's speed (${vs_ref[$w]} x)" "${vs_ref[$w]} >= 1.15"
done
goal "slowest workload ($slowest) at least 1.15 x the reference's speed (${vs_ref[$slowest]} x)" "${vs_ref[$slowest]} >= 1.15"
for w in "${workloads[@]}"; do
  goal "$w workload at most 0.8 x the reference's instructions per cycle (${ir_ratio[$w]} x)" "${ir_ratio[$w]} <= 0.8"
done
goal "\"+,2,3\" at most 950 instructions per cycle ($((ir[plus.zahlwerk] / 100000)))" "${ir[plus.zahlwerk]} <= 950 * 100000"
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
