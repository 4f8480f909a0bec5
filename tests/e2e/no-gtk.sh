#!/usr/bin/env bash
# The command-line program never loads the toolkit: it links the static
# archive with --as-needed, so the dialog's object and GTK's libraries stay
# out. Checked twice: no GTK or GDK library among the ones the executable
# needs (ldd, outside the namespace), and none loaded during a whole
# successful run (the dynamic loader's own trace, inside it).
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"
if [[ -z ${E2E_WORK:-} ]]; then
  linked=$(ldd "$1") || { echo "FAIL: ldd $1" >&2; exit 1; }
  if grep -E 'lib(gtk|gdk)-' <<<"$linked" >&2; then
    echo "FAIL: the executable needs GTK" >&2
    exit 1
  fi
fi
e2e_enter "$@"

e2e_serve --file "$(dirname "$0")/fixture.cfg"
e2e_fake_lsb_release $'Distributor ID:\tDebian' $'Release:\t12' $'Codename:\tbookworm'
e2e_run PATH="$WORK/bin" HOME="$WORK/home" LD_DEBUG=libs
e2e_expect_status 0
grep -qE 'calling init: .*libsoup-(2\.4|3\.0)' "$WORK/err" ||
  e2e_fail "the loader's trace does not show libsoup: the trace cannot be trusted"
if grep -E 'lib(gtk|gdk)-' "$WORK/err" | head -5 >&2; then
  e2e_fail "GTK was loaded during the run"
fi

e2e_finish
