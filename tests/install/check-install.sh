#!/usr/bin/env bash
# Installs a build tree into a staging folder, as a package build would, and
# uses it as another project would:   check-install.sh BUILD SOURCE HTTP TOOLKITS
# (the build's QOR_HTTP, soup2 or soup3, and QOR_TOOLKITS, the boxes built: "gtk3;gtk4").
set -euo pipefail
build=$1 source=$2 http=$3 toolkits=${4//;/ } introspection=$5 seamed=$6
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }
export ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0  # a sanitized library, plain example

DESTDIR=$work/stage cmake --install "$build" >/dev/null
pc=$(find "$work/stage" -name qor-config.pc)
export PKG_CONFIG_PATH=${pc%/*}
prefix=$(realpath "$(pkg-config --variable=prefix qor-config)")
libdir=$(realpath "$(pkg-config --variable=libdir qor-config)")
wanted="libsoup-3.0 libsodium" && [[ $http == soup2 ]] && wanted="libsoup-2.4 libsoup-gnome-2.4 libsodium"
[[ $(pkg-config --print-requires-private qor-config | xargs) == "$wanted" ]] || fail "Requires"
# No toolkit comes with the core library; each box brings only its own.
[[ $(pkg-config --print-requires qor-config | xargs) == "glib-2.0 gobject-2.0 gio-2.0" ]] || fail "GLib"
! ldd "$libdir/libqor-config.so" | grep -E 'gtk|gdk' || fail "the core library loads GTK"
if [[ $introspection == ON ]]; then
  # Debian's own Python, which python3-gi serves, whatever else is first on PATH.
  export GI_TYPELIB_PATH=$libdir/girepository-1.0 LD_LIBRARY_PATH=$libdir
  [[ -f $prefix/share/gir-1.0/Qor-1.0.gir ]] || fail "no Qor-1.0.gir"
  # The asynchronous load through the installed typelib, against an HTTPS
  # server on loopback: the library is the tests' copy, which alone can reach it.
  mkdir "$work/bin" "$work/home"
  printf '#!/bin/sh\necho "Codename: bookworm"; echo "Distributor ID: Debian"\n' >"$work/bin/lsb_release"
  chmod +x "$work/bin/lsb_release"
  "$source/scripts/serve-config" --any-port "$source/data/qor-config.cfg" \
    env PATH="$work/bin:$PATH" HOME="$work/home" LD_LIBRARY_PATH="$seamed" \
    /usr/bin/python3 "$source/examples/python/load-configuration.py" >"$work/python" 2>/dev/null
  grep -qx "install: qor-desktop qor-settings libqor1 qor-session | qor-modules-dkms" "$work/python" ||
    fail "Python's load: $(cat "$work/python")"
fi
unset GI_TYPELIB_PATH LD_LIBRARY_PATH

# The tools stay usable on machines without a graphical session.
! readelf -d "$prefix/bin/qor-config-test" | grep -E 'NEEDED.*(gtk|gdk|qor-config)' || fail "GTK"
grep -q "https://.*/gfx/qor-config.cfg" "$prefix/share/man/man1/qor-config-test.1" || fail "man"
# The checker's manual page points to the publisher's guide where it is installed.
guide=$(sed -n 's|^\.IR \(/.*/file-format\.md\) \.$|\1|p' "$prefix/share/man/man1/qor-config-check.1")
[[ -n $guide && -f $work/stage$guide ]] || fail "the publisher's guide: '$guide'"

# Our headers, under one folder whose parent alone is on a caller's include
# path, each compile on their own from C++17 on, the C ones as C11 too.
[[ $(ls "$prefix/include") == "qor-1" && $(ls "$prefix/include/qor-1") == qor ]] ||
  fail "headers outside include/qor-1/qor"
read -ra cflags <<<"$(pkg-config --cflags qor-config)"
[[ $(realpath "${cflags[0]#-I}") == "$prefix/include/qor-1" ]] || fail "Cflags: ${cflags[*]}"
for header in "$prefix"/include/qor-1/qor/*; do
  echo "#include <qor/${header##*/}>" | c++ -std=c++17 -x c++ -fsyntax-only -Wall -Wextra -Werror \
    "${cflags[@]}" - || fail "${header##*/} does not compile on its own"
  [[ $header == *.hpp ]] || echo "#include <qor/${header##*/}>" |
    cc -std=c11 -x c -fsyntax-only -Wall -Wextra -Werror "${cflags[@]}" - || fail "$header is not C"
done
[[ $(find "$prefix/include" -type f | wc -l) == $((${#toolkits} ? 11 : 10)) ]] || fail "headers"
! grep "#include.*display_error" "$prefix/include/qor-1/qor/qor.hpp" || fail "qor.hpp has the box"

# A caller whose own tree has headers named as ours were once
# (config/version.h, net/http_error.h) builds and runs against the library.
mkdir -p "$work/caller/config" "$work/caller/net"
echo '#define CALLER_VERSION 7' >"$work/caller/config/version.h"
echo '#define CALLER_HTTP_ERROR 404' >"$work/caller/net/http_error.h"
cat >"$work/caller/caller.cpp" <<'CALLER'
#include "config/version.h"
#include "net/http_error.h"
#include <qor/qor.h>
#include <qor/qor.hpp>
static_assert(CALLER_VERSION == 7 && CALLER_HTTP_ERROR == 404 && QOR_CHECK_VERSION(1, 0, 0) &&
              !QOR_CHECK_VERSION(QOR_MAJOR_VERSION + 1, 0, 0));
int main() { return qor::compare_versions("6.10", "6.9") > 0 && qor_compare_versions("1", "2") < 0 ? 0 : 1; }
CALLER
c++ -std=c++17 -Wall -Wextra -Werror -I"$work/caller" "$work/caller/caller.cpp" "${cflags[@]}" \
  $(pkg-config --libs qor-config) -o "$work/caller/caller" || fail "the caller does not build"
LD_LIBRARY_PATH=$libdir "$work/caller/caller" || fail "the caller"

for gtk in $toolkits; do
  module=gtk4 example=error-dialog-gtk4
  [[ $gtk == gtk3 ]] && module=gtk+-3.0 example=error-dialog
  [[ $(pkg-config --print-requires "qor-config-$gtk" | xargs) == "qor-config $module" ]] || fail "$gtk"

  # Each example builds through pkg-config and through the CMake package, and
  # loads the staged libraries and its own GTK alone.
  for way in "" "-DUSE_CMAKE_PACKAGE=ON -DCMAKE_PREFIX_PATH=$prefix"; do
    rm -rf "$work/example"
    # shellcheck disable=SC2086 # the options are words
    { cmake -S "$source/examples/$example" -B "$work/example" $way &&
      cmake --build "$work/example"; } >"$work/log" 2>&1 || { cat "$work/log"; fail "$example"; }
    LD_LIBRARY_PATH=$libdir ldd "$work/example/$example" >"$work/ldd"
    grep -q "$libdir/libqor-config.so.1" "$work/ldd" && grep -q "$libdir/libqor-config-$gtk.so" \
      "$work/ldd" && (($(grep -c libgtk- "$work/ldd") == 1)) || fail "$example: staged box, one GTK"
  done

  # On a real X server the example reports the failed download (the default
  # host resolves nowhere), then waits in the error box until someone closes it.
  HOME=$work LD_LIBRARY_PATH=$libdir setsid xvfb-run -a "$work/example/$example" 2>"$work/err" &
  pid=$!
  for _ in $(seq 100); do grep -q "Failed to download" "$work/err" && break; sleep 0.2; done
  sleep 1
  kill -0 "$pid" 2>/dev/null && kill -- -"$pid" || fail "$example did not wait in the error box"
  grep -q "Failed to download" "$work/err" || fail "no failed download: $(cat "$work/err")"
done
