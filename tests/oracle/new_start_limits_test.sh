#!/usr/bin/env bash
# New starts on recordings that push them, each slide checked as a player
# would take it:
# - cut short inside a new start's range (a recording still being written):
#   the frames that are there are encoded again, and the slide shows its own
#   first picture;
# - a sequence header of nearly 16 MiB sent again before the cut: the new
#   one (the encoder's parameter sets added) would not fit a tag, so the
#   slide starts as cut, with a warning, and every tag of it reads;
# - a range past the bounds (4K, a keyframe 6 s on): refused before any
#   work, with a warning;
# - SIGINT while a 4K start is encoded: the run stops within a second or
#   two (the start alone takes several), status 130, no .part file left.
# Usage: new_start_limits_test.sh SLIDECUT EDIT_RECORDING
source "$(dirname "$0")/lib.sh" "$1"
edit=$2

# Cut short 18.5 s in, inside slide 2's range (15.3 s to the keyframe at 20 s).
first_picture_recording "$edit" h264_bframes
recording_pictures
position=$(ffprobe -v error -select_streams v -show_entries packet=pts_time,pos -of csv=p=0 "$rec" |
           awk -F, 'p == "" && $1 >= 18.5 { p = $2 } END { print p }')
head -c $((position + 100)) "$rec" >"$work/short.flv" && mv "$work/short.flv" "$rec"
cut_in combined
grep -q "ends inside the tag" "$work/combined.err" || fail "cut short: no warning of the tag cut off"
! grep -q "cannot be encoded again" "$work/combined.err" || fail "cut short: $(cat "$work/combined.err")"
first_picture "$work/combined/rec_2.flv" 15300 999999 ||
  fail "cut short: slide 2's frame 0 is $own dB from its own picture, $before dB from the one before"
echo "cut short: slide 2's frame 0 $own dB from its own picture ($before dB from the one before)"
rm -rf "${work:?}"/*

# A sequence header of all but 16 bytes of a tag's 16 MiB, sent again at 3 s.
first_picture_recording "$edit" h264_baseline
"$edit" resend_huge_header "$rec" "$work/huge.flv" 3000 && mv "$work/huge.flv" "$rec"
cut_in combined
grep -q "passes the 16 MiB a tag can hold" "$work/combined.err" || fail "huge header: $(cat "$work/combined.err")"
for slide in "$work"/combined/rec_*.flv; do
  errors=$(ffprobe -v error -show_packets "$slide" 2>&1 >/dev/null | grep -v "missing picture\|No start code\|Invalid data" || true)
  [ -z "$errors" ] || fail "huge header: $(basename "$slide"): $(echo "$errors" | head -n 2)"
done
echo "huge header: the new start refused with a warning, every slide's tags read"
rm -rf "${work:?}"/*

# 4K at 30 fps, keyframes at 0 and 4 s only: from 0 to 4 s, 995 Mpixels to
# decode (within the bound, some seconds of work); from 4 s on, 1.5 Gpixels.
rec="$work/rec.flv"
ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=3840x2160:rate=30:duration=9" -c:v libx264 -preset ultrafast \
  -g 1000 -sc_threshold 0 -force_key_frames 0,4 -pix_fmt yuv420p "$rec"
echo 5 >"$work/rec.cue"
cut_in combined
grep -q "more than the 1 Gpixel a start may" "$work/combined.err" || fail "bounds: $(cat "$work/combined.err")"
echo "bounds: a start of 1.5 Gpixels refused with a warning"

echo 1 >"$work/rec.cue"
mkdir "$work/stopped" && cp "$rec" "$work/rec.cue" "$work/stopped/"
"$slidecut" "$work/stopped/rec.flv" "$work/stopped/rec.cue" >/dev/null 2>"$work/stopped.err" &
pid=$!
sleep 1
sent=$(date +%s%N)
kill -INT "$pid"
status=0
wait "$pid" || status=$?
took=$((($(date +%s%N) - sent) / 1000000))
[ "$status" -eq 130 ] || fail "SIGINT: status $status, not 130"
[ "$took" -le 2000 ] || fail "SIGINT during a new start: the run ended $took ms after it"
! ls "$work"/stopped/*.part >/dev/null 2>&1 || fail "SIGINT: .part files left: $(ls "$work"/stopped/*.part)"
echo "SIGINT during a 4K new start: ended $took ms after it, status $status"
finish
