#!/usr/bin/env bash
# What slidecut says of what it read and made, on real files:
# - MP4, Matroska and MPEG-TS files made by ffmpeg, and a cue file given
#   first, are refused (status 1) with what they look like, nothing written;
# - cue files in forms people write: each misreading warned of, with its
#   line and token, and the slides byte for byte those of the cue file that
#   says plainly what was read (a byte order mark: those of the file
#   without it);
# - on a terminal (script(1) gives one), a progress line while the run goes,
#   cleared at the end, and a table whose lengths are the slides' own;
#   without one, standard output is the run's lines alone.
# Usage: what_it_tells_test.sh SLIDECUT
source "$(dirname "$0")/lib.sh" "$1"
slidecut=$(realpath "$slidecut")

make_recording h264_aac "$work/rec.flv"
src=(-f lavfi -i "testsrc2=size=160x120:rate=25:duration=2" -f lavfi -i "sine=duration=2" -c:v libx264 -c:a aac)
for kind in mp4 mkv ts; do
  mkdir "$work/$kind"
  ffmpeg -nostdin -v error "${src[@]}" "$work/$kind/lecture.$kind"
  printf '1\n' >"$work/$kind/talk.cue"
  status=0
  (cd "$work/$kind" && "$slidecut" "lecture.$kind" talk.cue >out 2>err) || status=$?
  [ "$status" -eq 1 ] || fail "$kind: status $status, not 1"
  grep -q "lecture.$kind is no FLV recording: it looks like .*ffmpeg -i lecture.$kind -c copy lecture.flv" \
    "$work/$kind/err" || fail "$kind: $(cat "$work/$kind/err")"
  [ "$(ls "$work/$kind" | wc -l)" -eq 4 ] || fail "$kind: wrote $(ls "$work/$kind")"
done
printf '00:00:05:000\n' >"$work/talk.cue"
status=0
"$slidecut" "$work/talk.cue" "$work/rec.flv" >/dev/null 2>"$work/swapped.err" || status=$?
[ "$status" -eq 1 ] && grep -q "looks like a cue file, a text of cut times; the recording comes first" "$work/swapped.err" ||
  fail "swapped arguments: status $status, $(cat "$work/swapped.err")"

# cut CUE_TEXT NAME: the recording cut at a cue file of that text, in $work/NAME
cut() {
  mkdir "$work/$2"
  cp "$work/rec.flv" "$work/$2/"
  printf '%b' "$1" >"$work/$2/talk.cue"
  "$slidecut" "$work/$2/rec.flv" "$work/$2/talk.cue" >"$work/$2.out" 2>"$work/$2.err" || fail "$2: slidecut failed"
}
same_slides() { # A B
  [ "$(cd "$work/$1" && ls rec_*)" = "$(cd "$work/$2" && ls rec_*)" ] || fail "$1: other slides than $2"
  for f in $(cd "$work/$1" && ls rec_*); do cmp -s "$work/$1/$f" "$work/$2/$f" || fail "$1: $f differs from $2's"; done
}
while IFS='|' read -r name text plain warning; do
  cut "$text" "$name"
  cut "$plain" "$name.plain"
  same_slides "$name" "$name.plain"
  grep -q -- "$warning" "$work/$name.err" || fail "$name: no warning '$warning': $(cat "$work/$name.err")"
  echo "$name: $(head -n 1 "$work/$name.err")"
done <<'TABLE'
no_millis|00:00:05\n|\n|talk.cue:1: '00:00:05' gives no time and is dropped
min_sec|1:30\n|1\n|talk.cue:1: '1:30' is read as 1 s
fraction|5.5\n|5\n|talk.cue:1: '5.5' is read as 5 s: the fraction
note|00:00:04:000  # slide 2: intro\n|00:00:04:000 2\n|talk.cue:1: '2:' is read as 2 s: a number in a note
chapters|0:00 Intro\n0:03 Topic A\n|\n|talk.cue:2: '0:03' gives no time
order|8 4 10\n|8 4 10\n|cut times out of order, taken in the file's order: 4 s on line 1 after 8 s
past_end|5 55 90\n|5 55 90\n|past the recording's end, its latest tag at 12.010 s: 55.000 s (line 1), 90.000 s (line 1)
TABLE
cut '\xEF\xBB\xBF00:00:03:000\r\n00:00:06:000\r\n' bom
cut '00:00:03:000\r\n00:00:06:000\r\n' bom.plain
same_slides bom bom.plain
[ ! -s "$work/bom.err" ] && [ -e "$work/bom/rec_2.flv" ] || fail "byte order mark: $(cat "$work/bom.err")"

# On a terminal, then without one.
if command -v script >/dev/null; then
  mkdir "$work/tty" && cp "$work/rec.flv" "$work/tty/" && printf '3\n6\n' >"$work/tty/talk.cue"
  script -qec "'$slidecut' '$work/tty/rec.flv' '$work/tty/talk.cue'" "$work/tty.err" >/dev/null
  grep -q 'slide 0 of 3, [0-9]* MiB of [0-9]* MiB ([0-9]* %)' "$work/tty.err" ||
    fail "terminal: no progress line: $(cat -v "$work/tty.err")"
  # The progress line is cleared: spaces over it, the cursor back at the start.
  grep -q $'\r *\r' "$work/tty.err" || fail "terminal: the progress line is not cleared"
  for n in 0 1 2; do
    row=$(tr '\r' '\n' <"$work/tty.err" | awk -v n="$n" '$1 == n && / s +rec_/')
    length=$(echo "$row" | awk '{ for (i = 1; i <= NF; i++) if ($(i + 1) == "s") { print $i; exit } }')
    last=$(ffprobe -v error -show_entries packet=dts_time -of csv=p=0 "$work/tty/rec_$n.flv" | sort -g | tail -n 1)
    awk -v a="$length" -v b="$last" 'BEGIN { exit !(a != "" && a - b < 0.0015 && b - a < 0.0015) }' ||
      fail "terminal: slide $n's length '$length' in the table, its last tag at $last s ($row)"
  done
else
  [ "${CI:-}" != true ] || fail "script(1) is required under CI (Debian bsdutils)"
  echo "SKIP part: script(1) not found; the terminal is not checked"
fi
mkdir "$work/pipe" && cp "$work/rec.flv" "$work/pipe/" && printf '3\n6\n' >"$work/pipe/talk.cue"
"$slidecut" "$work/pipe/rec.flv" "$work/pipe/talk.cue" >"$work/pipe.out" 2>"$work/pipe.err"
printf 'Processing [%s] with cue file [%s]\nProcessing slide 1...\nProcessing slide 2...\nProgram complete.' \
  "$work/pipe/rec.flv" "$work/pipe/talk.cue" | cmp -s - "$work/pipe.out" || fail "without a terminal: $(cat "$work/pipe.out")"
[ ! -s "$work/pipe.err" ] || fail "without a terminal: $(cat "$work/pipe.err")"
finish
