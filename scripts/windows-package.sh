#!/usr/bin/env bash
# Builds the Windows package: slidecut.exe with the codec libraries of
# scripts/windows-libs.sh linked in, the manual as text, and the license
# texts of everything inside; a folder and a zip of it under OUT (default
# build/). Prints the folder.
# Usage: windows-package.sh [OUT]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
prefix=$("$root/scripts/windows-libs.sh")
build=$out/mingw-codecs
# Configured afresh: a new prefix must not meet what pkg-config found in an older one.
cmake --fresh -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DSLIDECUT_TESTS=OFF -DSLIDECUT_WERROR=ON -DSLIDECUT_REENCODE=ON -DSLIDECUT_CODEC_PREFIX="$prefix" >/dev/null
cmake --build "$build" --target slidecut -j "$(nproc)" >/dev/null

version=$(sed -n 's/^project(slidecut VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name=slidecut-$version-windows-x64
package=$out/$name
rm -rf "$package" "$package.zip"
mkdir -p "$package/licenses"
x86_64-w64-mingw32-strip -o "$package/slidecut.exe" "$build/slidecut.exe"
crlf() { sed -e 's/$/\r/'; }
mandoc -T utf8 "$root/doc/slidecut.1" | col -bx | crlf >"$package/slidecut.txt"
crlf <"$root/LICENSE" >"$package/licenses/slidecut.txt"
for f in "$prefix"/licenses/*.txt; do crlf <"$f" >"$package/licenses/$(basename "$f")"; done
{
  echo "slidecut $version for 64-bit Windows"
  echo
  echo "slidecut.exe needs nothing else: FFmpeg's libavcodec and libavutil, x264,"
  echo "x265, libvpx and libaom are linked into it. Its manual is slidecut.txt."
  echo
  echo "slidecut's own sources are under the MIT license (licenses/slidecut.txt)."
  echo "x264 and x265 are under the GNU General Public License, version 2 or later,"
  echo "and FFmpeg, built with them, is too (licenses/ffmpeg.txt, x264.txt,"
  echo "x265.txt); libvpx and libaom are under BSD licenses (libvpx.txt,"
  echo "libaom.txt, with AOM's patent license, libaom-patents.txt). This package"
  echo "as a whole is distributed under the terms of the GPL, version 2 or later."
  echo "The libraries were built unchanged from Debian's source packages of"
  echo "these versions, with $(cat "$prefix/compiler"):"
  sed -e 's/^/  apt-get source /' "$prefix/versions"
  echo "slidecut's sources: the repository this package was built from."
} | crlf >"$package/README.txt"
(cd "$out" && zip -qr "$name.zip" "$name")
echo "$package"
