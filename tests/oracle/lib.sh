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

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}
