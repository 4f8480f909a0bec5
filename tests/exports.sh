#!/usr/bin/env bash
# Every symbol a shared library exports is declared QOR_EXPORT in its public
# headers and every such declaration is exported, so that nothing private
# reaches the interface:   exports.sh LIBRARY HEADER...
set -euo pipefail
library=$1
shift
exported=$(nm -D --defined-only --demangle "$library" | sed -E 's/^[0-9a-f]+ . //; s/\[abi:[^]]*\]//g; s/\(.*//; s/^qor:://' | sort -u)
declared=$(grep -h '^QOR_EXPORT' "$@" | sed -E 's/[([].*//; s/.*[ *&]//' | sort -u)
diff <(echo "$declared") <(echo "$exported") ||
  { echo "exports.sh: ${library##*/} exports (>) other than its headers declare (<)" >&2; exit 1; }
