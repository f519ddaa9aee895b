#!/usr/bin/env bash
# Cross-builds, for 64-bit Windows with mingw-w64, the codec libraries the
# Linux build loads: x264, x265, libvpx and libaom as static libraries and
# FFmpeg's libavcodec and libavutil with only the decoders and encoders
# slidecut uses. The sources are Debian's own packages of the versions this
# machine's libavcodec, libx264, libx265, libvpx and libaom are (apt-get
# source, from deb-src entries for the suites apt already uses). The
# result is cached outside the clone,
# under a key made of those versions, the compiler's and the build options,
# so a second build takes no time. Prints the prefix (include/, lib/,
# licenses/, versions).
# Usage: windows-libs.sh   (SLIDECUT_CACHE overrides ~/.cache/slidecut)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${SLIDECUT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/slidecut}
host=x86_64-w64-mingw32
jobs=$(nproc)

# Each source package, by the binary package whose installed version is built.
libraries=("ffmpeg libavcodec59" "x264 libx264-164" "x265 libx265-199" "libvpx libvpx7" "aom libaom3")
versions=()
for library in "${libraries[@]}"; do
  read -r name binary <<<"$library"
  version=$(dpkg-query -W -f='${source:Version}' "$binary" 2>/dev/null) || true
  [ -n "$version" ] || { echo "windows-libs.sh: $binary must be installed: its version is the one built" >&2; exit 1; }
  versions+=("$version")
done
compiler=$($host-gcc-posix --version | head -n 1)
x264_options=(--host=$host --cross-prefix=$host- --enable-static --disable-cli --disable-opencl --disable-lavf
              --disable-swscale --disable-ffms --disable-gpac --disable-lsmash)
x265_options=(-DCMAKE_BUILD_TYPE=Release -DENABLE_SHARED=OFF -DENABLE_CLI=OFF -DENABLE_PIC=ON)
vpx_options=(--target=x86_64-win64-gcc --enable-static --disable-shared --disable-examples --disable-tools
             --disable-docs --disable-unit-tests --disable-vp8 --enable-vp9-highbitdepth)
aom_options=(-DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=0 -DENABLE_DOCS=0 -DENABLE_EXAMPLES=0 -DENABLE_TESTS=0
             -DENABLE_TOOLS=0 -DENABLE_NASM=1)
# Only the decoders and encoders slidecut's codec table names.
ffmpeg_options=(--target-os=mingw32 --arch=x86_64 --cross-prefix=$host- --enable-cross-compile --cc=$host-gcc-posix
                --cxx=$host-g++-posix --pkg-config=pkg-config --pkg-config-flags=--static --enable-static --disable-shared
                --enable-gpl --disable-autodetect --enable-w32threads --disable-programs --disable-doc --disable-avformat
                --disable-avdevice --disable-avfilter --disable-swscale --disable-swresample --disable-postproc
                --disable-network --disable-everything --enable-decoder=flv,h264,hevc,vp9,libaom_av1
                --enable-encoder=flv,libx264,libx265,libvpx_vp9,libaom_av1 --enable-libx264 --enable-libx265
                --enable-libvpx --enable-libaom)
key=$(printf '%s\n' "${versions[@]}" "$compiler" "${x264_options[*]}" "${x265_options[*]}" "${vpx_options[*]}" \
        "${aom_options[*]}" "${ffmpeg_options[*]}" | sha256sum | cut -c1-16)
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
# The installed version's sources, or where the archive no longer has them
# (a security update since), the newest of the same upstream version that
# can be fetched.
fetch_source() { # PACKAGE VERSION: prints the version fetched
  local version
  for version in "$2" $(apt-cache showsrc "$1" | sed -n 's/^Version: //p' | grep -F "${2%-*}-" | sort -rV); do
    if (cd "$work" && apt-get source -qq "$1=$version") >>"$log" 2>&1; then
      echo "$version"
      return 0
    fi
  done
  return 1
}
sources=()
for n in "${!libraries[@]}"; do
  read -r name _ <<<"${libraries[$n]}"
  version=${versions[$n]}
  found=$(fetch_source "$name" "$version") || { say "no sources of $name $version can be fetched"; exit 1; }
  [ "$found" = "$version" ] || say "$name $version: its sources are gone from the archive; building $found"
  sources+=("$name=$found")
done
say "sources: ${sources[*]}"
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

say "libvpx (VP9)"
(cd "$(src libvpx)" &&
  CROSS=$host- ./configure --prefix="$prefix" "${vpx_options[@]}" &&
  make -j"$jobs" && make install) >>"$log" 2>&1
cp "$(src libvpx)/LICENSE" "$prefix/licenses/libvpx.txt"

say "libaom (AV1)"
aom_build=$work/aom-build
mkdir -p "$aom_build"
(cd "$aom_build" &&
  cmake "$(src aom)" -DCMAKE_TOOLCHAIN_FILE="$(src aom)/build/cmake/toolchains/x86_64-mingw-gcc.cmake" \
    -DCROSS=$host- -DCMAKE_INSTALL_PREFIX="$prefix" "${aom_options[@]}" &&
  make -j"$jobs" && make install) >>"$log" 2>&1
cp "$(src aom)/LICENSE" "$prefix/licenses/libaom.txt"
cp "$(src aom)/PATENTS" "$prefix/licenses/libaom-patents.txt"

say "FFmpeg (libavcodec, libavutil)"
(cd "$(src ffmpeg)" &&
  ./configure --prefix="$prefix" "${ffmpeg_options[@]}" &&
  make -j"$jobs" && make install) >>"$log" 2>&1
cp "$(src ffmpeg)/COPYING.GPLv2" "$prefix/licenses/ffmpeg.txt"

printf '%s\n' "${sources[@]}" >"$prefix/versions"
echo "$compiler" >"$prefix/compiler"
touch "$prefix/done"
rm -rf "$work"
echo "$prefix"
