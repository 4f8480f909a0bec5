#!/usr/bin/env bash
# A file saved with CR LF line ends. The blank line between two lines of the
# section is a lone CR: not empty, so the section goes on past it with a
# warning (code 13). An e line keeps its CR; an e line nested in a kernel
# range loses it; the other letters trim it. The local copy keeps every byte.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_enter "$@"

printf '%s\r\n' '[Ubuntu jammy]' 'i qor-driver-ubuntu' '' '[Debian bookworm]' \
  's deb https://repo.qor.example/debian bookworm main' '' 'e Reboot after installing' \
  'k 0 999 e Kernel modules are rebuilt on upgrade' 'i qor-driver' \
  '[Fedora Thirty Nine]' 'i qor-never' >"$WORK/crlf.cfg"
e2e_serve --file "$WORK/crlf.cfg"
e2e_fake_lsb_release $'Distributor ID:\tDebian' $'Release:\t12' $'Codename:\tbookworm'

e2e_run PATH="$WORK/bin" HOME="$WORK/home"
e2e_expect_status 0
e2e_expect_text "standard output" "$WORK/out" "$(e2e_block Debian 12 bookworm)"$'\n'
warning=$'\nWARNING: Unrecognised config instruction: \\u000d (13)\n'
dump=$(e2e_dump $'Reboot after installing\r Kernel modules are rebuilt on upgrade' \
  'deb https://repo.qor.example/debian bookworm main' '' '' '' 'qor-driver' '')$'\n'
e2e_expect_text "standard error" <(e2e_stderr) "No LSB modules are available."$'\n'"$warning$dump"
cmp -s "$WORK/crlf.cfg" "$WORK/home/.qor-config" || e2e_fail "the local copy is not the served file"

e2e_finish
