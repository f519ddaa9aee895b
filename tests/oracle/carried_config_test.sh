#!/usr/bin/env bash
# A real recording of one kind, made with ffmpeg's lavfi sources, cut in both
# modes: every .flv slide must open with the recording's codec parameters,
# decode without error, start at dts 0, and all slides together must hold the
# recording's audio packets. Usage: carried_config_test.sh SLIDECUT REFERENCE KIND
source "$(dirname "$0")/lib.sh" "$1"
reference=$2
kind=$3

rec="$work/rec.flv"
make_recording "$kind" "$rec"
printf '00:00:03:000\n6.5\n00:00:09:250\n' >"$work/rec.cue"
printf '3000\n6000\n9250\n' >"$work/rec.ms"

# codec parameters of one stream type, as one line
params() {
  if [ "$2" = v ]; then probe "$1" v:0 codec_name,width,height; else probe "$1" a:0 codec_name,sample_rate,channels; fi
}
packets() {
  ffprobe -v error -count_packets -select_streams "$2:0" -show_entries stream=nb_read_packets -of csv=p=0 "$1" |
    head -n 1
}
# earliest dts of the given stream types, all when none is given
first_dts() {
  local file=$1 select=()
  shift
  [ $# -eq 1 ] && select=(-select_streams "$1")
  # (a packet with side data, such as a new sequence header, adds an empty line)
  ffprobe -v error "${select[@]}" -show_entries packet=dts_time -of csv=p=0 "$file" | grep . | sort -g | head -n 1
}
has() { [ -n "$(ffprobe -v error -select_streams "$2:0" -show_entries stream=index -of csv=p=0 "$1")" ]; }

types=()
has "$rec" v && types+=(v)
has "$rec" a && types+=(a)

# Checks the .flv slides of one run against the recording, for the given
# stream types; counts the slides that decode cleanly in $clean.
check_flv_slides() {
  local prefix=$1 mode=$2
  shift 2
  local t slide total
  clean=0
  local slides=("$prefix"_*.flv)
  [ -e "${slides[0]}" ] || { fail "$mode: no .flv slides"; return; }
  for slide in "${slides[@]}"; do
    local errors
    errors=$(decode_errors "$slide")
    [ -z "$errors" ] && clean=$((clean + 1)) || fail "$mode $(basename "$slide") decode: $(echo "$errors" | head -n 2)"
    for t in "$@"; do
      [ "$(params "$slide" "$t")" = "$(params "$rec" "$t")" ] ||
        fail "$mode $(basename "$slide") $t parameters: $(params "$slide" "$t") vs $(params "$rec" "$t")"
    done
    # Slide 0 is the plain cut's (compared below); every later slide starts at 0.
    local dts
    dts=$(first_dts "$slide" "$@")
    [ "$slide" = "${slides[0]}" ] || awk -v d="$dts" 'BEGIN { exit !(d == 0) }' ||
      fail "$mode $(basename "$slide") earliest dts $dts, not 0"
  done
  # Every frame of the recording is in exactly one slide: those encoded
  # again replace the recording's one for one.
  for t in "$@"; do
    total=0
    for slide in "${slides[@]}"; do total=$((total + $(packets "$slide" "$t"))); done
    [ "$total" -eq "$(packets "$rec" "$t")" ] ||
      fail "$mode: $t packets over all slides $total, recording $(packets "$rec" "$t")"
  done
}

# Slides of the plain cut, without the configuration carried, that decode
# cleanly with the recording's codec parameters.
clean_plain() {
  local n=0 slide t ok
  for slide in "$1"_*.flv; do
    ok=1
    [ -z "$(decode_errors "$slide")" ] || ok=0
    for t in "${@:2}"; do [ "$(params "$slide" "$t")" = "$(params "$rec" "$t")" ] || ok=0; done
    n=$((n + ok))
  done
  echo $n
}

mkdir "$work/plain" "$work/plain_s"
cut_in combined
cut_in separate
"$reference" "$rec" "$work/rec.ms" "$work/plain/rec"
"$reference" "$rec" "$work/rec.ms" "$work/plain_s/rec" -s

check_flv_slides "$work/combined/rec" combined "${types[@]}"
echo "$kind combined: slides decoding cleanly: $(clean_plain "$work/plain/rec" "${types[@]}") of $(ls "$work"/plain/rec_*.flv | wc -l) before, $clean after"

if [[ " ${types[*]} " == *" v "* ]]; then
  check_flv_slides "$work/separate/rec" separate v
  echo "$kind separate: slides decoding cleanly: $(clean_plain "$work/plain_s/rec" v) of $(ls "$work"/plain_s/rec_*.flv | wc -l) before, $clean after"
else
  ! ls "$work"/separate/rec_*.flv >/dev/null 2>&1 || fail "separate: .flv slides from a recording without video"
fi

# MP3 audio: the .mp3 slides decode and hold all the recording's frames.
if [ "$(probe "$rec" a:0 codec_name)" = mp3 ]; then
  frames=0
  for mp3 in "$work"/separate/rec_*.mp3; do
    errors=$(decode_errors "$mp3")
    [ -z "$errors" ] || fail "separate $(basename "$mp3") decode: $errors"
    frames=$((frames + $(ffprobe -v error -count_frames -select_streams a:0 -show_entries stream=nb_read_frames -of csv=p=0 "$mp3")))
  done
  [ "$frames" -eq "$(packets "$rec" a)" ] || fail "separate: $frames MP3 frames in the slides, $(packets "$rec" a) in the recording"
fi

# AAC audio: the .aac slides are ADTS streams that decode cleanly with the
# recording's rate and channels and together hold all its samples.
samples() {
  ffprobe -v error -select_streams a:0 -show_entries frame=nb_samples -of csv=p=0 "$1" | awk '{ s += $1 } END { print s + 0 }'
}
if [ "$(probe "$rec" a:0 codec_name)" = aac ]; then
  total=0 slides=0
  ! ls "$work"/separate/rec_*.mp3 >/dev/null 2>&1 || fail "separate: AAC audio in .mp3 slides"
  for aac in "$work"/separate/rec_*.aac; do
    [ -e "$aac" ] || { fail "separate: no .aac slides"; break; }
    errors=$(ffmpeg -nostdin -v error -i "$aac" -f null - 2>&1)
    [ -z "$errors" ] || fail "separate $(basename "$aac") decode: $(echo "$errors" | head -n 2)"
    [ "$(probe "$aac" a:0 sample_rate,channels)" = "$(probe "$rec" a:0 sample_rate,channels)" ] ||
      fail "separate $(basename "$aac"): $(probe "$aac" a:0 sample_rate,channels), recording $(probe "$rec" a:0 sample_rate,channels)"
    total=$((total + $(samples "$aac"))) slides=$((slides + 1))
  done
  whole=$(samples "$rec")
  diff=$((total > whole ? total - whole : whole - total))
  [ "$diff" -le $((1024 * slides)) ] || fail "separate: $total samples in the .aac slides, $whole in the recording"
  echo "$kind separate: $slides .aac slides decode cleanly, $total samples of the recording's $whole"
fi

# The .mp3 slides are the plain cut's.
if [ "$(probe "$rec" a:0 codec_name)" != aac ]; then
  for ref in "$work"/plain_s/rec_*.mp3; do
    [ -e "$ref" ] || continue
    cmp -s "$ref" "$work/separate/$(basename "$ref")" || fail "separate $(basename "$ref") differs from the plain cut"
  done
fi
[ "$(ls "$work/plain_s" | wc -l)" -eq "$(ls "$work/separate" | grep -c '^rec_')" ] || fail "separate: slide file count differs from the plain cut"
finish
