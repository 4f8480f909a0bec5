#!/usr/bin/env bash
# The program as built fetches the fixed URL from its host, trusting the
# system's authorities:   fixed_host.sh PROGRAM SOURCE HOST
# In a private namespace (scripts/ns-run; exits 77 where none can be made).
set -euo pipefail
program=$1 source=$2 host=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/home"
printf '#!/bin/sh\nprintf "Distributor ID:\\tDebian\\nCodename:\\tbookworm\\n"\n' >"$work/bin/lsb_release"
chmod +x "$work/bin/lsb_release"
status=0
"$source/scripts/ns-run" --host "$host" -- "$source/scripts/serve-config" \
  "$source/data/qor-config.cfg" env -i PATH="$work/bin" HOME="$work/home" "$program" \
  >"$work/out" 2>"$work/err" || status=$?
((status != 77)) || exit 77
cat "$work/out" "$work/err"
((status == 0)) && cmp "$source/data/qor-config.cfg" "$work/home/.qor-config" &&
  grep -q "^  install: \[qor-desktop " "$work/err"
