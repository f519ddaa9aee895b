#!/usr/bin/env bash
# The man page says what the README says, where a script can tell: the
# extensions of the slide files (those the source names) and the exit
# statuses. Usage: docs_test.sh SOURCE_DIR
set -euo pipefail
root=$1 failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
readme=$root/README.md page=$root/doc/slidecut.1

source_exts=$(sed -n 's/.*SLIDE_FILE_EXTS\[\] = {\(.*\)};.*/\1/p' "$root/src/slides/slide_name.h" | tr -d '" ' | tr , '\n' | sort)
readme_exts=$(awk '/^\| (mode|combined|separate)/' "$readme" | grep -o '`\(<base>_<n>\)\{0,1\}\.[a-z0-9]*`' | sed 's/.*\.//; s/`//' | sort -u)
page_exts=$(grep -o '^\.IB base _ n \.[a-z0-9]*' "$page" | sed 's/.*\.//' | sort -u)
[ -n "$source_exts" ] || fail "no extensions in src/slides/slide_name.h"
[ "$readme_exts" = "$source_exts" ] || fail "README's extensions: $(echo $readme_exts), the source's: $(echo $source_exts)"
[ "$page_exts" = "$source_exts" ] || fail "the man page's extensions: $(echo $page_exts), the source's: $(echo $source_exts)"

readme_statuses=$(sed -n '/^## Exit status/,/^## /p' "$readme" | grep -o '^| [0-9][0-9]* |' | tr -dc '0-9\n' | sort -n)
page_statuses=$(sed -n '/^\.SH EXIT STATUS/,/^\.SH /p' "$page" | sed -n 's/^\.B \([0-9][0-9]*\)$/\1/p' | sort -n)
[ -n "$readme_statuses" ] || fail "no exit statuses in the README"
[ "$readme_statuses" = "$page_statuses" ] ||
  fail "exit statuses: README $(echo $readme_statuses), man page $(echo $page_statuses)"
[ "$failures" -eq 0 ] || exit 1
echo "extensions $(echo $source_exts) and exit statuses $(echo $readme_statuses) alike in the README, the man page and the source"
