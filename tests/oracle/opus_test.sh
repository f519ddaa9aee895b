#!/usr/bin/env bash
# Opus behind the extended audio header, cut in separate mode: every slide's
# audio is an Ogg Opus .opus file that ffmpeg decodes without a message, and
# the samples decoded over all slides are the recording's: those its packets
# hold, less its pre-skip. Usage: opus_test.sh SLIDECUT EDIT_RECORDING
source "$(dirname "$0")/lib.sh" "$1"
edit=$2

ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=20" -ac 2 -c:a libopus -b:a 64k \
  "$work/source.opus"
read -r _ samples _ pre_skip < <("$edit" opus "$work/source.opus" "$work/rec.flv")
rec="$work/rec.flv"
printf '5\n00:00:12:500\n00:00:17:300\n' >"$work/rec.cue"
cut_in separate

total=0 slides=0
for n in 0 1 2 3; do
  opus="$work/separate/rec_$n.opus"
  [ -e "$opus" ] || { fail "no rec_$n.opus"; continue; }
  errors=$(ffmpeg -nostdin -v error -i "$opus" -f null - 2>&1)
  [ -z "$errors" ] || fail "rec_$n.opus decode: $(echo "$errors" | head -n 2)"
  decoded=$(($(ffmpeg -nostdin -v error -i "$opus" -f s16le -ac 1 - | wc -c) / 2))
  [ "$(probe "$opus" a:0 codec_name,sample_rate,channels)" = "opus,48000,2" ] ||
    fail "rec_$n.opus: $(probe "$opus" a:0 codec_name,sample_rate,channels)"
  total=$((total + decoded)) slides=$((slides + 1))
  echo "rec_$n.opus: $decoded samples"
done
ls "$work"/separate/rec_*.mp3 >/dev/null 2>&1 && fail "Opus in .mp3 slides: $(ls "$work"/separate/rec_*.mp3)"
[ -s "$work/separate.err" ] && fail "warnings: $(head -n 2 "$work/separate.err")"
[ "$total" -eq $((samples - pre_skip)) ] ||
  fail "$total samples decoded over the slides, the recording's packets hold $samples less a pre-skip of $pre_skip"
echo "$slides .opus slides decode cleanly, $total samples of the recording's $((samples - pre_skip))"
finish
