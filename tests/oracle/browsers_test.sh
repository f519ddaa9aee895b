#!/usr/bin/env bash
# Every slide plays in the browsers, to its end, without a media or player
# error: headless Chromium with flv.js and with mpegts.js, and Firefox ESR
# with flv.js. The recordings: H.264 baseline whose slide 3 starts one
# frame before a keyframe; H.264 with B-frames whose audio starts 3 s late;
# and one cut at equal and close cue times (7.3 and 7.9 both read as 7 s;
# 15.300 and 15.310, closer than a frame), whose slides in between get no
# file. Each slide holds the recording's frames between its cue times.
# (A slide of one frame is not played: the web players hold back the last
# frame of what they have read until the next comes.)
# Usage: browsers_test.sh SLIDECUT EDIT_RECORDING
source "$(dirname "$0")/lib.sh" "$1"
edit=$2
need_web_player flv.js
firefox=$(command -v firefox-esr || true)
if [ -z "$firefox" ] || [ ! -d "$web/node_modules/puppeteer-core" ]; then
  [ "${CI:-}" = true ] && { echo "FAIL: Firefox ESR and puppeteer-core are required under CI" >&2; exit 1; }
  echo "SKIP: Firefox ESR or puppeteer-core not found (Debian firefox-esr; npm install --prefix $web)" >&2
  exit $SKIP
fi

# frames FILE FROM TO: the recording's packets, video and audio, with
# timestamps in FROM..TO ms (a slide's range); frames FILE: all of a file's.
# (ffprobe reads no .mp3 file of a single frame: that one counts 1.)
frames() {
  local times
  times=$(ffprobe -v error -show_entries packet=dts_time -of csv=p=0 "$1" 2>/dev/null) || { echo 1; return; }
  awk -v a="${2:--1}" -v b="${3:-999999999}" '$1 != "" { t = int($1 * 1000 + 0.5); if (t > a && t <= b) n++ }
                                              END { print n + 0 }' <<<"$times"
}

# check NAME CUE_MS...: cuts $rec in both modes at the cue file already
# written and plays every slide.
check() {
  local name=$1 cues
  shift
  cues=("$@")
  for mode in combined separate; do
    rm -rf "${work:?}/$mode" "$work/$mode.err"
    cut_in "$mode"
    slides=()
    for ((n = 0; n <= ${#cues[@]}; n++)); do
      from=$([ "$n" -gt 0 ] && echo "${cues[$((n - 1))]}" || echo -1)
      to=${cues[$n]:-999999999}
      slide=$work/$mode/rec_$n.flv
      expected=$(frames "$rec" "$from" "$to")
      held=0
      [ -e "$slide" ] && held=$(frames "$slide")
      for audio in "$work/$mode/rec_$n".{mp3,aac}; do
        [ -e "$audio" ] && held=$((held + $(frames "$audio")))
      done
      [ "$held" -eq "$expected" ] || fail "$name $mode rec_$n: $held frames, the recording has $expected in its range"
      echo "$name $mode rec_$n: $held frames, the recording $expected in its range"
      [ -e "$slide" ] && [ "$(frames "$slide")" -gt 1 ] && slides+=("rec_$n.flv")
    done
    for player in "chromium flv.js" "chromium mpegts.js" "firefox flv.js"; do
      read -r browser library <<<"$player"
      [ "$mode" = separate ] && [ "$player" != "chromium flv.js" ] && continue
      path=$([ "$browser" = firefox ] && echo "$firefox" || echo "$chromium")
      PLAYER=$library THROUGH=1 timeout 600 node "$web/plays.js" "$path" "$work/$mode" "${slides[@]}" \
        >"$work/plays.out" 2>"$work/plays.err" || fail "$name $mode $player: the run failed: $(head -c 300 "$work/plays.err")"
      while read -r slide ok rest; do
        [ "$ok" = ok=1 ] || fail "$name $mode $player $slide: $rest"
        echo "$name $mode $player $slide: $ok $rest"
      done <"$work/plays.out"
      [ "$(wc -l <"$work/plays.out")" -eq "${#slides[@]}" ] || fail "$name $mode $player: not every slide was played"
    done
  done
  rm -rf "${work:?}"/*
}

rec=$work/rec.flv
ffmpeg -nostdin -v error -f lavfi -i mandelbrot=size=320x240:rate=25 -f lavfi -i sine=frequency=300:sample_rate=22050 \
  -t 40 -c:v libx264 -profile:v baseline -pix_fmt yuv420p -g 250 -keyint_min 250 -sc_threshold 0 \
  -c:a libmp3lame -b:a 32k -ar 22050 -ac 1 "$rec"
echo "00:00:00:001 5 00:00:10:000 00:00:12:250" >"$work/rec.cue"
check baseline 1 5000 10000 12250

ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=320x240:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 -t 30 \
  -filter_complex "[1:a]atrim=duration=27,asetpts=PTS-STARTPTS+3/TB[a]" -map 0:v -map "[a]" -c:v libx264 \
  -pix_fmt yuv420p -g 50 -c:a libmp3lame -b:a 64k "$rec"
echo "00:00:00:001 4.5" >"$work/rec.cue"
check late_audio 1 4000

first_picture_recording "$edit" h264_bframes
echo "7.3 7.9 00:00:15:300 00:00:15:310 23.7" >"$work/rec.cue"
check close_cues 7000 7000 15300 15310 23000
finish
