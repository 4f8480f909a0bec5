#!/usr/bin/env bash
# The program as built fetches the fixed URL from its host, trusting the system's authorities,
# from nginx with HTTP/2 on (serve-config --nginx); nginx's log must show the protocol spoken:
#   fixed_host.sh PROGRAM SOURCE HOST HTTP/2.0|HTTP/1.1
# In a private namespace (scripts/ns-run; exits 77 where none can be made).
# The autopkgtest fixed-host runs it on the installed program.
set -euo pipefail
program=$1 source=$2 host=$3 protocol=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/home"
printf '#!/bin/sh\nprintf "Distributor ID:\\tDebian\\nCodename:\\tbookworm\\n"\n' >"$work/bin/lsb_release"
chmod +x "$work/bin/lsb_release"
# As a user runs it; then nginx's log, once nginx has written it.
# shellcheck disable=SC2016 # expanded by the shell that serve-config runs
run='env -i PATH="$0/bin" HOME="$0/home" ${ASAN_OPTIONS:+"ASAN_OPTIONS=$ASAN_OPTIONS"} "$1" &&
  for _ in $(seq 100); do [[ -s $QOR_SERVED/access.log ]] && break; sleep 0.05; done &&
  cp "$QOR_SERVED/access.log" "$0"'
status=0
"$source/scripts/ns-run" --host "$host" -- "$source/scripts/serve-config" --nginx \
  "$source/data/qor-config.cfg" bash -c "$run" "$work" "$program" >"$work/out" 2>"$work/err" || status=$?
((status != 77)) || exit 77
cat "$work/out" "$work/err"
((status == 0)) && cmp "$source/data/qor-config.cfg" "$work/home/.qor-config" &&
  grep -q "^  install: \[qor-desktop " "$work/err" &&
  grep -qx "GET /gfx/qor-config.cfg $protocol 200 $(stat -c %s "$source/data/qor-config.cfg")" \
    "$work/access.log"
