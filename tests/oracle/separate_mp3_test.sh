#!/usr/bin/env bash
# The bundled sample in separate mode: every .mp3 slide decodes cleanly and
# the slides' audio adds up to the recording's within one MP3 frame a slide.
source "$(dirname "$0")/lib.sh" "$1"
examples=$2

cp "$examples/talk.flv" "$examples/talk.cue" "$work/"
"$slidecut" "$work/talk.flv" "$work/talk.cue" -s >/dev/null

sample_rate=$(probe "$work/talk.flv" a:0 sample_rate)
frame_seconds=$(awk -v sr="$sample_rate" 'BEGIN { print 1152 / sr }')
# FLV timestamps are whole milliseconds, so the recording's audio duration is
# its MP3 frames (one a packet) times the frame duration.
packets=$(ffprobe -v error -count_packets -select_streams a:0 -show_entries stream=nb_read_packets -of csv=p=0 "$work/talk.flv")
recording=$(awk -v p="$packets" -v d="$frame_seconds" 'BEGIN { printf "%.6f", p * d }')

total=0
slides=0
for mp3 in "$work"/talk_*.mp3; do
  slides=$((slides + 1))
  errors=$(decode_errors "$mp3")
  [ -z "$errors" ] || fail "$(basename "$mp3") does not decode cleanly: $errors"
  frames=$(ffprobe -v error -count_frames -select_streams a:0 -show_entries stream=nb_read_frames -of csv=p=0 "$mp3")
  total=$(awk -v t="$total" -v f="$frames" -v d="$frame_seconds" 'BEGIN { printf "%.6f", t + f * d }')
done

[ "$slides" -eq 5 ] || fail "expected 5 .mp3 slides, found $slides"
echo "recording audio ${recording}s, slides' audio ${total}s over $slides slides"
awk -v r="$recording" -v t="$total" -v n="$slides" -v d="$frame_seconds" \
  'BEGIN { diff = r - t; if (diff < 0) diff = -diff; exit !(diff <= n * d) }' ||
  fail "audio durations differ by more than one frame per slide"
finish
