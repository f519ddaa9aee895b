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
}

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}
