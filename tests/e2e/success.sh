#!/usr/bin/env bash
# A Debian 12 desktop with the network: the program fetches the file,
# replaces an old local copy, picks the Debian section and exits 0. Also run
# into one combined stream, where the distribution block comes first.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"
e2e_enter "$@"

fixture=$(dirname "$0")/fixture.cfg
e2e_serve --file "$fixture"
e2e_fake_lsb_release $'Distributor ID:\tDebian' \
  $'Description:\tDebian GNU/Linux 12 (bookworm)' $'Release:\t12' $'Codename:\tbookworm'
echo "[Debian bookworm]" >"$WORK/home/.qor-config"

e2e_run PATH="$WORK/bin" HOME="$WORK/home"

block=$(e2e_block Debian 12 bookworm)$'\n'
dump=$(e2e_dump 'Secure Boot needs the module signed  ' \
  'deb https://repo.qor.example/debian bookworm main deb-src https://repo.qor.example/debian bookworm main' \
  'https://repo.qor.example/keys/qor-archive.asc' \
  'https://docs.qor.example/install/debian-12.html' 'qor-driver qor-settings' \
  'qor-driver qor-dkms' 'qor-driver qor-settings')$'\n'
e2e_expect_status 0
e2e_expect_text "standard output" "$WORK/out" "$block"
e2e_expect_text "standard error" <(e2e_stderr) "No LSB modules are available."$'\n'"$dump"
cmp -s "$fixture" "$WORK/home/.qor-config" || e2e_fail "the local copy is not the served file"

env -i PATH="$WORK/bin" HOME="$WORK/home" "$BIN" >"$WORK/combined" 2>&1
e2e_expect_text "combined output" "$WORK/combined" \
  "No LSB modules are available."$'\n'"$block$dump"

e2e_finish
