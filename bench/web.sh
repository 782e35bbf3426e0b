#!/usr/bin/env bash
# The browser build's figures and goals (make bench-web):
#   - the size of what a browser loads: the page, its two scripts and the
#     module (before compression; gzip -9 beside it);
#   - the page in headless Chromium (bench/web_page.mjs): load to the first
#     prompt over LOADS loads, key to echo over KEYS keys;
#   - the module under node, piped, against the native build on the mixed
#     workload of a million cycles, in ROUNDS interleaved rounds
#     (zw_runner; minimums, and their ratio), and on empty input.
#
#   bench/web.sh        (about a minute)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${ROUNDS:-5}
jobs=${JOBS:-2}
out=build-bench/bench

cmake --preset web >/dev/null
cmake --build --preset web -j "$jobs" >/dev/null
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$jobs" --target zahlwerk zw_workload zw_runner >/dev/null
mkdir -p "$out"

source bench/goal.sh

echo "== what the browser loads"
files=(build-web/index.html build-web/page.mjs build-web/host.mjs build-web/zahlwerk.wasm)
total=0
for f in "${files[@]}"; do
  printf '  %-26s %7d bytes, %7d gzip -9\n' "${f#build-web/}" "$(stat -c %s "$f")" "$(gzip -9c "$f" | wc -c)"
  total=$((total + $(stat -c %s "$f")))
done
printf '  %-26s %7d bytes, %7d gzip -9\n' together "$total" "$(cat "${files[@]}" | gzip -9 | wc -c)"

echo "== the page in headless chromium"
declare -A fig
while read -r name value; do
  fig[$name]=$value
  printf '  %-26s %s\n' "$name" "$value"
done < <(node bench/web_page.mjs build-web "${LOADS:-20}" "${KEYS:-1000}")

echo "== piped under node, mixed workload of 1,000,000 cycles, $rounds rounds"
"$out/zw_workload" mixed 1000000 >"$out/mixed.txt"
while read -r name min median rss cpu; do
  printf '  %-8s min %6.3f s  median %6.3f s  cpu %6.3f s  rss %6d KiB\n' "$name" "$min" "$median" "$cpu" "$rss"
  fig[piped_$name]=$min
done < <("$out/zw_runner" "$rounds" "$out/mixed.txt" native build-bench/zahlwerk :: node node build-web/zahlwerk.mjs)
while read -r name min median rss cpu; do
  printf '  %-8s start-up and exit on empty input: min %6.3f s\n' "$name" "$min"
  fig[empty_$name]=$min
done < <("$out/zw_runner" "$rounds" /dev/null native build-bench/zahlwerk :: node node build-web/zahlwerk.mjs)
ratio=$(awk "BEGIN { printf \"%.1f\", ${fig[piped_node]} / ${fig[piped_native]} }")
less_startup=$(awk "BEGIN { printf \"%.1f\", (${fig[piped_node]} - ${fig[empty_node]}) / (${fig[piped_native]} - ${fig[empty_native]}) }")
echo "  node / native: ${ratio}x; without start-up and exit: ${less_startup}x"

echo "== goals"
goal "load to the first prompt, median ${fig[load_to_prompt_median_ms]} ms <= 150 ms" "${fig[load_to_prompt_median_ms]} <= 150"
goal "key to echo in the next frame, median ${fig[key_to_frame_median_ms]} ms <= 16 ms" "${fig[key_to_frame_median_ms]} <= 16"
goal "page, scripts and module $((total / 1024)) KiB <= 400 KB" "$total <= 400000"
exit $((goals_failed > 0))
