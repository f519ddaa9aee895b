#!/usr/bin/env bash
# Two builds of slidecut must cut alike: every fuzz seed (decoded as the fuzz
# harness decodes it) and every kind of recording the oracle tests make, in
# both modes; slide files, standard output, standard error and exit status
# are compared. For a change that must leave the output as it was.
# Usage: compare_builds.sh BEFORE AFTER EDIT_RECORDING [RECORDINGS_DIR]
# The recordings are made once into RECORDINGS_DIR (default
# build/compare-recordings) and kept for the next run.
source "$(dirname "$0")/oracle/lib.sh" "$1"
before=$(realpath "$1") after=$(realpath "$2") edit=$(realpath "$3")
root=$(cd "$(dirname "$0")/.." && pwd)
store=${4:-$root/build/compare-recordings}
mkdir -p "$store"

# keep NAME: the recording and cue file just made in $work go to the store,
# and $work is emptied for the next.
keep() { mkdir -p "$store/$1" && cp "$work/rec.flv" "$work/rec.cue" "$store/$1/" && rm -rf "${work:?}"/*; }
cue_file() { printf '%s\n' "$@" | awk '{ printf "00:00:%02d:%03d\n", $1 / 1000, $1 % 1000 }' >"$work/rec.cue"; }

if [ ! -e "$store/.complete" ]; then
  for kind in h264_aac h264_mp3 flv1_mp3 aac_only aac_48k_mono indexed; do
    make_recording "$kind" "$work/rec.flv" && cue_file 3000 7500 && keep "$kind"
  done
  for kind in h264_baseline h264_bframes h264_high10 h264_high422 h264_high444 flv1 resent_header late_first_frame avc1 avc1_tracks av1 vp9 hevc hevc_legacy \
              h264_closed hevc_closed av1_default vp9_default; do
    first_picture_recording "$edit" "$kind" && keep "first_$kind"
  done
  sine=(-f lavfi -i "sine=frequency=440:sample_rate=48000:duration=20" -ac 2)
  for recipe in "opus Opus source.opus -c:a libopus" "flac fLaC source.ogg -c:a flac" "ac3 ac-3 source.ac3 -c:a ac3" \
              "eac3 ec-3 source.eac3 -c:a eac3" "aac mp4a source.aac -c:a aac -f adts"; do
    read -r kind fourcc source enc <<<"$recipe"
    ffmpeg -nostdin -y -v error "${sine[@]}" $enc "$work/$source"
    "$edit" audio "$fourcc" "$work/$source" "$work/rec.flv" >/dev/null && cue_file 7500 13000 && keep "audio_$kind"
  done
  ffmpeg -nostdin -y -v error -f lavfi -i "testsrc2=size=320x240:rate=25:duration=12" -c:v libaom-av1 -cpu-used 8 \
    -g 50 -b:v 300k -f ivf "$work/video.ivf"
  ffmpeg -nostdin -y -v error -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=12" -ac 2 -c:a libopus \
    "$work/audio.opus"
  "$edit" av1_opus "$work/video.ivf" "$work/audio.opus" "$work/rec.flv" && cue_file 1900 4500 9000 && keep av1_opus
  cp "$root/examples/talk.flv" "$work/rec.flv" && cp "$root/examples/talk.cue" "$work/rec.cue" && keep talk
  # The fuzz seeds as the harness reads them: byte 0 holds the number of cue
  # points (bits 1-2), each 3 bytes of milliseconds; the rest is the recording.
  for seed in "$root"/fuzz/corpus/split/*; do
    first=$(od -An -tu1 -N1 "$seed" | tr -d ' ')
    [ -n "$first" ] || continue
    count=$(((first >> 1) & 3)) cues=()
    for ((i = 0; i < count; i++)); do
      ms=$(od -An -tu1 -j $((1 + 3 * i)) -N3 "$seed" | awk '{ print ($1 * 65536) + ($2 * 256) + $3 }')
      [ -n "$ms" ] && cues+=("$ms")
    done
    tail -c +$((2 + 3 * count)) "$seed" >"$work/rec.flv"
    printf '%s\n' "${cues[@]}" | awk 'NF { printf "%02d:%02d:%02d:%03d\n", $1 / 3600000, $1 / 60000 % 60, $1 / 1000 % 60, $1 % 1000 }' \
      >"$work/rec.cue"
    keep "seed_$(basename "$seed")"
  done
  touch "$store/.complete"
fi

# run BINARY OUT NAME MODE: one cut in a folder of its own, named alike for
# both builds so that their messages read alike.
run() {
  local dir="$2/$3/$4" switch=()
  [ "$4" = separate ] && switch=(-s)
  mkdir -p "$dir"
  cp "$store/$3/rec.flv" "$store/$3/rec.cue" "$dir/"
  local status=0
  (cd "$dir" && "$1" rec.flv rec.cue "${switch[@]}" >stdout 2>stderr) || status=$?
  echo "$status" >"$dir/status"
}

runs=0 differ=0
for recording in "$store"/*/; do
  name=$(basename "$recording")
  for mode in combined separate; do
    run "$before" "$work/before" "$name" "$mode"
    run "$after" "$work/after" "$name" "$mode"
    runs=$((runs + 1))
    if ! diff -rq "$work/before/$name/$mode" "$work/after/$name/$mode" >"$work/diff" 2>&1; then
      differ=$((differ + 1))
      fail "$name $mode: $(awk '{ sub(".*/", "", $2); printf "%s ", $2 }' "$work/diff")differ"
    fi
  done
done
echo "compared $runs runs; differ=$differ"
finish
