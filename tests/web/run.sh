#!/usr/bin/env bash
# The browser build's tests (make test-web):
#
#   tests/web/run.sh BUILD_WEB NATIVE_BUILD
#
# 1. The page in headless Chromium (page_test.mjs): the checks, then
#    WEB_SCRIPTS (200) random key scripts against the test double
#    (NATIVE_BUILD/zw_web_replay).
# 2. The same module under node, piped: the generated edges and mixed
#    streams of EDGE_CYCLES (200,000) cycles, byte for byte as the x86-64
#    build prints them.
#
# glibc's pow on x86-64 has a second road for processors with FMA, which
# rounds a few results one unit in the last place apart from its road
# without FMA; the module's C library rounds as the road without. So the
# module's output is compared with the x86-64 build's as it runs on a
# processor without FMA (glibc told so by GLIBC_TUNABLES; where the
# processor has none that changes nothing), and, where the processor has
# FMA, with its own output too, which may differ only in results lines of
# power cycles (a power of a differing result differs too).
set -euo pipefail
web=$1
native=$2
cycles=${EDGE_CYCLES:-200000}
here=$(cd "$(dirname "$0")" && pwd)

command -v "${ZW_CHROMIUM:-/usr/bin/chromium}" >/dev/null ||
  { echo "test-web: no chromium (tools/setup-deps.sh --ci installs it)" >&2; exit 1; }
node "$here/page_test.mjs" "$web" "$native/zw_web_replay" "${WEB_SCRIPTS:-200}"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for w in edges mixed; do
  "$native/bench/zw_workload" "$w" "$cycles" >"$tmp/$w.in"
  GLIBC_TUNABLES=glibc.cpu.hwcaps=-FMA,-AVX2 "$native/zahlwerk" <"$tmp/$w.in" >"$tmp/$w.x86-64"
  "$native/zahlwerk" <"$tmp/$w.in" >"$tmp/$w.x86-64-here"
  node "$web/zahlwerk.mjs" <"$tmp/$w.in" >"$tmp/$w.web"
  if ! cmp "$tmp/$w.x86-64" "$tmp/$w.web"; then
    echo "FAIL: node output differs from x86-64 output, $w $cycles" >&2
    exit 1
  fi
  echo "node output = x86-64 output, $w $cycles cycles: $(sha256sum <"$tmp/$w.web" | cut -c1-64)"
  if ! cmp -s "$tmp/$w.x86-64-here" "$tmp/$w.web"; then
    differ=$(diff --old-line-format='%L' --new-line-format='' --unchanged-line-format='' \
      "$tmp/$w.x86-64-here" "$tmp/$w.web" || true)
    if grep -qv '^Ergebnis: ' <<<"$differ"; then
      echo "FAIL: node output differs from this processor's x86-64 output beyond power results, $w" >&2
      exit 1
    fi
    echo "  against glibc's pow for FMA on this processor: $(grep -c . <<<"$differ") lines of power results differ"
  fi
done
