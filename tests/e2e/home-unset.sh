#!/usr/bin/env bash
# Without HOME the local copy goes to the home folder of the user's password
# entry (root's, here). A temporary folder is mounted over that home inside
# the namespace, so the real one is never touched.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_enter "$@"

root_home=$(getent passwd "$(id -u)" | cut -d: -f6)
[[ -d $root_home ]] || e2e_fail "no home folder in the password entry"
e2e_serve --file "$(dirname "$0")/fixture.cfg"
mkdir -p "$WORK/root-home"
mount --bind "$WORK/root-home" "$root_home"
e2e_fake_lsb_release $'Distributor ID:\tUbuntu' $'Release:\t22.04' $'Codename:\tjammy'

e2e_run PATH="$WORK/bin"
e2e_expect_status 0
e2e_expect_text "standard output" "$WORK/out" "$(e2e_block Ubuntu 22.04 jammy)"$'\n'
e2e_expect_text "standard error" <(e2e_stderr) "No LSB modules are available."$'\n'"$(e2e_dump \
  '(nil)' 'deb https://repo.qor.example/ubuntu jammy main' '' '' '' 'qor-driver' '')"$'\n'
cmp -s "$(dirname "$0")/fixture.cfg" "$WORK/root-home/.qor-config" ||
  e2e_fail "the local copy is not in the password entry's home folder"
[[ ! -e $WORK/home/.qor-config ]] || e2e_fail "the local copy went to the old HOME"

e2e_finish
