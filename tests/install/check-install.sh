#!/usr/bin/env bash
# Installs a build tree into a staging folder, as a package build would, and uses it as another
# project would:   check-install.sh BUILD SOURCE QOR_HTTP QOR_TOOLKITS QOR_INTROSPECTION SEAMED
# (SEAMED: the folder of the tests' copy of the library).
set -euo pipefail
build=$1 source=$2 http=$3 toolkits=${4//;/ } introspection=$5 seamed=$6
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }
export ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0  # a sanitized library, plain example

DESTDIR=$work/stage cmake --install "$build" >/dev/null
PKG_CONFIG_PATH=$(dirname "$(find "$work/stage" -name qor-config.pc)") && export PKG_CONFIG_PATH
prefix=$(realpath "$(pkg-config --variable=prefix qor-config)")
libdir=$(realpath "$(pkg-config --variable=libdir qor-config)")
export CMAKE_PREFIX_PATH=$prefix LD_LIBRARY_PATH=$libdir GI_TYPELIB_PATH=$libdir/girepository-1.0
wanted="libsoup-3.0 libsodium" && [[ $http == soup2 ]] && wanted="libsoup-2.4 libsoup-gnome-2.4 libsodium"
[[ $(pkg-config --print-requires-private qor-config | xargs) == "$wanted" ]] || fail "Requires"
# No toolkit comes with the core library; each box brings only its own.
[[ $(pkg-config --print-requires qor-config | xargs) == "glib-2.0 gobject-2.0 gio-2.0" ]] || fail "GLib"
! ldd "$libdir/libqor-config.so" | grep -E 'gtk|gdk' || fail "the core library loads GTK"
for gtk in $toolkits; do
  [[ $(pkg-config --print-requires "qor-config-$gtk" | xargs) == "qor-config ${gtk/gtk3/gtk+-3.0}" ]] ||
    fail "$gtk"
done

# The tools stay usable on machines without a graphical session.
! readelf -d "$prefix/bin/qor-config-test" | grep -E 'NEEDED.*(gtk|gdk|qor-config)' || fail "GTK"
grep -q "https://.*/gfx/qor-config.cfg" "$prefix/share/man/man1/qor-config-test.1" || fail "man"
# The checker's manual page points to the publisher's guide where it is installed.
guide=$(sed -n 's|^\.IR \(/.*/file-format\.md\) \.$|\1|p' "$prefix/share/man/man1/qor-config-check.1")
[[ -n $guide && -f $work/stage$guide ]] || fail "the publisher's guide: '$guide'"

# Our headers are under one folder whose parent alone is on a caller's include path.
[[ $(ls "$prefix/include") == "qor-1" && $(ls "$prefix/include/qor-1") == qor ]] ||
  fail "headers outside include/qor-1/qor"
read -ra cflags <<<"$(pkg-config --cflags qor-config)"
[[ $(realpath "${cflags[0]#-I}") == "$prefix/include/qor-1" ]] || fail "Cflags: ${cflags[*]}"
[[ $(find "$prefix/include" -type f | wc -l) == $((${#toolkits} ? 11 : 10)) ]] || fail "headers"
! grep "#include.*display_error" "$prefix/include/qor-1/qor/qor.hpp" || fail "qor.hpp has the box"

# shellcheck disable=SC2086 # the boxes are words
bash "$source/tests/install/callers.sh" c $toolkits
[[ $introspection == ON ]] || exit 0
[[ -f $prefix/share/gir-1.0/Qor-1.0.gir ]] || fail "no Qor-1.0.gir"
# The load through the typelib, from a server on loopback that only the tests' library reaches.
mkdir "$work/bin" "$work/home"
printf '#!/bin/sh\necho "Codename: bookworm"; echo "Distributor ID: Debian"\n' >"$work/bin/lsb_release"
chmod +x "$work/bin/lsb_release"
"$source/scripts/serve-config" --any-port "$source/data/qor-config.cfg" env PATH="$work/bin:$PATH" \
  HOME="$work/home" LD_LIBRARY_PATH="$seamed" bash "$source/tests/install/callers.sh" python
