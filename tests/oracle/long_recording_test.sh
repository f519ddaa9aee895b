#!/usr/bin/env bash
# Six hours of sparse MP3 audio, cut before and after the 24-bit wrap of the
# Timestamp field (4:39:37.216): ffprobe must read each slide's duration as
# the span of its own tags. Usage: long_recording_test.sh SLIDECUT MAKE_TEST_RECORDING
source "$(dirname "$0")/lib.sh" "$1"
make_recording=$2

"$make_recording" "$work/rec.flv" six_hours
printf '01:00:00:000\n04:30:00:000\n04:45:00:000\n05:30:00:000\n' >"$work/rec.cue"
"$slidecut" "$work/rec.flv" "$work/rec.cue" >/dev/null || fail "slidecut failed"

# Two 26 ms frames every 20 s from 10 s on: each slide runs from the first
# frame after its cue point to the end of the last one before the next.
expected=(3580.052 12580.052 880.052 2680.052 1780.052)
[ "$(ls "$work"/rec_*.flv | wc -l)" -eq ${#expected[@]} ] || fail "$(ls "$work"/rec_*.flv | wc -l) slides, not ${#expected[@]}"
for n in "${!expected[@]}"; do
  slide="$work/rec_$n.flv"
  [ -e "$slide" ] || { fail "rec_$n.flv missing"; continue; }
  got=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$slide")
  awk -v g="$got" -v e="${expected[$n]}" 'BEGIN { exit !(g > e - 0.03 && g < e + 0.03) }' ||
    fail "rec_$n.flv: ffprobe reads $got s, the slide spans ${expected[$n]} s"
  errors=$(decode_errors "$slide")
  [ -z "$errors" ] || fail "rec_$n.flv decode: $(echo "$errors" | head -n 2)"
  echo "rec_$n.flv: $got s"
done
finish
