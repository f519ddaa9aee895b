#!/usr/bin/env bash
# An oracle test of new starts (first_picture_test.sh, clean_start_test.sh)
# on the installed Windows package under wine: its slides pass as on Linux,
# and its files are those of the Linux build byte for byte (both use the
# same versions of the same libraries). Usage: oracle_test.sh ORACLE
# SLIDECUT EDIT_RECORDING KIND PACKAGE_WORK_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
oracle=$1 linux=$2 edit=$3 kind=$4 work=$5
if [ ! -x "$work/installed/slidecut.exe" ]; then
  [ "${CI:-}" != true ] || { echo "FAIL: the Windows package was not installed (wine.package)" >&2; exit 1; }
  echo "SKIP: the Windows package was not installed (wine.package skipped)" >&2
  exit 77
fi
export SLIDECUT_EXE=$work/installed/slidecut.exe WINEPREFIX=$work/prefix SAME_AS=$linux
exec bash "$here/../oracle/$oracle" "$here/slidecut_exe.sh" "$edit" "$kind"
