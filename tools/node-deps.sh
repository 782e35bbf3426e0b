#!/usr/bin/env bash
# Installs the npm packages the browser tests need, at pinned versions,
# outside the source tree: into ${ZW_NODE_DIR:-/opt/zahlwerk-node}, where
# the tests find them (require from that folder). Does nothing when they are
# there at those versions already. Needs node and npm.
#
# usage: tools/node-deps.sh        (prints the folder)
set -euo pipefail

dir=${ZW_NODE_DIR:-/opt/zahlwerk-node}
# The DevTools protocol client that drives Debian's chromium (no browser of
# its own is downloaded).
packages=(puppeteer-core@24.43.1)

have() {  # name@version
  local name=${1%@*} version=${1##*@}
  [[ -f $dir/node_modules/$name/package.json ]] &&
    [[ $(node -p "require('$dir/node_modules/$name/package.json').version" 2>/dev/null) == "$version" ]]
}

todo=()
for p in "${packages[@]}"; do have "$p" || todo+=("$p"); done
if ((${#todo[@]})); then
  command -v npm >/dev/null || { echo "node-deps: npm is missing (install the npm package)" >&2; exit 1; }
  mkdir -p "$dir"
  [[ -f $dir/package.json ]] || printf '{ "private": true }\n' >"$dir/package.json"
  echo "node-deps: installing ${todo[*]} into $dir" >&2
  npm install --prefix "$dir" --no-audit --no-fund --save-exact --loglevel=error "${todo[@]}" >&2
fi
echo "$dir"
