#!/usr/bin/env bash
# Slides cut between keyframes show the recording's picture from their first
# moment: a recording with a keyframe every 10 s, cut in both modes, each
# .flv slide decoded with every frame kept and compared, picture by picture,
# with the recording's. Usage: preroll_test.sh SLIDECUT KIND
source "$(dirname "$0")/lib.sh" "$1"
kind=$2

src=(-f lavfi -i "testsrc2=size=320x240:rate=25:duration=32")
case "$kind" in
  h264_baseline) args=(-c:v libx264 -preset veryfast -profile:v baseline -g 250 -pix_fmt yuv420p) ;;
  h264_bframes) args=(-c:v libx264 -g 250 -pix_fmt yuv420p) ;; # x264's defaults: B-frames
  flv1) args=(-c:v flv1 -g 250) ;;
  *) echo "unknown recording kind $kind" >&2; exit 2 ;;
esac
rec="$work/rec.flv"
ffmpeg -nostdin -v error "${src[@]}" "${args[@]}" -f flv "$rec"
cues=(7500 15300 23700) # between the keyframes at 0, 10, 20 and 30 s
printf '00:00:07:500\n00:00:15:300\n00:00:23:700\n' >"$work/rec.cue"

# Frames as "milliseconds md5", every frame kept, in output order, at the
# timestamps the file gives them.
frames() {
  ffmpeg -nostdin -v error -copyts -i "$1" -fps_mode passthrough -f framemd5 - 2>"$2" |
    awk -F', *' '/^#tb/ { split($0, t, "[ /]+"); num = t[3]; den = t[4] } !/^#/ { printf "%d %s\n", $3 * num * 1000 / den + 0.5, $6 }'
}
frames "$rec" "$work/rec.err" >"$work/rec.frames"
[ -s "$work/rec.frames" ] && [ ! -s "$work/rec.err" ] || fail "the recording does not decode: $(head -n 2 "$work/rec.err")"
# Each slide's base: the first video tag after its cue point, in file order.
dts=($(ffprobe -v error -select_streams v -show_entries packet=dts_time -of csv=p=0 "$rec" | awk '{ printf "%d\n", $1 * 1000 + 0.5 }'))
base_after() { for t in "${dts[@]}"; do [ "$t" -gt "$1" ] && { echo "$t"; return; }; done; }

for mode in combined separate; do
  cut_in "$mode"
  for n in 0 1 2 3; do
    slide="$work/$mode/rec_$n.flv"
    base=0; [ "$n" -gt 0 ] && base=$(base_after "${cues[$((n - 1))]}")
    frames "$slide" "$work/slide.err" >"$work/slide.frames"
    [ ! -s "$work/slide.err" ] || fail "$mode rec_$n.flv decode: $(head -n 2 "$work/slide.err")"
    # Frames at 0 are the pre-roll and the slide's first picture, which must
    # be the recording's at the slide's base; every later frame must be the
    # recording's at the same time.
    verdict=$(awk -v base="$base" 'NR == FNR { pic[$1] = $2; next }
      $1 == 0 { at0++; last0 = $2; next }
      { later++; if (pic[$1 + base] != $2) wrong++ }
      END { printf "%d %d %d %d\n", at0, later, wrong + 0, (last0 == pic[base]) }' "$work/rec.frames" "$work/slide.frames")
    read -r at0 later wrong first_ok <<<"$verdict"
    [ "$first_ok" -eq 1 ] || fail "$mode rec_$n.flv: the last frame at 0 is not the recording's picture at $base ms"
    [ "$wrong" -eq 0 ] || fail "$mode rec_$n.flv: $wrong of $later later frames differ from the recording's"
    expected=$(awk -v b="$base" -v e="${cues[$n]:-999999999}" '$1 > b && $1 <= e' "$work/rec.frames" | wc -l)
    [ "$later" -ge $((expected - 3)) ] || fail "$mode rec_$n.flv: $later frames after 0, the recording has $expected"
    echo "$kind $mode rec_$n.flv: $at0 frames at 0 (pre-roll and first picture), $later after, from $base ms"
  done
done
finish
