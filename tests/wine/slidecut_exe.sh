#!/usr/bin/env bash
# Runs the Windows package's slidecut.exe under wine as if it were the
# Linux binary: absolute paths among the arguments become Windows paths
# (Z: and backslashes), and the console's CRLF line ends become LF again.
# SLIDECUT_EXE names the .exe, WINEPREFIX the prefix it runs in.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
args=()
for a in "$@"; do
  if [[ $a == /* ]]; then a="Z:${a//\//\\}"; fi
  args+=("$a")
done
WINEDEBUG=-all "$wine" "$SLIDECUT_EXE" "${args[@]}" 2> >(sed -e 's/\r$//' >&2) | sed -e 's/\r$//'
exit "${PIPESTATUS[0]}"
