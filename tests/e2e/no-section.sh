#!/usr/bin/env bash
# A distribution the file has no section for still gets a configuration:
# six empty lists, errors absent, exit 0. A release without a codename is
# searched under the same "(null)" the block shows.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_enter "$@"

e2e_serve --file "$(dirname "$0")/fixture.cfg"
empty=$(e2e_dump '(nil)' '' '' '' '' '' '')$'\n'

e2e_fake_lsb_release $'Distributor ID:\tArch' $'Description:\tArch Linux' \
  $'Release:\trolling' $'Codename:\tn/a'
e2e_run PATH="$WORK/bin" HOME="$WORK/home"
e2e_expect_status 0
e2e_expect_text "standard output" "$WORK/out" "$(e2e_block Arch rolling n/a)"$'\n'
e2e_expect_text "standard error" <(e2e_stderr) "No LSB modules are available."$'\n'"$empty"

e2e_fake_lsb_release $'Distributor ID:\tDebian' $'Release:\ttesting'
e2e_run PATH="$WORK/bin" HOME="$WORK/home"
e2e_expect_status 0
e2e_expect_text "standard output (no codename)" "$WORK/out" \
  "$(e2e_block Debian testing '(null)')"$'\n'
e2e_expect_text "standard error (no codename)" <(e2e_stderr) \
  "No LSB modules are available."$'\n'"$(e2e_dump '(nil)' '' '' '' '' 'qor-driver-unnamed-release' '')"$'\n'

e2e_finish
