#!/usr/bin/env bash
# Installs the npm packages the tests need, at pinned versions, outside the
# source tree: into $ZW_NODE_DIR (/opt/zahlwerk-node unless set). Quick when
# they are there already; packages installed there for other purposes are
# kept. Needs node and npm (tools/setup-deps.sh --ci installs them).
#
#   @xterm/xterm    the terminal of editors and browsers (make test-terminals)
#   puppeteer-core  drives Debian's chromium through the DevTools protocol
#                   (make test-terminals, make test-web)
#
# usage: tools/node-deps.sh        prints the folder of node_modules
set -euo pipefail

dir=${ZW_NODE_DIR:-/opt/zahlwerk-node}
pinned=(@xterm/xterm@6.0.0 puppeteer-core@24.43.1)

wanted=()
for p in "${pinned[@]}"; do
  name=${p%@*} version=${p##*@}
  got=$(node -p "require(process.argv[1]).version" "$dir/node_modules/$name/package.json" 2>/dev/null || true)
  [[ $got == "$version" ]] || wanted+=("$p")
done
if ((${#wanted[@]})); then
  echo "node-deps: installing ${wanted[*]} into $dir" >&2
  mkdir -p "$dir"
  [[ -f $dir/package.json ]] || echo '{"private": true}' >"$dir/package.json"
  npm install --prefix "$dir" --save-exact --no-audit --no-fund --loglevel=error "${wanted[@]}" >&2
fi
echo "$dir/node_modules"
