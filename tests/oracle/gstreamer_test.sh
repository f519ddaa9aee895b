#!/usr/bin/env bash
# What a GStreamer player shows: each .flv slide of a recording cut between
# keyframes (both modes) goes through flvdemux and decodebin (h264parse and
# avdec_h264, or avdec_flv) as a desktop player runs it. The picture a
# synchronised sink shows at 0.5 s and at 1 s of playback (the last buffer
# presented by then) must be the recording's at the slide's start plus that
# time, within one frame: a decoder that gave frames timestamps of its own
# would show other pictures there, and play behind the audio.
# Usage: gstreamer_test.sh SLIDECUT EDIT_RECORDING KIND
source "$(dirname "$0")/lib.sh" "$1"
edit=$2 kind=$3

if ! command -v gst-launch-1.0 >/dev/null || ! gst-inspect-1.0 flvdemux >/dev/null 2>&1 ||
   ! gst-inspect-1.0 avdec_h264 >/dev/null 2>&1 || ! gst-inspect-1.0 h264parse >/dev/null 2>&1; then
  if [ "${CI:-}" = true ]; then
    echo "FAIL: GStreamer is required under CI (Debian packages gstreamer1.0-tools gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-libav)" >&2
    exit 1
  fi
  echo "SKIP: GStreamer with flvdemux, h264parse and avdec_h264 not found (Debian packages gstreamer1.0-tools gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-libav)" >&2
  exit $SKIP
fi

first_picture_recording "$edit" "$kind"
recording_pictures

# The slide's pictures as GStreamer decodes them, one file each, and their
# presentation times in ms, in output order.
gst_frames() { # SLIDE FOLDER
  rm -rf "$2" && mkdir "$2"
  gst-launch-1.0 -v filesrc location="$1" ! flvdemux name=demux demux.video ! queue ! decodebin ! videoconvert ! \
    video/x-raw,format=I420 ! identity silent=false ! multifilesink location="$2/%05d.yuv" 2>&1 |
    sed -n 's/.*identity0:sink.*pts: \([0-9]*\):\([0-9]*\):\([0-9.]*\),.*/\1 \2 \3/p' |
    awk '{ printf "%d\n", ($1 * 3600 + $2 * 60 + $3) * 1000 + 0.5 }' >"$2/pts"
}

for mode in combined separate; do
  cut_in "$mode"
  for ((n = 1; n <= ${#cues[@]}; n++)); do
    slide="$work/$mode/rec_$n.flv"
    [ -e "$slide" ] || continue
    # The slide's start in the recording's time: its first video frame there
    # less its time in the slide.
    rec_first=$(awk -v a="${cues[$((n - 1))]}" '$1 > a { print $1; exit }' "$work/rec.packets")
    slide_first=$(ffprobe -v error -select_streams v -show_entries packet=dts_time -of csv=p=0 "$slide" | grep . |
                  head -n 1 | awk '{ printf "%d", $1 * 1000 + 0.5 }')
    start=$((rec_first - slide_first))
    gst_frames "$slide" "$work/gst"
    shown=""
    for t in 500 1000; do
      i=$(awk -v t="$t" '$1 <= t { i = NR } END { print i + 0 }' "$work/gst/pts")
      [ "$i" -gt 0 ] || { fail "$mode rec_$n.flv: no picture shown by $t ms"; continue; }
      frame=$(printf '%s/%05d.yuv' "$work/gst" $((i - 1)))
      k=$(picture_at $((start + t)))
      best=0
      for j in $((k - 1)) $k $((k + 1)); do
        [ "$j" -ge 0 ] || continue
        picture "$j" "$work/expected.yuv"
        best=$(awk -v a="$best" -v b="$(psnr "$frame" "$work/expected.yuv")" 'BEGIN { print (b > a ? b : a) }')
      done
      awk -v b="$best" 'BEGIN { exit !(b >= 35) }' ||
        fail "$mode rec_$n.flv: at $t ms GStreamer shows a picture $best dB from the recording's at $((start + t)) ms"
      shown+=" ${t} ms: $best dB;"
    done
    echo "$kind $mode rec_$n.flv (from $start ms):$shown $(wc -l <"$work/gst/pts") pictures"
  done
done
finish
