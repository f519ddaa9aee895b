#!/usr/bin/env bash
# The source's layers point one way: each folder under src/ says in its
# README which folders it uses ("Uses: a, b"), every include of another
# folder's header must be one of those, and no folder uses itself through
# others. Usage: layers_test.sh SOURCE_DIR
set -euo pipefail
src=$1/src
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

declare -A uses
for dir in "$src"/*/; do
  layer=$(basename "$dir")
  line=$(grep -m1 '^Uses:' "$dir/README.md" 2>/dev/null || true)
  [ -n "$line" ] || { fail "src/$layer has no README.md with a Uses: line"; continue; }
  uses[$layer]=$(echo "${line#Uses:}" | tr ',.' '  ')
done

for layer in "${!uses[@]}"; do
  for file in "$src/$layer"/*.h "$src/$layer"/*.cpp; do
    [ -e "$file" ] || continue
    while IFS= read -r used; do
      [ "$used" = "$layer" ] && continue
      [[ " ${uses[$layer]} " == *" $used "* ]] ||
        fail "src/$layer/$(basename "$file") includes $used/, which src/$layer/README.md does not list"
    done < <(sed -n 's|^#include "\([a-z_]*\)/.*|\1|p' "$file" | sort -u)
  done
done

# The uses, followed from each folder, never come back to it.
reaches() { # FROM TARGET SEEN
  local next
  for next in ${uses[$1]:-}; do
    [ "$next" = "$2" ] && return 0
    [[ " $3 " == *" $next "* ]] && continue
    reaches "$next" "$2" "$3 $next" && return 0
  done
  return 1
}
for layer in "${!uses[@]}"; do
  ! reaches "$layer" "$layer" "" || fail "src/$layer uses itself through the folders it uses"
done

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "${#uses[@]} layers; every include points one way"
