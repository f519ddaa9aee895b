#!/usr/bin/env bash
# Installs, with apt-get on Debian, what each capability needs; as root.
#   build     the tool: CMake and a C++ compiler
#   reencode  new starts for slides cut between keyframes (libavcodec)
#   tests     GoogleTest and the real clients the test suite checks slides with
#   windows   the Windows build and its codec libraries (mingw-w64, wine, nasm,
#             Debian's source packages)
#   fuzz      the libFuzzer targets (clang)
#   all       every one of them
# Usage: scripts/install-deps.sh [--missing] CAPABILITY...
#   --missing  only print the packages that are not installed yet
set -euo pipefail
print_missing=false
[ "${1:-}" = --missing ] && { print_missing=true; shift; }
[ $# -gt 0 ] || { sed -n '2,12s/^# \{0,1\}//p' "$0" >&2; exit 2; }

packages_of() {
  case "$1" in
    build) echo cmake g++ make ;;
    reencode) echo pkg-config libavcodec-dev libavutil-dev ;;
    tests) echo libgtest-dev ffmpeg flvmeta yamdi mandoc strace lintian man-db bsdutils gstreamer1.0-tools gstreamer1.0-plugins-good \
                gstreamer1.0-plugins-bad gstreamer1.0-libav chromium firefox-esr ;;
    windows) echo g++-mingw-w64-x86-64-posix wine64 nasm dpkg-dev zip mandoc bsdextrautils ;;
    fuzz) echo clang libclang-rt-14-dev ;;
    *) echo "install-deps.sh: unknown capability $1" >&2; exit 2 ;;
  esac
}
wanted=()
for capability in "$@"; do
  if [ "$capability" = all ]; then set -- build reencode tests windows fuzz; break; fi
done
for capability in "$@"; do
  for p in $(packages_of "$capability"); do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || wanted+=("$p")
  done
  # The web players' tests run on Node.js; a nodejs of its own (NodeSource's)
  # already brings npm, and Debian's would conflict with it.
  if [ "$capability" = tests ] && ! command -v npm >/dev/null; then wanted+=(nodejs npm); fi
done
if $print_missing; then
  echo "${wanted[*]}"
elif [ ${#wanted[@]} -gt 0 ]; then
  echo "install-deps.sh: installing ${wanted[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${wanted[@]}" >/dev/null
fi
