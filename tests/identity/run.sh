#!/usr/bin/env bash
# The program's piped output, byte for byte as it was before the fast roads
# through the cycle: the four bench workloads and every fuzz seed, checked
# against the checksums in expected.sha256 (written by the program as it was
# at release 1.1.0, before that work; the edges and typical workloads by the
# program as it was before the work on cycles per instruction).
#
#   tests/identity/run.sh PROGRAM WORKLOAD_TOOL
#   tests/identity/run.sh --write PROGRAM WORKLOAD_TOOL   (new expected values)
set -euo pipefail
write=0
if [[ ${1:-} == --write ]]; then write=1; shift; fi
program=$1
workload=$2
here=$(cd "$(dirname "$0")" && pwd)
# glibc picks its pow by processor: with FMA a handful of power results in
# the mixed workload come out one unit in the last place apart. The sums
# are those of the version without FMA, which every x86-64 processor runs.
export GLIBC_TUNABLES=glibc.cpu.hwcaps=-FMA,-AVX2
root=$(cd "$here/../.." && pwd)

sums() {
  for w in mixed plus edges typical; do
    printf '%s  %s\n' "$("$workload" "$w" 100000 | "$program" | sha256sum | cut -d' ' -f1)" "$w-100000"
  done
  # Each seed as it is, and as the numbers of a cycle of a two-number and
  # of a one-number code.
  (cd "$root" && for f in fuzz/corpus/*/*; do
    for code in "" "+," "kd,"; do
      printf '%s  %s\n' "$({ printf '%s' "$code"; cat "$f"; } | "$program" | sha256sum | cut -d' ' -f1)" "$code$f"
    done
  done)
  # Items that leave the plain road: quotes, blanks, tabs, CR, "d" exponents,
  # radix forms, zero bytes, items at and past their limits, the question.
  local long67 long68 long4097
  long67=$(printf '1%.0s' {1..67}); long68=$(printf '2%.0s' {1..68}); long4097=$(printf 'k%.0s' {1..4097})
  printf '%s  %s\n' "$({
    for code in + - x / h kd kr ku kf qu qf ru rf X "" "k d" '"+"' $'+\r' $'kd\t'; do
      for n in 2 ' 3 ' 1.5d3 '&H1F' '"4,5"' $'6\r' -0 1e400 $'7\t8' "$long67" "$long68" 12345678901234567890 .5e-3; do
        printf '%s,%s,%s\n' "$code" "$n" 3
      done
    done
    printf '"%s",1,2\n' 'BEANTWORTE DIE ULTIMATIVE FRAGE AUF DAS LEBEN, DIE WELT, UND ALLES'
    printf '%s,1,2\n' "$long4097"
    printf '+\0x,1,2\nh,2\n'
  } | "$program" | sha256sum | cut -d' ' -f1)" odd-items
}

if ((write)); then
  sums >"$here/expected.sha256"
  exit 0
fi
if ! diff -u "$here/expected.sha256" <(sums); then
  echo "FAIL: the piped output differs from the expected bytes" >&2
  exit 1
fi
echo "piped output byte for byte as expected ($(wc -l <"$here/expected.sha256") inputs)"
