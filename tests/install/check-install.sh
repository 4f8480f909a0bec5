#!/usr/bin/env bash
# Installs a build tree into a staging folder, as a package build would, and
# checks it from the outside: files where pkg-config and the CMake package say,
# every public header usable on its own, the example caller built against the
# staged tree through pkg-config and through find_package, the manual page
# rendered by man.
#   check-install.sh BUILD_DIR SOURCE_DIR PREFIX VERSION HTTP CONFIG_URL
# PREFIX is the build's CMAKE_INSTALL_PREFIX; HTTP its QOR_HTTP (soup2, soup3).
set -euo pipefail

build=$1 source=$2 configured_prefix=$3 version=$4 http=$5 config_url=$6
work=$(mktemp -d)
xvfb_pid=
example_pid=
cleanup() {
  # The example runs in a process group of its own, with the namespace round it.
  [[ -z $example_pid ]] || kill -- "-$example_pid" 2>/dev/null || true
  [[ -z $xvfb_pid ]] || kill "$xvfb_pid" 2>/dev/null || true
  wait
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "check-install: $*" >&2; exit 1; }
public_headers=(qor-config.h distro/distro_info.h config/configuration.h config/version.h
  net/http_download.h net/http_error.h ui/display_error.h)
# The staged library may carry sanitizers that the example programs do not.
export ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0

stage=$work/stage
DESTDIR=$stage cmake --install "$build" >"$work/install.log" || fail "cmake --install failed"
prefix=$stage$configured_prefix
unset PKG_CONFIG_PATH

check_pkg_config() {
  local pc
  pc=$(find "$stage" -name qor-config.pc)
  [[ $(wc -l <<<"$pc") == 1 && -n $pc ]] || fail "expected one qor-config.pc, found: $pc"
  export PKG_CONFIG_PATH=${pc%/*}
  [[ $(pkg-config --modversion qor-config) == "$version" ]] || fail "pkg-config version is not $version"
  libdir=$(realpath "$(pkg-config --variable=libdir qor-config)")
  headers=$(realpath "$(pkg-config --variable=includedir qor-config)")/qor-config
  [[ $libdir == "$prefix"/* && $headers == "$prefix"/* ]] ||
    fail "pkg-config points outside the staged prefix: $libdir, $headers"
  pkg-config --cflags qor-config | grep -q -- "-I[^ ]*/include/qor-config" ||
    fail "Cflags lack the qor-config include folder"
  pkg-config --libs qor-config | grep -q -- "-lqor-config" || fail "Libs lack -lqor-config"
  local wanted="libsoup-3.0"
  [[ $http == soup2 ]] && wanted="libsoup-2.4 libsoup-gnome-2.4"
  [[ $(pkg-config --print-requires-private qor-config | xargs) == "$wanted" ]] ||
    fail "Requires.private is not '$wanted'"
}

check_files() {
  [[ -f $libdir/libqor-config.so.$version && -L $libdir/libqor-config.so.0 &&
    -L $libdir/libqor-config.so ]] || fail "shared library or its links missing in $libdir"
  readelf -d "$libdir/libqor-config.so.$version" | grep -q 'SONAME.*libqor-config.so.0' ||
    fail "library soname is not libqor-config.so.0"
  local header
  for header in "${public_headers[@]}"; do
    [[ -f $headers/$header ]] || fail "public header $header not installed"
  done
  for header in distro/probe.h config/parser.h config/kernel_range.h config/loader.h \
    config/section.h config/checker.h common/glib_ptr.h common/line_reader.h; do
    [[ ! -e $headers/$header ]] || fail "internal header $header installed"
  done
  [[ -x $prefix/bin/qor-config-test ]] || fail "qor-config-test not installed in bin"
  # The tool must stay usable on machines without a graphical session.
  ! readelf -d "$prefix/bin/qor-config-test" | grep -q 'NEEDED.*\(gtk\|gdk\|qor-config\)' ||
    fail "qor-config-test links GTK or the shared library"
}

# Every public header compiles alone, from C++17 on, with only what
# pkg-config gives.
check_headers_alone() {
  local header cflags
  read -ra cflags <<<"$(pkg-config --cflags qor-config)"
  for header in "${public_headers[@]}"; do
    printf '#include "%s"\n' "$header" |
      c++ -std=c++17 -x c++ -fsyntax-only -Wall -Wextra -Wpedantic -Werror \
        "${cflags[@]}" - || fail "$header does not compile on its own"
  done
}

check_manual_page() {
  local page=$prefix/share/man/man1/qor-config-test.1 text
  [[ -f $page ]] || fail "manual page not installed in man1"
  ! grep -q '@[A-Z_]*@' "$page" || fail "manual page keeps a build placeholder"
  text=$(MANWIDTH=80 man -l "$page" 2>&1) || fail "man cannot render the page"
  local heading
  for heading in NAME SYNOPSIS DESCRIPTION OUTPUT FILES "EXIT STATUS" ENVIRONMENT; do
    grep -q "^$heading" <<<"$text" || fail "manual page has no $heading section"
  done
  grep -qF "$config_url" <<<"$text" || fail "manual page does not name $config_url"
}

# The example as an outside project builds it; each way must link the staged
# library.
build_example() {
  local name=$1 && shift
  if ! cmake -S "$source/examples/error-dialog" -B "$work/$name" "$@" >"$work/$name.log" 2>&1 ||
    ! cmake --build "$work/$name" >>"$work/$name.log" 2>&1; then
    cat "$work/$name.log" >&2
    fail "example does not build ($name)"
  fi
  links_staged_library "$work/$name/error-dialog"
}

links_staged_library() {
  local found
  found=$(LD_LIBRARY_PATH=$libdir ldd "$1" | awk '/libqor-config.so.0/ {print $3}')
  [[ -n $found && $(realpath "$found") == "$libdir"/* ]] ||
    fail "$1 does not load the staged library (got '$found')"
}

check_examples() {
  local flags
  read -ra flags <<<"$(pkg-config --cflags --libs qor-config)"
  c++ -std=c++17 -Wall -Wextra -Werror "$source/examples/error-dialog/main.cpp" \
    "${flags[@]}" -o "$work/by-hand" ||
    fail "example does not build with pkg-config --cflags --libs"
  links_staged_library "$work/by-hand"
  build_example with-pkg-config
  (unset PKG_CONFIG_PATH && build_example with-cmake-package -DUSE_CMAKE_PACKAGE=ON \
    "-DCMAKE_PREFIX_PATH=$prefix") || exit 1

  local status=0
  env -u DISPLAY -u WAYLAND_DISPLAY "$work/with-cmake-package/error-dialog" \
    2>"$work/no-display.err" || status=$?
  if [[ $status != 2 ]] || ! grep -q "cannot open the display" "$work/no-display.err"; then
    fail "example without a display: status $status, $(cat "$work/no-display.err")"
  fi
}

# On a real X server the example, finding no configuration, waits in the
# error box until someone closes it. It runs in a private network namespace,
# so its download fails at once and never leaves the machine, whatever the
# machine's DNS servers do.
check_example_shows_box() {
  Xvfb -displayfd 3 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [[ -s $work/display ]] && break
    sleep 0.1
  done
  [[ -s $work/display ]] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
  mkdir "$work/home"
  DISPLAY=:$(head -n1 "$work/display") HOME=$work/home NO_AT_BRIDGE=1 GDK_BACKEND=x11 \
    setsid "$ns_run" -- "$work/with-pkg-config/error-dialog" 2>"$work/example.err" &
  example_pid=$!
  for _ in $(seq 200); do
    grep -q "Failed to download config file" "$work/example.err" && break
    kill -0 "$example_pid" 2>/dev/null || break
    sleep 0.1
  done
  grep -q "Failed to download config file" "$work/example.err" ||
    fail "example did not report the failed download: $(cat "$work/example.err")"
  sleep 1
  kill -0 "$example_pid" 2>/dev/null ||
    fail "example ended instead of showing the error box: $(cat "$work/example.err")"
}

check_pkg_config
check_files
check_headers_alone
check_manual_page
check_examples
if ! command -v Xvfb >/dev/null; then
  echo "check-install: SKIPPED the error box on screen: Xvfb is not installed" >&2
  exit 77
fi
ns_run=$source/tests/support/ns-run
if ! "$ns_run" -- true 2>/dev/null; then
  echo "check-install: SKIPPED the error box on screen: no private network namespace" >&2
  exit 77
fi
check_example_shows_box
echo "check-install: the staged tree in $prefix is complete and usable"
