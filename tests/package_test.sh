#!/usr/bin/env bash
# The Debian package CPack makes from this build: lintian finds no error or
# warning; apt installs it with what it needs; the installed slidecut cuts
# the sample and man finds its page; apt removes it, leaving none of its
# files behind. Installing needs root (as CI runs).
# Usage: package_test.sh BUILD_DIR SOURCE_DIR WORK_DIR
set -euo pipefail
build=$1 source=$2 work=$3
skip() {
  [ "${CI:-}" != true ] || { echo "FAIL: $1 is required under CI" >&2; exit 1; }
  echo "SKIP: $1" >&2
  exit 77
}
for tool in dpkg-deb dpkg-shlibdeps lintian apt-get man; do
  command -v "$tool" >/dev/null || skip "$tool (Debian: dpkg-dev lintian apt man-db)"
done
rm -rf "$work" && mkdir -p "$work"
(cd "$build" && cpack -G DEB -B "$work" >/dev/null)
deb=$(ls "$work"/slidecut_*_"$(dpkg --print-architecture)".deb)
echo "$(basename "$deb"):"
dpkg-deb -c "$deb" | awk '{ print "  " $NF }'
dpkg-deb -f "$deb" Depends Recommends | sed 's/^/  /'

# lintian refuses to run as root only with a warning of its own.
tags=$(lintian "$deb" 2>&1 | grep -v 'running with root privileges' || true)
[ -z "$tags" ] || { echo "FAIL: lintian: $tags" >&2; exit 1; }
echo "lintian: no errors, no warnings"

[ "$(id -u)" -eq 0 ] || skip "root, to install the package with apt"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
files=$(dpkg -L slidecut)
mkdir "$work/sample" && cp "$source/examples/talk.flv" "$source/examples/talk.cue" "$work/sample/"
status=0
/usr/bin/slidecut "$work/sample/talk.flv" "$work/sample/talk.cue" >"$work/run.out" 2>"$work/run.err" || status=$?
page=$(man -w slidecut || true)
DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq slidecut >/dev/null
[ "$status" -eq 0 ] && [ -e "$work/sample/talk_4.flv" ] || { echo "FAIL: the installed slidecut: $(cat "$work/run.err")" >&2; exit 1; }
[ "$page" = /usr/share/man/man1/slidecut.1.gz ] || { echo "FAIL: man -w slidecut gives '$page'" >&2; exit 1; }
left=$(for f in $files; do [ -f "$f" ] && echo "$f"; done || true)
[ -z "$left" ] || { echo "FAIL: left after removal: $left" >&2; exit 1; }
! dpkg -s slidecut >/dev/null 2>&1 && [ ! -e /usr/share/doc/slidecut ] || { echo "FAIL: still known to dpkg, or its folder left, after removal" >&2; exit 1; }
echo "installed with apt, cut the sample ($(grep -c 'Processing slide' "$work/run.out") cuts), man -w gave $page, removed without a trace"
