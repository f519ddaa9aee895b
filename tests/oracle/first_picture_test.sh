#!/usr/bin/env bash
# Every slide shows its own first picture at its first moment: a recording
# with a keyframe every 10 s, cut between keyframes in both modes. Each .flv
# slide must decode without a message; decoded at a constant frame rate, as
# conversions and players do, its frame 0 must be the recording's picture
# at the slide's first frame (PSNR at least 35 dB, and 10 dB closer than the
# picture before it); and it must hold as many frames as the recording has
# in its range. With several video tracks, each is checked against its own
# pictures. Usage: first_picture_test.sh SLIDECUT EDIT_RECORDING KIND
source "$(dirname "$0")/lib.sh" "$1"
edit=$2 kind=$3

first_picture_recording "$edit" "$kind"

tracks=0
[ "$kind" = avc1_tracks ] && tracks="0 1"
for mode in combined separate; do cut_in "$mode"; done
for track in $tracks; do
  [ "$track" -gt 0 ] && reference="$work/legacy_$track.flv"
  recording_pictures
  for mode in combined separate; do
  for ((n = 0; n <= ${#cues[@]}; n++)); do
    from=$([ "$n" -gt 0 ] && echo "${cues[$((n - 1))]}" || echo -1)
    to=${cues[$n]:-999999999}
    slide="$work/$mode/rec_$n.flv"
    [ ! -e "$slide" ] || readable_slide "$mode" "$n" "$track"
    expected=$(awk -v a="$from" -v b="$to" '$1 > a && $1 <= b' "$work/rec.packets" | wc -l)
    if [ "$expected" -eq 0 ]; then
      # A slide without a frame gets no file, and a warning says so.
      [ ! -e "$slide" ] || fail "$mode rec_$n.flv: written for a slide without a frame"
      grep -q "slide $n holds no audio or video frame" "$work/$mode.err" || fail "$mode: no warning for slide $n"
      echo "$kind $mode slide $n: no frame, no file, warned"
      continue
    fi
    errors=$(ffmpeg -nostdin -v error -i "$slide" -f null - 2>&1)
    [ -z "$errors" ] || fail "$mode rec_$n.flv decode: $(echo "$errors" | head -n 2)"
    frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$slide")
    [ "$frames" -eq "$expected" ] || fail "$mode rec_$n.flv: $frames frames, the recording has $expected in its range"
    first_picture "$slide" "$from" "$to" ||
      fail "$mode rec_$n.flv: frame 0 is $own dB from the recording's picture at $first_pts ms, $before dB from the one before"
    echo "$kind track $track $mode rec_$n.flv: $frames frames as in the recording, frame 0 $own dB from its own picture ($before dB from the one before)"
  done
  done
done
finish
