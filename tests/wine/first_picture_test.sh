#!/usr/bin/env bash
# The first-picture oracle on the installed Windows package under wine: each
# slide shows its own first picture at its first moment, as on Linux, and
# its files are those of the Linux build byte for byte (both use the same
# versions of the same libraries). Usage: first_picture_test.sh SLIDECUT
# EDIT_RECORDING KIND PACKAGE_WORK_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
linux=$1 edit=$2 kind=$3 work=$4
if [ ! -x "$work/installed/slidecut.exe" ]; then
  [ "${CI:-}" != true ] || { echo "FAIL: the Windows package was not installed (wine.package)" >&2; exit 1; }
  echo "SKIP: the Windows package was not installed (wine.package skipped)" >&2
  exit 77
fi
export SLIDECUT_EXE=$work/installed/slidecut.exe WINEPREFIX=$work/prefix SAME_AS=$linux
exec bash "$here/../oracle/first_picture_test.sh" "$here/slidecut_exe.sh" "$edit" "$kind"
