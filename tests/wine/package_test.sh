#!/usr/bin/env bash
# Builds the Windows package (scripts/windows-package.sh, its libraries from
# the cache) and installs it as a new user would: the folder copied into a
# new one, run in a fresh wine prefix with nothing else installed. Checks
# what the package holds and that slidecut.exe needs no DLL beyond the
# system's. Usage: package_test.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source=$1 work=$2
source "$(dirname "$0")/lib.sh"
need_windows_tools nasm
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

package=$("$source/scripts/windows-package.sh" "$work/build")
rm -rf "$work/installed" "$work/prefix"
cp -r "$package" "$work/installed"
export WINEPREFIX=$work/prefix WINEDEBUG=-all
"$wine" cmd /c exit >/dev/null 2>&1 || true # sets up the fresh prefix

for f in slidecut.exe slidecut.txt README.txt licenses/slidecut.txt licenses/ffmpeg.txt licenses/x264.txt licenses/x265.txt licenses/libvpx.txt licenses/libaom.txt; do
  [ -s "$work/installed/$f" ] || fail "the package holds no $f"
done
[ -s "$package.zip" ] || fail "no zip beside the package folder"
dlls=$(x86_64-w64-mingw32-objdump -p "$work/installed/slidecut.exe" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
[ "$dlls" = "bcrypt.dll kernel32.dll msvcrt.dll " ] || fail "slidecut.exe imports $dlls"
usage=$("$wine" "$work/installed/slidecut.exe" 2>&1 | tr -d '\r' || true)
[[ $usage == *"usage: slidecut"* ]] || fail "slidecut.exe without arguments says: $usage"
echo "package: $(cd "$work/installed" && find . -type f | sort | tr '\n' ' '), zip $(stat -c %s "$package.zip") bytes, imports $dlls"
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "all checks passed"
