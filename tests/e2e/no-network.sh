#!/usr/bin/env bash
# No configuration to be had: nothing listens on the host, then the server
# answers 404. Each time the block, the download warning, "Config not found
# at" with the URL, exit 1, no dump, and an old local copy left as it was.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_enter "$@"

e2e_fake_lsb_release $'Distributor ID:\tDebian' $'Release:\t12' $'Codename:\tbookworm'
old=$'[Debian bookworm]\ni left over from an earlier run\n'
printf '%s' "$old" >"$WORK/home/.qor-config"
block=$(e2e_block Debian 12 bookworm)$'\n'
warning="No LSB modules are available."$'\n\n'"WARNING: Failed to download config file '$URL'"$'\n\n'

check_no_configuration() {
  e2e_run PATH="$WORK/bin" HOME="$WORK/home"
  e2e_expect_status 1
  e2e_expect_text "standard output ($1)" "$WORK/out" "${block}Config not found at $URL"$'\n'
  e2e_expect_text "standard error ($1)" <(e2e_stderr) "$warning"
  e2e_expect_text "local copy ($1)" "$WORK/home/.qor-config" "$old"
}

check_no_configuration "nothing listening"
e2e_serve --status 404
check_no_configuration "404"

e2e_finish
