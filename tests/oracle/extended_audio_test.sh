#!/usr/bin/env bash
# Audio behind the extended header, cut in separate mode: every slide's audio
# is a file of its codec's own (Ogg Opus .opus, .flac, .ac3, .eac3, ADTS .aac) that
# ffmpeg decodes without a message, and the samples decoded over all slides
# are the recording's: for Opus those its packets hold less its pre-skip,
# for the others those ffmpeg decodes of the source. The recordings are made
# here from files ffmpeg writes, since ffmpeg 5.1 writes no such FLV.
# Usage: extended_audio_test.sh SLIDECUT EDIT_RECORDING KIND
source "$(dirname "$0")/lib.sh" "$1"
edit=$2 kind=$3

sine=(-f lavfi -i "sine=frequency=440:sample_rate=48000:duration=20" -ac 2)
case "$kind" in
  opus) fourcc=Opus ext=opus source=source.opus enc=(-c:a libopus -b:a 64k) ;;
  flac) fourcc=fLaC ext=flac source=source.ogg enc=(-c:a flac) ;;
  ac3) fourcc=ac-3 ext=ac3 source=source.ac3 enc=(-c:a ac3 -b:a 192k) ;;
  eac3) fourcc=ec-3 ext=eac3 source=source.eac3 enc=(-c:a eac3 -b:a 192k) ;;
  aac) fourcc=mp4a ext=aac source=source.aac enc=(-c:a aac -b:a 128k -f adts) ;;
  *) echo "unknown kind $kind" >&2; exit 2 ;;
esac
ffmpeg -nostdin -v error "${sine[@]}" "${enc[@]}" "$work/$source"
rec="$work/rec.flv"
printed=$("$edit" audio "$fourcc" "$work/$source" "$rec")
samples_of() { echo $(($(ffmpeg -nostdin -v error -i "$1" -f s16le -ac 1 - | wc -c) / 2)); }
if [ "$kind" = opus ]; then
  read -r _ packets _ pre_skip <<<"$printed"
  expected=$((packets - pre_skip))
else
  expected=$(samples_of "$work/$source")
fi
printf '5\n00:00:12:500\n00:00:17:300\n' >"$work/rec.cue"
cut_in separate

total=0 slides=0
for n in 0 1 2 3; do
  slide="$work/separate/rec_$n.$ext"
  [ -e "$slide" ] || { fail "no rec_$n.$ext"; continue; }
  errors=$(ffmpeg -nostdin -v error -i "$slide" -f null - 2>&1)
  [ -z "$errors" ] || fail "rec_$n.$ext decode: $(echo "$errors" | head -n 2)"
  [ "$(probe "$slide" a:0 sample_rate,channels)" = "48000,2" ] || fail "rec_$n.$ext: $(probe "$slide" a:0 sample_rate,channels)"
  decoded=$(samples_of "$slide")
  total=$((total + decoded)) slides=$((slides + 1))
  echo "$kind rec_$n.$ext ($(probe "$slide" a:0 codec_name)): $decoded samples"
done
! ls "$work"/separate/rec_*.mp3 >/dev/null 2>&1 || fail "$kind in .mp3 slides: $(ls "$work"/separate/rec_*.mp3)"
[ ! -s "$work/separate.err" ] || fail "warnings: $(head -n 2 "$work/separate.err")"
[ "$total" -eq "$expected" ] || fail "$total samples decoded over the slides, the recording's are $expected"
echo "$kind: $slides slides decode cleanly, $total samples of the recording's $expected"
finish
