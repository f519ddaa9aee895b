# Shared by the tests that run the Windows build under wine: sets wine to its
# binary. need_windows_tools [COMMAND...] skips the test (fails it under CI)
# where mingw-w64, wine or a command named is missing.
wine=$(command -v wine64 || true)
[ -n "$wine" ] || [ ! -x /usr/lib/wine/wine64 ] || wine=/usr/lib/wine/wine64

need_windows_tools() {
  local missing=() needed
  command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(mingw-w64)
  [ -n "$wine" ] || missing+=(wine)
  for needed in "$@"; do
    command -v "$needed" >/dev/null || missing+=("$needed")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  [ "${CI:-}" != true ] || { echo "FAIL: ${missing[*]} required under CI (scripts/install-deps.sh windows)" >&2; exit 1; }
  echo "SKIP: ${missing[*]} not found (scripts/install-deps.sh windows)" >&2
  exit 77
}
