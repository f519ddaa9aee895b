#!/usr/bin/env bash
# Cross-builds slidecut.exe with mingw-w64, runs it under wine on the bundled
# sample and on a test-built recording in both modes, with Windows paths
# (drive letter, backslashes, a folder named x.flv), and checks that its
# slide files, exit statuses and standard output are those of a Linux build
# without the codec library, built here (SLIDECUT names the tested build's
# binary, and is unused). Usage: same_slides_test.sh SLIDECUT MAKE_TEST_RECORDING SOURCE_DIR WORK_DIR
set -euo pipefail
slidecut=$1 make_recording=$2 source=$3 work=$4

source "$(dirname "$0")/lib.sh"
need_windows_tools

mkdir -p "$work"
work=$(cd "$work" && pwd) # Windows paths are made from absolute ones
cmake -S "$source" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DSLIDECUT_TESTS=OFF -DSLIDECUT_WERROR=ON >/dev/null
cmake --build "$work/build" --target slidecut -j 2 >/dev/null
exe="$work/build/slidecut.exe"
# The Windows build has no codec library, so it is compared with a Linux
# build without one: slides cut between keyframes start as cut in both.
cmake -S "$source" -B "$work/build-linux" -DCMAKE_BUILD_TYPE=Release -DSLIDECUT_TESTS=OFF -DSLIDECUT_WERROR=ON \
  -DSLIDECUT_REENCODE=OFF >/dev/null
cmake --build "$work/build-linux" --target slidecut -j 2 >/dev/null
slidecut="$work/build-linux/slidecut"

export WINEPREFIX="$work/prefix" WINEDEBUG=-all
"$wine" cmd /c exit >/dev/null 2>&1 || true # the first start sets up the prefix

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
winpath() { printf 'Z:%s' "${1//\//\\}"; }

runs="$work/runs"
rm -rf "$runs"
"$make_recording" "$work/test.flv"
printf '00:00:02:500\n5\n00:00:07:250\n' >"$work/test.cue"

# Runs both builds on one case in folders of their own and compares; with
# EARLIER_CUE, each first cuts there with it, leaving slides to rewrite.
compare() { # NAME RECORDING CUE [SWITCH] [EARLIER_CUE]
  local name=$1 rec=$2 cue=$3 switch=${4:-} earlier=${5:-}
  local lin="$runs/$name/linux/x.flv" win="$runs/$name/windows/x.flv"
  mkdir -p "$lin" "$win"
  for d in "$lin" "$win"; do cp "$rec" "$d/rec.flv"; cp "$cue" "$d/rec.cue"; done
  if [ -n "$earlier" ]; then
    "$slidecut" "$lin/rec.flv" "$earlier" $switch >/dev/null 2>&1 || true
    "$wine" "$exe" "$(winpath "$win/rec.flv")" "$(winpath "$earlier")" $switch >/dev/null 2>&1 || true
  fi
  local ls=0 ws=0
  "$slidecut" "$lin/rec.flv" "$lin/rec.cue" $switch >"$runs/$name/linux.out" 2>/dev/null || ls=$?
  "$wine" "$exe" "$(winpath "$win/rec.flv")" "$(winpath "$win/rec.cue")" $switch >"$runs/$name/windows.out" 2>/dev/null || ws=$?
  [ "$ls" -eq "$ws" ] || fail "$name: exit status $ws under wine, $ls on Linux"
  # Same text but for the paths and the console's CRLF line ends.
  sed -e 's/\r$//' -e "s|$(winpath "$win" | sed 's/\\/\\\\/g')\\\\|$lin/|g" "$runs/$name/windows.out" >"$runs/$name/windows.norm"
  cmp -s "$runs/$name/linux.out" "$runs/$name/windows.norm" || fail "$name: standard output differs: $(diff "$runs/$name/linux.out" "$runs/$name/windows.norm" | head -n 4)"
  local lf wf
  lf=$(cd "$lin" && ls rec_* 2>/dev/null | tr '\n' ' ')
  wf=$(cd "$win" && ls rec_* 2>/dev/null | tr '\n' ' ')
  [ "$lf" = "$wf" ] || fail "$name: slide files differ: linux [$lf] windows [$wf]"
  [ -n "$lf" ] || fail "$name: no slide files"
  for f in $lf; do
    cmp -s "$lin/$f" "$win/$f" || fail "$name: $f differs"
  done
  echo "$name: exit $ls, $(echo $lf | wc -w) slide files identical"
}

compare sample_combined "$source/examples/talk.flv" "$source/examples/talk.cue"
compare sample_separate "$source/examples/talk.flv" "$source/examples/talk.cue" -s
compare test_combined "$work/test.flv" "$work/test.cue"
compare test_separate "$work/test.flv" "$work/test.cue" -s
printf '00:00:09:000\n' >"$work/longer.cue"
compare rewritten_shorter "$work/test.flv" "$work/test.cue" "" "$work/longer.cue"

# Exit statuses of failed runs.
status_of() { local s=0; "$@" >/dev/null 2>&1 || s=$?; echo $s; }
for args in "" "$work/missing.flv $work/test.cue"; do
  ls=$(status_of "$slidecut" $args)
  ws=0
  if [ -n "$args" ]; then
    ws=$(status_of "$wine" "$exe" "$(winpath "$work/missing.flv")" "$(winpath "$work/test.cue")")
  else
    ws=$(status_of "$wine" "$exe")
  fi
  [ "$ls" -eq "$ws" ] || fail "arguments [$args]: exit status $ws under wine, $ls on Linux"
  echo "arguments [${args:-none}]: exit $ls on both"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
