# The benchmark's recordings and cue files, made once into $dir (default
# build/bench) with the release build's helpers: sourced by bench/run and
# bench/callgrind from the project's root, with dir and bin set.
cmake --preset release >/dev/null
cmake --build --preset release --target slidecut make_small_tags block_copy >/dev/null
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
bin=$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin")
copier=$PWD/build/release/block_copy

make_real() { # OUTPUT SECONDS: H.264 1280x720 at 8 Mb/s, a keyframe every 2 s, with MP3 audio
  ffmpeg -nostdin -y -v error -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=$2" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$2" \
    -c:v libx264 -preset ultrafast -b:v 8M -minrate 8M -maxrate 8M -bufsize 8M -g 50 \
    -c:a libmp3lame -b:a 128k -f flv "$1"
}
[ -f "$dir/real.flv" ] || { echo "making the 300 s recording..."; make_real "$dir/real.flv" 300; }
[ -f "$dir/real_3s.flv" ] || make_real "$dir/real_3s.flv" 3
[ -f "$dir/small_tags.flv" ] || build/release/make_small_tags "$dir/small_tags.flv" 2000000
# A lecture: 1 h of 640x360 at 10 fps, H.264 at 250 kbit/s with a keyframe
# every 10 s, AAC at 64 kbit/s; audio tags far outnumber video tags.
make_lecture() { # OUTPUT
  ffmpeg -nostdin -y -v error -f lavfi -i "testsrc2=size=640x360:rate=10:duration=3600" \
    -f lavfi -i "sine=frequency=300:sample_rate=44100:duration=3600" \
    -c:v libx264 -preset veryfast -b:v 250k -maxrate 250k -bufsize 500k -g 100 -keyint_min 100 -sc_threshold 0 \
    -c:a aac -b:a 64k -f flv "$1"
}
[ -f "$dir/lecture.flv" ] || { echo "making the 1 h lecture recording..."; make_lecture "$dir/lecture.flv"; }
ln -sf lecture.flv "$dir/lecture_keys.flv"
ln -sf lecture.flv "$dir/lecture_between.flv"
printf '60\n120\n180\n240\n' >"$dir/real.cue"
printf '800\n1600\n2400\n3200\n' >"$dir/small_tags.cue"
# 36 cue points 40 to 170 s apart: 50 ms before a keyframe (nothing to encode
# again), or 4.95 s after one. Their times in seconds for ffmpeg's segmenter.
lecture_cues() { # OFFSET_MS
  awk -v off="$1" 'BEGIN { t = 0; for (i = 0; i < 36; i++) { t += 40 + (i * 37) % 131; ms = int(t / 10) * 10000 + off
                     printf "%02d:%02d:%02d:%03d\n", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000 } }'
}
lecture_cues -50 >"$dir/lecture_keys.cue"
lecture_cues 4950 >"$dir/lecture_between.cue"
for input in real small_tags lecture_keys lecture_between; do
  awk -F: 'NF == 4 { printf "%s%.3f", n++ ? "," : "", $1 * 3600 + $2 * 60 + $3 + $4 / 1000; next }
           { printf "%s%s", n++ ? "," : "", $1 }' "$dir/$input.cue" >"$dir/$input.times"
done

# A desktop streamer's recording: 5 min of 1920x1080 at 30 fps, H.264 high
# profile with B-frames at 6 Mbit/s, a keyframe every 2 s or every 8 s, AAC;
# cut between keyframes (1 s after one, or 4 s), where slides get new starts.
make_obs() { # OUTPUT KEYFRAME_SECONDS
  ffmpeg -nostdin -y -v error -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=300" \
    -f lavfi -i "sine=frequency=500:sample_rate=48000:duration=300" \
    -c:v libx264 -preset veryfast -profile:v high -bf 2 -b:v 6M -maxrate 6M -bufsize 12M -g $((30 * $2)) \
    -keyint_min $((30 * $2)) -sc_threshold 0 -c:a aac -b:a 160k -f flv "$1"
}
[ -f "$dir/obs_gop2.flv" ] || { echo "making the 1080p recordings..."; make_obs "$dir/obs_gop2.flv" 2; }
[ -f "$dir/obs_gop8.flv" ] || make_obs "$dir/obs_gop8.flv" 8
awk 'BEGIN { for (i = 0; i < 30; i++) print 10 * i + 1 }' >"$dir/obs_gop2.cue"
awk 'BEGIN { for (i = 0; i < 18; i++) print 16 * i + 4 }' >"$dir/obs_gop8.cue"
