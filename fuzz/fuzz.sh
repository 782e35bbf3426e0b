#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and UBSan) and runs
# each for a bounded time, starting from the seed corpora kept here.
#
#   fuzz/fuzz.sh [SECONDS_PER_TARGET]      default 60
#
# New inputs go to build-fuzz/corpus/<target>, findings to
# build-fuzz/findings/<target>; the script fails on the first finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build-fuzz

# The fuzz preset: clang-14 and its libFuzzer.
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "${JOBS:-2}"
mapfile -t targets <"$build/fuzz_targets.txt"

# Longest input per target: text items reach 4096 bytes.
declare -A max_len=([input_statement_fuzz]=9000 [line_editor_fuzz]=2048 [terminal_keys_fuzz]=1024)
for target in "${targets[@]}"; do
  work=$build/corpus/$target
  findings=$build/findings/$target
  mkdir -p "$work" "$findings"
  echo "== $target: ${seconds}s"
  if ! "$build/$target" "$work" "fuzz/corpus/$target" \
      -max_total_time="$seconds" -max_len="${max_len[$target]:-4096}" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" \
      >"$build/$target.log" 2>&1; then
    tail -n 60 "$build/$target.log"
    echo "$target: finding in $findings" >&2
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units)' "$build/$target.log" || true
done
