#!/usr/bin/env bash
# From a fresh clone: installs what building slidecut and its new starts
# need (as root, or through sudo), builds the tool alone (build/release),
# and cuts the bundled sample into build/sample/. Where nothing can be
# installed, it says in one line what to install and builds the tool
# without the codec library all the same.
set -euo pipefail
cd "$(dirname "$0")/.."
missing=$(scripts/install-deps.sh --missing build reencode)
if [ -n "$missing" ]; then
  if [ "$(id -u)" -eq 0 ]; then
    scripts/install-deps.sh build reencode
  elif command -v sudo >/dev/null && sudo scripts/install-deps.sh build reencode; then
    :
  else
    echo "first-run.sh: cannot install as root or through sudo; install these for a tool that encodes new starts: $missing" >&2
  fi
fi
for tool in cmake c++; do
  command -v "$tool" >/dev/null || { echo "first-run.sh: $tool is needed to build slidecut (Debian: cmake g++)" >&2; exit 1; }
done
cmake --preset release >/dev/null
cmake --build --preset release
mkdir -p build/sample
cp examples/talk.flv examples/talk.cue build/sample/
build/release/slidecut build/sample/talk.flv build/sample/talk.cue
echo
