#!/usr/bin/env bash
# Every symbol a shared library exports is declared QOR_EXPORT in its public
# headers and every such declaration is exported, so that nothing private
# reaches the interface; and every exported symbol carries a version node:
#   exports.sh LIBRARY HEADER...
set -euo pipefail
library=$1
shift
fail() { echo "exports.sh: ${library##*/} $*" >&2; exit 1; }
symbols=$(nm -D --defined-only --with-symbol-versions "$library" | grep -v ' A ')
unversioned=$(grep -v '@@QOR_[0-9]*\.[0-9]*$' <<<"$symbols" || true)
[[ -z $unversioned ]] || fail "exports symbols without a version node: $unversioned"
exported=$(nm -D --defined-only --demangle "$library" | grep -v ' A ' |
  sed -E 's/^[0-9a-f]+ . //; s/@@.*//; s/\[abi:[^]]*\]//g; s/\(.*//; s/^qor:://' | sort -u)
declared=$(grep -h '^QOR_EXPORT' "$@" | sed -E 's/[([;].*//; s/.*[ *&]//' | sort -u)
diff <(echo "$declared") <(echo "$exported") ||
  fail "exports (>) other than its headers declare (<)"
