#!/usr/bin/env bash
# Slides of recordings whose keyframes are not all clean starts (open GOPs,
# CRA pictures with leading pictures, intra-refresh recovery points, hidden
# frames), and the closed-GOP control of each: cut between keyframes, right
# before one and right after one, in both modes. Every slide must decode
# without a message, hold every frame of its range and show each within
# 35 dB of the recording's own picture at its time.
# Usage: clean_start_test.sh SLIDECUT EDIT_RECORDING KIND
source "$(dirname "$0")/lib.sh" "$1"
edit=$2 kind=$3

first_picture_recording "$edit" "$kind"
# between the keyframes at 0 and 10 s, 10 ms before the one at 20 s, 10 ms
# after the one at 30 s
cues=(7500 19990 30010)
printf '00:00:%02d:%03d\n' 7 500 19 990 30 010 >"$work/rec.cue"
for mode in combined separate; do cut_in "$mode"; done
recording_pictures

# every_frame SLIDE FROM TO: the slide's pictures in presentation order
# against the recording's pictures of the frames in FROM..TO; sets shown,
# expected and lowest (the lowest PSNR in dB).
every_frame() {
  awk -v a="$2" -v b="$3" '$1 > a && $1 <= b { print $2 }' "$work/rec.packets" | sort -n >"$work/range.pts"
  expected=$(wc -l <"$work/range.pts")
  awk 'NR == FNR { index_of[$1] = FNR - 1; next } { print index_of[$1] }' "$work/rec.pts" "$work/range.pts" |
    while read -r index; do
      dd if="$work/rec.yuv" bs=$frame_bytes skip="$index" count=1 status=none
    done >"$work/own.yuv"
  ffmpeg -nostdin -y -v error -i "$1" -fps_mode passthrough -f rawvideo -pix_fmt yuv420p "$work/slide.yuv"
  shown=$(($(stat -c %s "$work/slide.yuv") / frame_bytes))
  lowest=0
  [ "$shown" -eq "$expected" ] || return 0
  ffmpeg -nostdin -v error -f rawvideo -s $size -pix_fmt yuv420p -i "$work/slide.yuv" \
    -f rawvideo -s $size -pix_fmt yuv420p -i "$work/own.yuv" -lavfi "psnr=stats_file=$work/psnr.log" -f null -
  lowest=$(sed -n 's/.*psnr_avg:\([0-9.inf]*\).*/\1/p' "$work/psnr.log" | sed 's/inf/99/' | sort -g | head -n 1)
}

for mode in combined separate; do
  for ((n = 0; n <= ${#cues[@]}; n++)); do
    from=$([ "$n" -gt 0 ] && echo "${cues[$((n - 1))]}" || echo -1)
    to=${cues[$n]:-999999999}
    slide="$work/$mode/rec_$n.flv"
    [ -e "$slide" ] || { fail "$mode rec_$n.flv: not written"; continue; }
    readable_slide "$mode" "$n" 0
    errors=$(ffmpeg -nostdin -v error -i "$slide" -f null - 2>&1)
    [ -z "$errors" ] || fail "$mode rec_$n.flv decode: $(echo "$errors" | head -n 2)"
    every_frame "$slide" "$from" "$to"
    [ "$shown" -eq "$expected" ] || fail "$mode rec_$n.flv: $shown frames shown, the recording has $expected in its range"
    awk -v l="$lowest" 'BEGIN { exit !(l >= 35) }' || fail "$mode rec_$n.flv: a frame $lowest dB from its own picture"
    echo "$kind $mode rec_$n.flv: $shown of $expected frames, lowest $lowest dB"
  done
done
grep -h warning "$work"/*.err && fail "slidecut warned"
finish
