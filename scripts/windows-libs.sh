#!/usr/bin/env bash
# Cross-builds, for 64-bit Windows with mingw-w64, the codec libraries the
# Linux build loads: x264 and x265 as static libraries and FFmpeg's
# libavcodec and libavutil with only the decoders and encoders slidecut
# uses. The sources are Debian's own packages of the versions this machine's
# libavcodec, libx264 and libx265 are (apt-get source, from deb-src entries
# for the suites apt already uses). The result is cached outside the clone,
# under a key made of those versions, the compiler's and the build options,
# so a second build takes no time. Prints the prefix (include/, lib/,
# licenses/, versions).
# Usage: windows-libs.sh   (SLIDECUT_CACHE overrides ~/.cache/slidecut)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${SLIDECUT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/slidecut}
host=x86_64-w64-mingw32
jobs=$(nproc)

source_version() { dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null; }
ffmpeg_version=$(source_version libavcodec59)
x264_version=$(source_version libx264-164)
x265_version=$(source_version libx265-199)
if [ -z "$ffmpeg_version" ] || [ -z "$x264_version" ] || [ -z "$x265_version" ]; then
  echo "windows-libs.sh: libavcodec59, libx264-164 and libx265-199 must be installed: their versions are the ones built" >&2
  exit 1
fi
compiler=$($host-gcc-posix --version | head -n 1)
x264_options=(--host=$host --cross-prefix=$host- --enable-static --disable-cli --disable-opencl --disable-lavf
              --disable-swscale --disable-ffms --disable-gpac --disable-lsmash)
x265_options=(-DCMAKE_BUILD_TYPE=Release -DENABLE_SHARED=OFF -DENABLE_CLI=OFF -DENABLE_PIC=ON)
# Only the decoders and encoders slidecut's codec table names.
ffmpeg_options=(--target-os=mingw32 --arch=x86_64 --cross-prefix=$host- --enable-cross-compile --cc=$host-gcc-posix
                --cxx=$host-g++-posix --pkg-config=pkg-config --pkg-config-flags=--static --enable-static --disable-shared
                --enable-gpl --disable-autodetect --enable-w32threads --disable-programs --disable-doc --disable-avformat
                --disable-avdevice --disable-avfilter --disable-swscale --disable-swresample --disable-postproc
                --disable-network --disable-everything --enable-decoder=flv,h264,hevc --enable-encoder=flv,libx264,libx265
                --enable-libx264 --enable-libx265)
key=$(printf '%s\n' "$ffmpeg_version" "$x264_version" "$x265_version" "$compiler" "${x264_options[*]}" \
        "${x265_options[*]}" "${ffmpeg_options[*]}" | sha256sum | cut -c1-16)
prefix=$cache/windows-libs-$key
if [ -f "$prefix/done" ]; then
  echo "$prefix"
  exit 0
fi

work=$cache/windows-libs-build
rm -rf "$work" "$prefix"
mkdir -p "$work" "$prefix/licenses"
log=$work/build.log
say() { echo "windows-libs.sh: $*" >&2; }
trap 'say "failed; the last lines of $log:"; tail -n 30 "$log" >&2' ERR

# The deb-src entries that apt-get source needs, for the suites and mirror
# of the deb ones.
if ! apt-get source --print-uris -qq ffmpeg >/dev/null 2>&1; then
  [ "$(id -u)" -eq 0 ] || { say "apt has no deb-src entries; run as root to add them"; exit 1; }
  for f in /etc/apt/sources.list.d/*.sources; do
    grep -q '^Types: deb$' "$f" && sed -e 's/^Types: deb$/Types: deb-src/' "$f" >"/etc/apt/sources.list.d/src-$(basename "$f")"
  done
  apt-get update -qq
fi
say "sources: ffmpeg $ffmpeg_version, x264 $x264_version, x265 $x265_version"
(cd "$work" && apt-get source -qq "ffmpeg=$ffmpeg_version" "x264=$x264_version" "x265=$x265_version") >>"$log" 2>&1
src() { find "$work" -maxdepth 1 -type d -name "$1-*" | head -n 1; }

export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH=

say "x264"
(cd "$(src x264)" &&
  ./configure --prefix="$prefix" "${x264_options[@]}" &&
  make -j"$jobs" && make install-lib-static) >>"$log" 2>&1
cp "$(src x264)/COPYING" "$prefix/licenses/x264.txt"

say "x265 (8-bit)"
x265_build=$work/x265-build
mkdir -p "$x265_build"
(cd "$x265_build" &&
  cmake "$(src x265)/source" -DCMAKE_TOOLCHAIN_FILE="$here/../cmake/mingw-w64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
    "${x265_options[@]}" &&
  make -j"$jobs" && make install) >>"$log" 2>&1
# x265's pkg-config file leaves out the C++ runtime a static link needs.
sed -i -e 's/^Libs.private:.*/& -lstdc++/' "$prefix/lib/pkgconfig/x265.pc"
cp "$(src x265)/COPYING" "$prefix/licenses/x265.txt"

say "FFmpeg (libavcodec, libavutil)"
(cd "$(src ffmpeg)" &&
  ./configure --prefix="$prefix" "${ffmpeg_options[@]}" &&
  make -j"$jobs" && make install) >>"$log" 2>&1
cp "$(src ffmpeg)/COPYING.GPLv2" "$prefix/licenses/ffmpeg.txt"

printf 'ffmpeg=%s\nx264=%s\nx265=%s\n' "$ffmpeg_version" "$x264_version" "$x265_version" >"$prefix/versions"
echo "$compiler" >"$prefix/compiler"
touch "$prefix/done"
rm -rf "$work"
echo "$prefix"
