#!/usr/bin/env bash
# Enhanced FLV in a web page: AV1 (an av1C SequenceStart, extended coded
# frames) with Opus (its OpusHead SequenceStart), built here from the IVF
# and Ogg files ffmpeg writes, cut just before keyframes in combined mode
# and played in headless Chromium through mpegts.js, which reads the
# extended headers. Every slide must play a second without an error, its
# video frames presented and its audio decoded: slides after the first need
# the carried SequenceStarts for that. (mpegts.js 1.8.2 stops on the
# MultichannelConfig packet, so this recording has none.)
# Usage: mpegts_test.sh SLIDECUT EDIT_RECORDING
source "$(dirname "$0")/lib.sh" "$1"
edit=$2
need_web_player mpegts.js

ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=320x240:rate=25:duration=12" -c:v libaom-av1 -cpu-used 8 -g 50 \
  -b:v 300k -f ivf "$work/video.ivf"
ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=12" -ac 2 -c:a libopus \
  "$work/audio.opus"
rec="$work/rec.flv"
"$edit" av1_opus "$work/video.ivf" "$work/audio.opus" "$rec" || fail "the recording cannot be built"
printf '00:00:03:990\n00:00:07:990\n' >"$work/rec.cue" # just before the keyframes at 4 and 8 s
cut_in combined

timeout 300 node "$web/plays.js" "$chromium" "$work/combined" rec_0.flv rec_1.flv rec_2.flv >"$work/plays.out" \
  2>"$work/plays.err" || fail "the browser run failed: $(head -n 3 "$work/plays.err")"
while read -r slide ok frames audio error; do
  [ "${ok#ok=}" = 1 ] && [ "${frames#frames=}" -ge 10 ] && [ "${audio#audio=}" -gt 0 ] ||
    fail "$slide: $ok $frames $audio $error"
  echo "av1_opus combined $slide: $ok, $frames presented, $audio of audio decoded, $error"
done <"$work/plays.out"
[ "$(wc -l <"$work/plays.out")" -eq 3 ] || fail "$(wc -l <"$work/plays.out") results for 3 slides"
finish
