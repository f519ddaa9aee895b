#!/usr/bin/env bash
# What a web page shows: each .flv slide of an H.264 recording with B-frames,
# cut between keyframes in both modes, played in headless Chromium through
# flv.js. The first picture presented while playing and the still of the
# slide loaded without playing must be the slide's own first picture (the
# recording's, PSNR at least 35 dB and 10 dB closer than the picture before
# it), and the first three frames presented must be the slide's first three,
# none skipped. Usage: chrome_test.sh SLIDECUT EDIT_RECORDING
source "$(dirname "$0")/lib.sh" "$1"
edit=$2
need_web_player flv.js

first_picture_recording "$edit" h264_bframes
recording_pictures
# As the browser turns the pictures into RGB: BT.709, where the stream names none.
ffmpeg -nostdin -v error -i "$rec" -fps_mode passthrough -vf scale=in_color_matrix=bt709:flags=bilinear \
  -f rawvideo -pix_fmt rgba "$work/rec.rgba"

for mode in combined separate; do
  cut_in "$mode"
  slides=()
  for ((n = 1; n <= ${#cues[@]}; n++)); do
    to=${cues[$n]:-999999999}
    first_pts=$(awk -v a="${cues[$((n - 1))]}" -v b="$to" '$1 > a && $1 <= b { print $2 }' "$work/rec.packets" | sort -n | head -n 1)
    index=$(($(grep -n "^$first_pts\$" "$work/rec.pts" | head -n 1 | cut -d: -f1) - 1))
    slides+=("rec_$n.flv:$index")
  done
  timeout 300 node "$web/first_picture.js" "$chromium" "$work/$mode" 320 240 "$work/rec.rgba" "${slides[@]}" \
    >"$work/chrome.out" 2>"$work/chrome.err" || fail "$mode: the browser run failed: $(head -n 3 "$work/chrome.err")"
  while read -r slide first first_before still times dropped; do
    read -r first first_before still times <<<"${first#*=} ${first_before#*=} ${still#*=} ${times#*=}"
    awk -v a="$first" -v b="$first_before" 'BEGIN { exit !(a >= 35 && a >= b + 10) }' ||
      fail "$mode $slide: the first picture presented is $first dB from its own, $first_before dB from the one before"
    awk -v a="$still" 'BEGIN { exit !(a >= 35) }' || fail "$mode $slide: its still is $still dB from its own first picture"
    # The slide's own presentation times of its first three frames, from its first.
    own=$(ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 "$work/$mode/$slide" | grep . |
          sort -g | head -n 3 | awk 'NR == 1 { f = $1 } { printf "%s%d", (NR > 1 ? "," : ""), ($1 - f) * 1000 + 0.5 }')
    shown=$(tr "," "\n" <<<"$times" | head -n 3 | awk 'NR == 1 { f = $1 } { printf "%s%d", (NR > 1 ? "," : ""), $1 - f }')
    [ "$shown" = "$own" ] || fail "$mode $slide: frames presented at $shown ms from the first, the slide's are at $own"
    echo "h264_bframes $mode $slide: first picture $first dB ($first_before dB to the one before), still $still dB, first frames at $shown ms, $dropped"
  done <"$work/chrome.out"
  [ "$(wc -l <"$work/chrome.out")" -eq "${#slides[@]}" ] || fail "$mode: $(wc -l <"$work/chrome.out") results for ${#slides[@]} slides"
done
finish
