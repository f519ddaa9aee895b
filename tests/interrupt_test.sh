#!/usr/bin/env bash
# Runs stopped at many points, by SIGINT and by SIGKILL, in both modes, over
# the slides of an earlier run with other cue points: afterwards every file
# under a slide's name must be that slide of a complete run of the old cue
# file or of the new one, byte for byte. After SIGINT no temporary file may
# remain and the status must be 130. strace delivers each signal at the
# entry of a chosen read, write, open or rename system call, so the points
# are exact and spread over the whole run (a slide that fits the read buffer
# takes few reads, but every slide file is opened and renamed). Usage: interrupt_test.sh SLIDECUT MAKE_TEST_RECORDING
set -euo pipefail
slidecut=$1 make_recording=$2
points=${POINTS:-60}

if ! command -v strace >/dev/null || ! strace -o /dev/null true 2>/dev/null; then
  if [ "${CI:-}" = true ]; then
    echo "FAIL: strace is required under CI (Debian package strace)" >&2
    exit 1
  fi
  echo "SKIP: strace not found or not allowed to trace; install Debian's strace to run this test" >&2
  exit 77
fi

# LeakSanitizer cannot run under a tracer; the sanitizers' other checks can.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

work=$(mktemp -d "${TMPDIR:-/tmp}/slidecut-interrupt.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

"$make_recording" "$work/rec.flv" minute
printf '8\n16\n24\n32\n40\n48\n' >"$work/old.cue" # seven slides
printf '12.5\n00:00:30:000\n45\n' >"$work/new.cue"  # four, cut elsewhere

# A complete run of CUE in MODE into a folder of its own: the reference.
reference() { # FOLDER CUE MODE [SEED_FOLDER]
  mkdir -p "$1"
  [ -z "${4:-}" ] || cp "$4"/rec_* "$1/"
  cp "$work/rec.flv" "$1/"
  "$slidecut" "$1/rec.flv" "$2" $([ "$3" = separate ] && echo -s) >/dev/null 2>&1 || fail "reference run in $1 failed"
}

for mode in combined separate; do
  switch=()
  [ "$mode" = separate ] && switch=(-s)
  reference "$work/$mode-old" "$work/old.cue" "$mode"
  reference "$work/$mode-new" "$work/new.cue" "$mode" "$work/$mode-old"
  # The read, write, open and rename calls of a complete run over the old
  # slides, in order, each as its name and its count among calls of that
  # name (strace counts each system call apart).
  reference "$work/$mode-count" "$work/old.cue" "$mode"
  strace -o "$work/calls" -qq -e trace=read,pread64,write,openat,rename "$slidecut" "$work/$mode-count/rec.flv" "$work/new.cue" \
    "${switch[@]}" >/dev/null 2>&1 || true
  mapfile -t calls < <(sed -n 's/^\([a-z0-9]*\)(.*/\1/p' "$work/calls" | awk '{ print $1 ":" ++n[$1] }')
  reads=${#calls[@]}
  [ "$reads" -gt "$points" ] || { fail "$mode: only $reads calls to stop at"; continue; }
  for signal in INT KILL; do
    stopped_slides=""
    for ((i = 0; i < points; i++)); do
      at=${calls[$((i * (reads - 1) / (points - 1)))]}
      run="$work/run"
      rm -rf "$run" && mkdir "$run"
      cp "$work/$mode-old"/rec_* "$work/rec.flv" "$run/"
      # sh waits for it, so that bash does not report a job killed.
      sh -c '"$@" >/dev/null 2>"$0.err"; echo $? >"$0"' "$work/status" \
        strace -o /dev/null -qq -e trace=read,pread64,write,openat,rename -e inject="${at%:*}":signal="$signal":when="${at#*:}" \
        "$slidecut" "$run/rec.flv" "$work/new.cue" "${switch[@]}"
      status=$(cat "$work/status")
      where="$mode SIG$signal at call $at ($i of $points points over $reads calls)"
      for f in "$run"/rec_*; do
        name=$(basename "$f")
        case "$name" in *.part) continue ;; esac
        cmp -s "$f" "$work/$mode-old/$name" || cmp -s "$f" "$work/$mode-new/$name" ||
          fail "$where: $name is neither the old run's nor the new run's"
      done
      parts=$(find "$run" -name '*.part' | wc -l)
      if [ "$signal" = INT ]; then
        # A signal after the last tag finds a run that is completing.
        [ "$status" -eq 130 ] || [ "$status" -eq 0 ] || fail "$where: exit status $status, not 130"
        [ "$parts" -eq 0 ] || fail "$where: $parts temporary files left"
        slide=$(sed -n 's/.*stopped by SIGINT at slide \([0-9]*\), byte offset [0-9]*;.*/\1/p' "$work/status.err")
        [ "$status" -ne 130 ] || [ -n "$slide" ] || [ ! -s "$work/status.err" ] ||
          fail "$where: no line saying where it stopped: $(head -n 1 "$work/status.err")"
        stopped_slides+="${slide:-} "
      else
        [ "$status" -eq 137 ] || fail "$where: exit status $status, not 137"
        [ "$parts" -le $((${#switch[@]} + 1)) ] || fail "$where: $parts temporary files left"
      fi
    done
    if [ "$signal" = INT ]; then
      distinct=$(tr ' ' '\n' <<<"$stopped_slides" | sed '/^$/d' | sort -u | wc -l)
      [ "$distinct" -ge 4 ] || fail "$mode: the stops fell in $distinct slides only: $stopped_slides"
      echo "$mode SIGINT: $points stops over $reads calls, in slides $(tr ' ' '\n' <<<"$stopped_slides" | sed '/^$/d' | sort -un | tr '\n' ' ')"
    else
      echo "$mode SIGKILL: $points stops over $reads calls"
    fi
  done
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
