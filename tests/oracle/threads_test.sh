#!/usr/bin/env bash
# The slides are the same whatever the threads do: many cuts between
# keyframes (new starts made on worker threads, ahead of the walk), cuts
# just before keyframes, two at one time (a slide without a tag), and a
# start refused with a warning in between; run on every processor and
# pinned to one (taskset -c 0, where the walk makes each start itself), in
# both modes, the slide files, standard output and warnings must be equal,
# byte for byte and in order. Usage: threads_test.sh SLIDECUT EDIT_RECORDING
source "$(dirname "$0")/lib.sh" "$1"
edit=$2
if [ "$(taskset -c 0-1 nproc 2>/dev/null || echo 1)" -lt 2 ]; then
  echo "SKIP: fewer than two processors to run on" >&2
  exit $SKIP
fi

for kind in h264_bframes hevc avc1_tracks flv1; do
  first_picture_recording "$edit" "$kind"
  if [ "$kind" = h264_bframes ]; then
    # Slide 6's start refused: the sequence header sent again before it is too large.
    "$edit" resend_huge_header "$rec" "$work/huge.flv" 13000 && mv "$work/huge.flv" "$rec"
  fi
  printf '%s\n' 00:00:01:300 00:00:03:700 00:00:06:100 00:00:09:950 00:00:11:400 00:00:11:400 00:00:13:800 \
    00:00:17:200 00:00:19:960 00:00:22:500 00:00:26:100 00:00:28:700 00:00:31:000 >"$work/rec.cue"
  for mode in combined separate; do
    for how in cores one; do
      out=$work/$kind-$mode-$how
      mkdir -p "$out"
      cp "$rec" "$work/rec.cue" "$out/"
      pin=(); [ "$how" = one ] && pin=(taskset -c 0)
      "${pin[@]}" "$slidecut" "$out/rec.flv" "$out/rec.cue" $([ "$mode" = separate ] && echo -s) \
        >"$out.stdout" 2>"$out.stderr" || fail "$kind $mode $how: slidecut failed: $(head -n 3 "$out.stderr")"
      sed -i "s|$out/||g" "$out.stdout" "$out.stderr"
    done
    cores=$work/$kind-$mode-cores one=$work/$kind-$mode-one
    diff -r "$cores" "$one" >/dev/null || fail "$kind $mode: slides differ: $(diff -rq "$cores" "$one" | head -n 3)"
    cmp -s "$cores.stdout" "$one.stdout" || fail "$kind $mode: standard output differs"
    cmp -s "$cores.stderr" "$one.stderr" || fail "$kind $mode: warnings differ: $(diff "$cores.stderr" "$one.stderr" | head -n 4)"
    grep -q "cannot be encoded again" "$cores.stderr" || [ "$kind" != h264_bframes ] ||
      fail "$kind $mode: no warning of the refused start"
    echo "$kind $mode: $(ls "$cores" | grep -c '^rec_') slide files, $(grep -c . "$cores.stderr") warnings, the same on one processor"
  done
  rm -rf "${work:?}"/*
done
finish
