# Shared by the tests that check slides with ffmpeg and ffprobe as the oracle.
# Usage: source lib.sh SLIDECUT_BINARY
set -euo pipefail

slidecut=$1
SKIP=77
if ! command -v ffmpeg >/dev/null || ! command -v ffprobe >/dev/null; then
  if [ "${CI:-}" = true ]; then
    echo "FAIL: ffmpeg and ffprobe are required under CI (Debian package ffmpeg)" >&2
    exit 1
  fi
  echo "SKIP: ffmpeg or ffprobe not found; install Debian's ffmpeg package to run this test" >&2
  exit $SKIP
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/slidecut-oracle.XXXXXX")
trap 'rm -rf "$work"' EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Decoding errors of one file, less the note that an exact cut may start a
# slide with a frame that is not a keyframe.
decode_errors() {
  ffmpeg -nostdin -v error -i "$1" -f null - 2>&1 | grep -v 'first frame is no keyframe' || true
}

# One value of a stream: probe FILE SELECTOR ENTRY
probe() {
  ffprobe -v error -select_streams "$2" -show_entries "stream=$3" -of csv=p=0 "$1" 2>/dev/null | head -n 1
}

# Twelve seconds of one kind of recording, made with ffmpeg's lavfi sources:
# make_recording KIND OUTPUT
make_recording() {
  local h264=(-c:v libx264 -preset veryfast -g 50 -bf 0 -pix_fmt yuv420p) args
  video() { echo -f lavfi -i "testsrc2=size=$1:rate=25:duration=12"; }
  audio() { echo -f lavfi -i "sine=frequency=330:beep_factor=3:sample_rate=$1:duration=12"; }
  case "$1" in
    h264_aac) args=($(video 320x240) $(audio 48000) "${h264[@]}" -c:a aac -ac 2) ;;
    h264_mp3 | indexed) args=($(video 256x144) $(audio 22050) "${h264[@]}" -c:a libmp3lame -ac 1) ;;
    flv1_mp3) args=($(video 176x144) $(audio 44100) -c:v flv1 -g 50 -c:a libmp3lame -ac 2) ;;
    aac_only) args=($(audio 44100) -c:a aac -ac 1) ;;
    aac_48k_mono) args=($(audio 48000) -c:a aac -ac 1) ;;
    *) echo "unknown recording kind $1" >&2; exit 2 ;;
  esac
  ffmpeg -nostdin -v error "${args[@]}" -f flv "$2"
  # A keyframe index in the recording's own onMetaData, as metadata
  # injectors write it.
  if [ "$1" = indexed ]; then
    yamdi -i "$2" -o "$2.indexed" && mv "$2.indexed" "$2"
  fi
}

# Cuts $rec at $work/rec.cue in one mode (combined or separate), in a folder
# of that name beside it.
cut_in() {
  local switch=()
  [ "$1" = separate ] && switch=(-s)
  mkdir "$work/$1"
  cp "$rec" "$work/rec.cue" "$work/$1/"
  "$slidecut" "$work/$1/rec.flv" "$work/$1/rec.cue" "${switch[@]}" >/dev/null 2>"$work/$1.err" ||
    fail "$1: slidecut failed: $(cat "$work/$1.err")"
  [ -z "${SAME_AS:-}" ] || same_slides_as "$1" "${switch[@]}"
}

# With SAME_AS naming another build, it cuts the same and its slides must be
# byte for byte the same files: same_slides_as MODE [SWITCH]
same_slides_as() {
  local mode=$1 same=$work/$1.same
  shift
  mkdir "$same"
  cp "$rec" "$work/rec.cue" "$same/"
  "$SAME_AS" "$same/rec.flv" "$same/rec.cue" "$@" >/dev/null 2>&1 || fail "$mode: $SAME_AS failed"
  [ "$(cd "$same" && ls rec_*)" = "$(cd "$work/$mode" && ls rec_*)" ] || fail "$mode: other slide files than $SAME_AS's"
  for f in $(cd "$same" && ls rec_*); do
    cmp -s "$same/$f" "$work/$mode/$f" || fail "$mode $f differs from $SAME_AS's"
  done
}

# A 32 s 320x240 recording with a keyframe every 10 s, of one kind, and its
# cue file, cut between keyframes: sets rec and cues.
# first_picture_recording EDIT_RECORDING KIND
first_picture_recording() {
  local edit=$1 src=(-f lavfi -i "testsrc2=size=320x240:rate=25:duration=32"
                     -f lavfi -i "sine=frequency=330:sample_rate=44100:duration=32")
  local h264=(-c:v libx264 -preset veryfast -g 250 -pix_fmt yuv420p -c:a aac) args
  cues=(7500 15300 23700) # between the keyframes at 0, 10, 20 and 30 s
  case "$2" in
    h264_baseline) args=("${h264[@]}" -profile:v baseline) ;;
    h264_bframes) args=("${h264[@]}") ;; # x264's defaults: B-frames
    # High 10, High 4:2:2 and High 4:4:4 (the later -pix_fmt holds)
    h264_high10) args=("${h264[@]}" -pix_fmt yuv420p10le) ;;
    h264_high422) args=("${h264[@]}" -pix_fmt yuv422p) ;;
    h264_high444) args=("${h264[@]}" -pix_fmt yuv444p) ;;
    flv1) args=(-c:v flv1 -g 250 -c:a libmp3lame) ;;
    resent_header) args=("${h264[@]}") ;;
    late_first_frame) args=("${h264[@]}"); cues=(4000 15300) ;;
    avc1) args=("${h264[@]}") ;;
    avc1_tracks) args=("${h264[@]}") ;;
    av1) args=(-an -c:v libaom-av1 -cpu-used 8 -usage realtime -g 250 -keyint_min 250 -b:v 400k) ;;
    vp9) args=(-an -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -g 250 -keyint_min 250 -b:v 400k) ;;
    hevc | hevc_legacy) args=(-an -c:v libx265 -preset ultrafast -b:v 400k
                              -x265-params keyint=250:min-keyint=250:scenecut=0:bframes=0:log-level=error) ;;
    # What encoders write at settings people use: open GOPs with B-frames
    # (and x264's pyramid), periodic intra refresh, x265's CRA pictures and
    # their RASL pictures, libaom's and libvpx's hidden frames; beside the
    # closed-GOP control of each
    h264_open) args=("${h264[@]}" -keyint_min 250 -sc_threshold 0 -x264-params open-gop=1:bframes=3:b-adapt=0:b-pyramid=normal) ;;
    h264_closed) args=("${h264[@]}" -keyint_min 250 -sc_threshold 0 -x264-params bframes=3:b-adapt=0:b-pyramid=normal) ;;
    h264_refresh) args=("${h264[@]}" -keyint_min 250 -sc_threshold 0 -x264-params intra-refresh=1:bframes=0) ;;
    hevc_open | hevc_open_legacy | hevc_closed)
      args=(-an -c:v libx265 -preset ultrafast -b:v 400k -x265-params keyint=250:min-keyint=250:scenecut=0:log-level=error)
      [ "$2" = hevc_closed ] && args[-1]+=:open-gop=0 ;;
    av1_default) args=(-an -c:v libaom-av1 -cpu-used 8 -g 250 -keyint_min 250 -b:v 400k) ;;
    vp9_default) args=(-an -c:v libvpx-vp9 -cpu-used 8 -g 250 -keyint_min 250 -b:v 400k) ;;
    *) echo "unknown recording kind $2" >&2; exit 2 ;;
  esac
  rec="$work/rec.flv"
  reference=$rec
  if [[ $2 == av1* || $2 == vp9* ]]; then
    # AV1 or VP9 behind the extended header, from an IVF file; its pictures
    # are the IVF file's, and slides are checked as IVF files again
    reference="$work/rec.ivf"
    ffmpeg -nostdin -v error "${src[@]}" "${args[@]}" -f ivf "$reference"
    "$edit" "${2%_default}" "$reference" "$rec" 0
  elif [[ $2 == hevc* ]]; then
    # HEVC, behind the extended header (hvc1) or legacy (CodecID 12), from an
    # Annex B file and the frames' times in an MP4 file; ffmpeg 5.1 reads
    # neither, so slides are checked as Annex B files again; the pictures
    # are the MP4 file's, the times its own less its first decoding time
    reference="$work/rec.mp4"
    ffmpeg -nostdin -v error "${src[@]}" "${args[@]}" "$reference"
    ffmpeg -nostdin -v error -i "$reference" -c copy -bsf:v hevc_mp4toannexb -f hevc "$work/rec.hevc"
    ffprobe -v error -select_streams v -show_entries packet=dts_time,pts_time -of csv=p=0 "$reference" |
      awk -F, '{ pts[NR] = $1 * 1000; dts[NR] = $2 * 1000 } NR == 1 { first = dts[1] }
               END { for (i = 1; i <= NR; i++) printf "%d %d\n", dts[i] - first + 0.5, pts[i] - first + 0.5 }' \
      >"$work/rec.times"
    "$edit" hevc "$work/rec.hevc" "$rec" "$([[ $2 == *legacy ]] && echo legacy || echo hvc1)" "$work/rec.times"
  else
    ffmpeg -nostdin -v error "${src[@]}" "${args[@]}" -f flv "$rec"
  fi
  case "$2" in
    # its sequence header sent again at a cue point, before an inter frame
    resent_header) "$edit" resend_header "$rec" "$work/edited.flv" 15300 && mv "$work/edited.flv" "$rec" ;;
    # its first frame at 6.92 s, after the first cue point
    late_first_frame) "$edit" delay "$rec" "$work/edited.flv" 6920 && mv "$work/edited.flv" "$rec" ;;
    # H.264 behind the extended header; ffmpeg 5.1 reads the legacy one only,
    # so the pictures come from the legacy recording, and slides are checked
    # after turning them back
    avc1) reference="$work/legacy.flv" && mv "$rec" "$reference" && "$edit" to_avc1 "$reference" "$rec" 0 ;;
    # and a second rendition beside it, Multitrack track 1, with keyframes
    # of its own (at 0, 5, 12, 18 and 25 s): each track is checked against
    # its own pictures
    avc1_tracks)
      reference="$work/legacy.flv" && mv "$rec" "$reference" && "$edit" to_avc1 "$reference" "$work/main.flv" 0
      ffmpeg -nostdin -v error "${src[@]}" "${args[@]}" -force_key_frames 0,5,12,18,25 -an -f flv "$work/legacy_1.flv"
      "$edit" to_avc1 "$work/legacy_1.flv" "$work/second.flv" 0
      "$edit" tracks "$work/main.flv" "$work/second.flv" "$rec" ;;
  esac
  printf '%s\n' "${cues[@]}" | awk '{ printf "00:00:%02d:%03d\n", $1 / 1000, $1 % 1000 }' >"$work/rec.cue"
}

# The path of slide N of MODE as ffmpeg 5.1 reads it: avc1 turned back to
# the legacy header (TRACK's frames), AV1 and VP9 as IVF, HEVC as Annex B
# with the slide's first sequence header, as a player that keeps to it (with
# each header where it stands it must decode as well); uses $kind and $edit,
# sets slide. readable_slide MODE N TRACK
readable_slide() {
  local dir=$work/$1 n=$2 errors
  slide=$work/$1/rec_$2.flv
  if [[ $kind == avc1* ]]; then
    "$edit" to_legacy "$slide" "$dir/legacy_${n}_$3.flv" "$3" || fail "$1 rec_$n.flv: not avc1 as expected"
    slide="$dir/legacy_${n}_$3.flv"
  elif [[ $kind == av1* || $kind == vp9* ]]; then
    "$edit" to_ivf "$slide" "$dir/rec_$n.ivf" 0 || fail "$1 rec_$n.flv: not $kind as expected"
    slide="$dir/rec_$n.ivf"
  elif [[ $kind == hevc* ]]; then
    "$edit" to_annexb "$slide" "$dir/every_header_$n.hevc" all
    errors=$(ffmpeg -nostdin -v error -i "$dir/every_header_$n.hevc" -f null - 2>&1 || true)
    [ -z "$errors" ] || fail "$1 rec_$n.flv with each sequence header: $(echo "$errors" | head -n 2)"
    "$edit" to_annexb "$slide" "$dir/rec_$n.hevc" first
    slide="$dir/rec_$n.hevc"
  fi
}

# The recording's pictures in presentation order ($work/rec.yuv), its video
# packets as "dts pts" in ms in file order ($work/rec.packets), and their
# presentation times in order ($work/rec.pts).
size=320x240 frame_bytes=$((320 * 240 * 3 / 2))
recording_pictures() {
  ffmpeg -nostdin -y -v error -i "$reference" -fps_mode passthrough -f rawvideo -pix_fmt yuv420p "$work/rec.yuv"
  # (a packet with side data, such as a new sequence header, has a third field)
  if [ -e "$work/rec.times" ]; then
    cp "$work/rec.times" "$work/rec.packets"
  else
    ffprobe -v error -select_streams v -show_entries packet=dts_time,pts_time -of csv=p=0 "$reference" |
      awk -F, '$1 != "" && $2 != "" { printf "%d %d\n", $2 * 1000 + 0.5, $1 * 1000 + 0.5 }' >"$work/rec.packets"
  fi
  sort -n -k2 "$work/rec.packets" | awk '{ print $2 }' >"$work/rec.pts"
}
picture() { # INDEX OUTPUT: the recording's picture INDEX in presentation order
  dd if="$work/rec.yuv" of="$2" bs=$frame_bytes skip="$1" count=1 status=none
}
psnr() { # A B: average PSNR in dB of two pictures, 99 for equal ones
  ffmpeg -nostdin -v info -f rawvideo -s $size -pix_fmt yuv420p -i "$1" -f rawvideo -s $size -pix_fmt yuv420p -i "$2" \
    -lavfi psnr -f null - 2>&1 | sed -n 's/.*average:\([0-9.inf]*\).*/\1/p' | sed 's/inf/99/'
}
# The index of the recording's picture shown at MS: the last presented by then.
picture_at() {
  awk -v t="$1" '$1 <= t { i = NR - 1 } END { print i + 0 }' "$work/rec.pts"
}

# A slide's frame 0, decoded at a constant rate as conversions and players
# do, against the recording's picture at the slide's first frame (the
# earliest presented of the frames with timestamps in FROM..TO): sets
# first_pts, own and before (its PSNR in dB, and against the picture before),
# and fails unless it is that picture (at least 35 dB, and 10 dB closer than
# the one before). first_picture SLIDE FROM TO; needs recording_pictures.
first_picture() {
  first_pts=$(awk -v a="$2" -v b="$3" '$1 > a && $1 <= b { print $2 }' "$work/rec.packets" | sort -n | head -n 1)
  local index
  index=$(($(grep -n "^$first_pts\$" "$work/rec.pts" | head -n 1 | cut -d: -f1) - 1))
  ffmpeg -nostdin -y -v error -i "$1" -fps_mode cfr -r 25 -frames:v 1 -f rawvideo -pix_fmt yuv420p "$work/frame0.yuv"
  picture "$index" "$work/own.yuv"
  own=$(psnr "$work/frame0.yuv" "$work/own.yuv")
  before=0
  if [ "$index" -gt 0 ]; then
    picture $((index - 1)) "$work/before.yuv"
    before=$(psnr "$work/frame0.yuv" "$work/before.yuv")
  fi
  awk -v o="$own" -v b="$before" 'BEGIN { exit !(o >= 35 && o >= b + 10) }'
}

# The web players' checks need Chromium, Node.js and the npm modules:
# need_web_player MODULE sets chromium and web, or skips (fails under CI).
need_web_player() {
  web=$(cd "$(dirname "${BASH_SOURCE[0]}")/web" && pwd)
  chromium=$(command -v chromium || true)
  if [ -z "$chromium" ] || ! command -v node >/dev/null || [ ! -d "$web/node_modules/$1" ] ||
     [ ! -d "$web/node_modules/playwright-core" ]; then
    if [ "${CI:-}" = true ]; then
      echo "FAIL: Chromium, Node.js and $1 are required under CI (Debian chromium nodejs npm; npm install --prefix $web)" >&2
      exit 1
    fi
    echo "SKIP: Chromium, Node.js or $1 not found (Debian chromium nodejs npm; npm install --prefix $web)" >&2
    exit $SKIP
  fi
}

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}
