#!/usr/bin/env bash
# Every .flv slide describes itself: cut a real recording of one kind in both
# modes and check each slide with flvmeta --check (a validator written by
# others) and with ffprobe and ffmpeg as players see it.
# Usage: flvmeta_check_test.sh SLIDECUT KIND
source "$(dirname "$0")/lib.sh" "$1"
kind=$2
for tool in flvmeta yamdi; do
  if ! command -v $tool >/dev/null; then
    [ "${CI:-}" = true ] && { echo "FAIL: $tool is required under CI (Debian package $tool)" >&2; exit 1; }
    echo "SKIP: $tool not found; install Debian's $tool package to run this test" >&2
    exit $SKIP
  fi
done

rec="$work/rec.flv"
make_recording "$kind" "$rec"
printf '00:00:03:000\n6.5\n00:00:09:250\n' >"$work/rec.cue"

# Warnings the cut itself implies (doc/metadata.md): a
# separate-mode .flv whose header, as read, announces audio; an audio-only
# slide without video; AAC whose real rate or channels its header bits
# cannot say.
allowed='W11053|W11006|W60079|W80062: (audiosamplerate should be 44100|stereo should be true)'

# How long a slide plays: it starts at 0, and ends where its last packet
# does, in seconds; a packet of unknown duration lasts as long as the step
# before it in its stream.
content() {
  ffprobe -v error -show_entries packet=stream_index,pts_time,duration_time -of csv=p=0 "$1" |
    awk -F, '{ d = $3 == "N/A" ? $2 - prev[$1] : $3; prev[$1] = $2; if ($2 + d > end) end = $2 + d } END { print end }'
}

for mode in combined separate; do
  cut_in "$mode"
  for slide in "$work/$mode"/rec_*.flv; do
    [ -e "$slide" ] || continue
    name="$mode $(basename "$slide")"
    report=$(flvmeta --check "$slide" || true)
    summary=$(tail -n 1 <<<"$report")
    [[ "$summary" == "0 error(s),"* ]] || fail "$name: flvmeta: $(grep -m 2 error <<<"$report")"
    unexpected=$(grep -E 'warning|error' <<<"$report" | grep -v -E "$allowed|error\\(s\\)" || true)
    [ -z "$unexpected" ] || fail "$name: flvmeta: $unexpected"
    # ffprobe takes the duration from the slide's onMetaData.
    duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$slide")
    span=$(content "$slide")
    # Within one frame: 40 ms of video at 25 fps.
    awk -v d="$duration" -v s="$span" 'BEGIN { exit !(d - s <= 0.04 && s - d <= 0.04) }' ||
      fail "$name: ffprobe reads $duration s, its packets end at $span s"
    errors=$(ffmpeg -nostdin -v error -ss "$(awk -v d="$duration" 'BEGIN { print d / 2 }')" -i "$slide" -f null - 2>&1)
    [ -z "$errors" ] || fail "$name: seeking to the middle: $(head -n 2 <<<"$errors")"
    echo "$name: $summary; ffprobe $duration s, packets end at $span s"
  done
done
finish
