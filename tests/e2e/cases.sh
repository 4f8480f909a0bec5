#!/usr/bin/env bash
# The end-to-end cases, one per run:   cases.sh CASE QOR_CONFIG_TEST CONFIG_HOST
# shellcheck source=tests/e2e/lib.sh
# shellcheck disable=SC2317 # the cases are called by name below
source "$(dirname "$0")/lib.sh"

debian_12() { e2e_fake_lsb_release $'Distributor ID:\tDebian' $'Release:\t12' $'Codename:\tbookworm'; }
run_as_user() { e2e_run PATH="$WORK/bin" HOME="$WORK/home" "$@"; }

# The file is fetched over an old local copy and the Debian section picked;
# in one combined stream the distribution block comes first.
case_success() {
  e2e_serve --file "$FIXTURE"
  e2e_fake_lsb_release $'Distributor ID:\tDebian' \
    $'Description:\tDebian GNU/Linux 12 (bookworm)' $'Release:\t12' $'Codename:\tbookworm'
  echo "[Debian bookworm]" >"$WORK/home/.qor-config"
  local block dump
  block=$(e2e_block Debian 12 bookworm)$'\n'
  dump=$(e2e_dump 'Log out and back in after the upgrade  ' \
    'deb https://repo.qor.example/debian bookworm main deb-src https://repo.qor.example/debian bookworm main' \
    'https://repo.qor.example/keys/qor-archive.asc' \
    'https://docs.qor.example/install/debian-12.html' 'qor-desktop qor-settings' \
    'qor-desktop qor-modules-dkms' 'qor-desktop qor-settings')$'\n'
  run_as_user
  e2e_check 0 "$block" "$LSB_NOTE$dump"
  cmp -s "$FIXTURE" "$WORK/home/.qor-config" || e2e_fail "the local copy is not the served file"
  env -i PATH="$WORK/bin" HOME="$WORK/home" "$BIN" >"$WORK/combined" 2>&1
  e2e_expect_text "combined output" "$WORK/combined" "$LSB_NOTE$block$dump"
}

# Nothing listening, then a 404: the warning, "Config not found at" the URL,
# exit 1, no dump, and the old local copy left as it was.
case_no_network() {
  debian_12
  local old=$'[Debian bookworm]\ni left over from an earlier run\n' what
  printf '%s' "$old" >"$WORK/home/.qor-config"
  for what in "nothing listening" 404; do
    [[ $what == 404 ]] && e2e_serve --status 404
    run_as_user
    e2e_check 1 "$(e2e_block Debian 12 bookworm)"$'\n'"Config not found at $URL"$'\n' \
      "$LSB_NOTE"$'\n'"WARNING: Failed to download config file '$URL'"$'\n\n' "($what)"
    e2e_expect_text "local copy ($what)" "$WORK/home/.qor-config" "$old"
  done
}

# No section for the distribution: six empty lists, errors absent, exit 0. A
# release without a codename is searched under the "(null)" the block shows.
case_no_section() {
  e2e_serve --file "$FIXTURE"
  e2e_fake_lsb_release $'Distributor ID:\tArch' $'Release:\trolling' $'Codename:\tn/a'
  run_as_user
  e2e_check 0 "$(e2e_block Arch rolling n/a)"$'\n' "$LSB_NOTE$(e2e_dump '(nil)' '' '' '' '' '' '')"$'\n'
  e2e_fake_lsb_release $'Distributor ID:\tDebian' $'Release:\ttesting'
  run_as_user
  e2e_check 0 "$(e2e_block Debian testing '(null)')"$'\n' \
    "$LSB_NOTE$(e2e_dump '(nil)' '' '' '' '' 'qor-desktop-unnamed-release' '')"$'\n' "(no codename)"
}

# CR LF line ends: the blank line is a lone CR, not empty, so the section goes
# on past it with a warning. An e line keeps its CR, one nested in a kernel
# range loses it, the other letters trim it; the local copy keeps every byte.
case_crlf() {
  printf '%s\r\n' '[Ubuntu jammy]' 'i qor-desktop-ubuntu' '' '[Debian bookworm]' \
    's deb https://repo.qor.example/debian bookworm main' '' 'e Reboot after installing' \
    'k 0 999 e Kernel modules are rebuilt on upgrade' 'i qor-desktop' \
    '[Fedora Thirty Nine]' 'i qor-never' >"$WORK/crlf.cfg"
  e2e_serve --file "$WORK/crlf.cfg"
  debian_12
  run_as_user
  e2e_check 0 "$(e2e_block Debian 12 bookworm)"$'\n' \
    "$LSB_NOTE"$'\nWARNING: Unrecognised config instruction: \\u000d (13)\n'"$(e2e_dump \
      $'Reboot after installing\r Kernel modules are rebuilt on upgrade' \
      'deb https://repo.qor.example/debian bookworm main' '' '' '' 'qor-desktop' '')"$'\n'
  cmp -s "$WORK/crlf.cfg" "$WORK/home/.qor-config" || e2e_fail "the local copy is not the served file"
}

# No lsb_release on PATH (an empty folder): release and codename come from
# /etc/fedora-release, which exists only in this namespace's copy of /etc.
case_fedora_fallback() {
  mkdir "$WORK/nobin" && cp -a /etc "$WORK/etc"
  mount --bind "$WORK/etc" /etc
  e2e_serve --file "$FIXTURE"
  echo "Fedora release 39 (Thirty Nine)" >/etc/fedora-release
  e2e_run PATH="$WORK/nobin" HOME="$WORK/home"
  e2e_check 0 "$(e2e_block Fedora 39 'Thirty Nine')"$'\n' "$(e2e_dump '(nil)' \
    'https://repo.qor.example/fedora/39/qor.repo' 'https://repo.qor.example/keys/RPM-GPG-KEY-qor' \
    '' '' 'qor-desktop akmod-qor' '')"$'\n'
  echo "Fedora release rawhide" >/etc/fedora-release
  e2e_run PATH="$WORK/nobin" HOME="$WORK/home"
  e2e_check 0 "$(e2e_block Fedora Unknown Unknown)"$'\n' \
    "$(e2e_dump '(nil)' '' '' '' '' '' '')"$'\n' "(no match)"
}

# Without HOME the local copy goes to the password entry's home, over which a
# temporary folder is mounted so that the real one is never touched.
case_home_unset() {
  local root_home
  root_home=$(getent passwd "$(id -u)" | cut -d: -f6)
  [[ -d $root_home ]] || e2e_fail "no home folder in the password entry"
  e2e_serve --file "$FIXTURE"
  mkdir -p "$WORK/root-home"
  mount --bind "$WORK/root-home" "$root_home"
  e2e_fake_lsb_release $'Distributor ID:\tUbuntu' $'Release:\t22.04' $'Codename:\tjammy'
  e2e_run PATH="$WORK/bin"
  e2e_check 0 "$(e2e_block Ubuntu 22.04 jammy)"$'\n' "$LSB_NOTE$(e2e_dump \
    '(nil)' 'deb https://repo.qor.example/ubuntu jammy main' '' '' '' 'qor-desktop' '')"$'\n'
  cmp -s "$FIXTURE" "$WORK/root-home/.qor-config" ||
    e2e_fail "the local copy is not in the password entry's home folder"
  [[ ! -e $WORK/home/.qor-config ]] || e2e_fail "the local copy went to the old HOME"
}

# No GTK or GDK library is loaded during a whole successful run (the dynamic
# loader's own trace), nor among those the executable needs (ldd, below).
case_no_gtk() {
  e2e_serve --file "$FIXTURE"
  debian_12
  run_as_user LD_DEBUG=libs
  [[ $(cat "$WORK/status") == 0 ]] || e2e_fail "exit status $(cat "$WORK/status")"
  grep -qE 'calling init: .*libsoup-(2\.4|3\.0)' "$WORK/err" ||
    e2e_fail "the loader's trace does not show libsoup: the trace cannot be trusted"
  if grep -E 'lib(gtk|gdk)-' "$WORK/err" | head -5 >&2; then
    e2e_fail "GTK was loaded during the run"
  fi
}

if [[ $1 == no-gtk && -z ${E2E_WORK:-} ]]; then
  linked=$(ldd "$2") || { echo "FAIL: ldd $2" >&2; exit 1; }
  ! grep -E 'lib(gtk|gdk)-' <<<"$linked" >&2 || { echo "FAIL: the executable needs GTK" >&2; exit 1; }
fi
e2e_enter "$@"
"case_${1//-/_}"
e2e_finish
