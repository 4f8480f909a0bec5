#!/usr/bin/env bash
# Installs a build tree into a staging folder, as a package build would, and
# uses it as another project would:   check-install.sh BUILD SOURCE HTTP
# HTTP is the build's QOR_HTTP (soup2, soup3).
set -euo pipefail
build=$1 source=$2 http=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }
# The staged library may carry sanitizers that the example does not.
export ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0

DESTDIR=$work/stage cmake --install "$build" >/dev/null
pc=$(find "$work/stage" -name qor-config.pc)
export PKG_CONFIG_PATH=${pc%/*}
prefix=$(realpath "$(pkg-config --variable=prefix qor-config)")
libdir=$(realpath "$(pkg-config --variable=libdir qor-config)")
[[ $prefix == "$work/stage"/* ]] || fail "pkg-config points outside the staging folder: $prefix"
wanted="libsoup-3.0" && [[ $http == soup2 ]] && wanted="libsoup-2.4 libsoup-gnome-2.4"
[[ $(pkg-config --print-requires-private qor-config | xargs) == "$wanted" ]] ||
  fail "Requires.private is not '$wanted'"
readelf -d "$libdir/libqor-config.so" | grep -q 'SONAME.*libqor-config.so.0' || fail "soname"
# The tools stay usable on machines without a graphical session.
! readelf -d "$prefix/bin/qor-config-test" | grep -E 'NEEDED.*(gtk|gdk|qor-config)' ||
  fail "qor-config-test needs GTK or the shared library"

# Each public header compiles on its own, from C++17 on, with what pkg-config
# gives; the library's internals are not installed.
read -ra cflags <<<"$(pkg-config --cflags qor-config)"
headers=$(realpath "$(pkg-config --variable=includedir qor-config)")/qor-config
for header in qor-config.h distro/distro_info.h config/configuration.h config/version.h \
  net/http_download.h net/http_error.h ui/display_error.h; do
  echo "#include \"$header\"" | c++ -std=c++17 -x c++ -fsyntax-only -Wall -Wextra -Werror \
    "${cflags[@]}" - || fail "$header does not compile on its own"
done
[[ $(find "$headers" -name '*.h' | wc -l) == 7 ]] || fail "internal headers installed"

# The manual pages render, and name the URL the build fetches from.
for page in qor-config-test qor-config-check; do
  MANWIDTH=80 man -l "$prefix/share/man/man1/$page.1" >"$work/$page.txt" 2>&1 || fail "man $page"
done
grep -q "https://.*/gfx/qor-config.cfg" "$work/qor-config-test.txt" || fail "no URL in the page"

# The example builds through pkg-config and through the CMake package.
for way in "" "-DUSE_CMAKE_PACKAGE=ON -DCMAKE_PREFIX_PATH=$prefix"; do
  # shellcheck disable=SC2086 # the options are words
  { cmake -S "$source/examples/error-dialog" -B "$work/example" $way &&
    cmake --build "$work/example" --clean-first; } >"$work/example.log" 2>&1 ||
    { cat "$work/example.log" >&2; fail "the example does not build ($way)"; }
  LD_LIBRARY_PATH=$libdir ldd "$work/example/error-dialog" | grep -q "$libdir/libqor-config.so.0" ||
    fail "the example does not load the staged library"
done

# On a real X server, with no network, the example reports the failed
# download and then waits in the error box until someone closes it.
command -v xvfb-run >/dev/null || { echo "check-install: SKIPPED: no xvfb-run" >&2; exit 77; }
HOME=$work LD_LIBRARY_PATH=$libdir setsid "$source/tests/support/ns-run" -- \
  xvfb-run -a "$work/example/error-dialog" 2>"$work/example.err" &
example=$!
for _ in $(seq 100); do
  grep -q "Failed to download config file" "$work/example.err" && break
  sleep 0.2
done
sleep 1
kill -0 "$example" 2>/dev/null && kill -- -"$example" ||
  { wait "$example" || (($? != 77)) || exit 77; fail "the example did not wait in the error box"; }
grep -q "Failed to download config file" "$work/example.err" ||
  fail "the example did not report the failed download: $(cat "$work/example.err")"
