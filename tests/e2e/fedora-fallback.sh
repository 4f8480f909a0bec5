#!/usr/bin/env bash
# A Fedora desktop without lsb_release: the program reads /etc/fedora-release
# instead, takes release and codename from it and picks that section. PATH
# holds only an empty folder, so no lsb_release (/usr/bin's included) can be
# found. /etc/fedora-release exists only in this namespace: /etc is a copy.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_enter "$@"

cp -a /etc "$WORK/etc"
mount --bind "$WORK/etc" /etc
mkdir -p "$WORK/nobin"
if PATH="$WORK/nobin" command -v lsb_release >/dev/null; then
  e2e_fail "lsb_release is still on PATH"
fi
e2e_serve --file "$(dirname "$0")/fixture.cfg"

echo "Fedora release 39 (Thirty Nine)" >/etc/fedora-release
e2e_run PATH="$WORK/nobin" HOME="$WORK/home"
e2e_expect_status 0
e2e_expect_text "standard output" "$WORK/out" "$(e2e_block Fedora 39 'Thirty Nine')"$'\n'
e2e_expect_text "standard error" <(e2e_stderr) "$(e2e_dump '(nil)' \
  'https://repo.qor.example/fedora/39/qor.repo' 'https://repo.qor.example/keys/RPM-GPG-KEY-qor' \
  '' '' 'qor-driver akmod-qor' '')"$'\n'

echo "Fedora release rawhide" >/etc/fedora-release
e2e_run PATH="$WORK/nobin" HOME="$WORK/home"
e2e_expect_status 0
e2e_expect_text "standard output (no match)" "$WORK/out" "$(e2e_block Fedora Unknown Unknown)"$'\n'
e2e_expect_text "standard error (no match)" <(e2e_stderr) \
  "$(e2e_dump '(nil)' '' '' '' '' '' '')"$'\n'

e2e_finish
