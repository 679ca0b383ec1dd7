#!/usr/bin/env bash
# Usage: man_options_test.sh PROGRAM MAN_PAGE VERSION
# Fails when the options PROGRAM's --help lists differ from those the OPTIONS
# section of MAN_PAGE documents, or when PROGRAM --version does not report VERSION.
set -euo pipefail
program=$1 page=$2 version=$3
name=$(basename "$program")

# Option words: a dash or two and a letter, at the start of a word (so that
# "tavinor-convert" or "built-in" are not read as options), up to an "=" or a space.
options() { grep -oE '(^|[[:space:],["(])--?[A-Za-z][-A-Za-z]*' | sed -E 's/^[[:space:],["(]//' | sort -u; }

from_help=$("$program" --help | options)
# The page's OPTIONS section, with roff's escaped dashes and font changes undone.
from_page=$(sed -n '/^\.SH OPTIONS/,/^\.SH /{/^\.SH/d;p}' "$page" | sed -E 's/\\-/-/g; s/\\f[BIRP]//g' | options)

status=0
if [[ -z $from_help ]]; then
  echo "$name --help lists no options" >&2
  status=1
fi
if [[ $from_help != "$from_page" ]]; then
  echo "options of $name --help and of $(basename "$page") differ (< help, > man page):" >&2
  diff <(echo "$from_help") <(echo "$from_page") >&2 || true
  status=1
fi
reported=$("$program" --version)
if [[ $reported != "$name $version" ]]; then
  echo "$name --version says '$reported', expected '$name $version'" >&2
  status=1
fi
exit $status
