#!/usr/bin/env bash
# Callers of the installed library, built and run as their users would (by the autopkgtests and
# the install test):   callers.sh CALLER...   c: C and C++ through pkg-config, and each header
# alone; gtk3, gtk4: that box's example through pkg-config and the CMake package; python: the
# example through the typelib; box: the GTK 4 box's own test. Loads fail (the host resolves
# nowhere) unless the tests' copy of the library is given a server (QOR_TEST_CONFIG_URL).
set -euo pipefail
cd "$(dirname "$0")/../.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "callers: $*" >&2; exit 1; }

for caller; do
  case $caller in
  c)
    read -ra flags <<<"-Wall -Wextra -Werror $(pkg-config --cflags --libs qor-config)"
    for compiler in "c++ -std=c++17 -x c++" "cc -std=c11 -x c"; do
      $compiler -Itests/install tests/install/caller.c "${flags[@]}" -o "$work/caller" &&
        "$work/caller" || fail "the caller, by $compiler"
      for header in "$(pkg-config --variable=includedir qor-config)"/qor-1/qor/*; do
        [[ $header == *.hpp && $compiler == cc* ]] || echo "#include <qor/${header##*/}>" |
          $compiler -fsyntax-only "${flags[@]}" - || fail "${header##*/} alone, by $compiler"
      done
    done
    ;;
  gtk3 | gtk4)
    example=error-dialog-gtk4 && [[ $caller == gtk3 ]] && example=error-dialog
    program=$work/example/$example libdir=$(pkg-config --variable=libdir qor-config)
    for way in OFF ON; do
      rm -rf "$work/example"
      { cmake -S "examples/$example" -B "$work/example" -DUSE_CMAKE_PACKAGE=$way &&
        cmake --build "$work/example"; } >"$work/log" 2>&1 || { cat "$work/log"; fail "$example"; }
      # The installed libraries (all links resolved), and one GTK.
      [[ $(ldd "$program" | grep -o '/\S*libqor-config\S*' | xargs realpath | sort) == \
        "$(realpath "$libdir"/libqor-config{,-"$caller"}.so.1 | sort)" ]] || fail "$example: libraries"
      (($(ldd "$program" | grep -c libgtk-) == 1)) || fail "$example: more than one GTK"
    done
    { env -u DISPLAY -u WAYLAND_DISPLAY "$program" 2>/dev/null; (($? == 2)); } || fail "$example: display"
    # On a real X server it reports the failed download, then waits in the error box.
    HOME=$work setsid xvfb-run -a "$program" 2>"$work/err" &
    pid=$!
    for _ in $(seq 100); do grep -q "Failed to download" "$work/err" && break; sleep 0.2; done
    sleep 0.5
    kill -0 $pid 2>/dev/null && kill -- -$pid || fail "$example did not wait in the error box"
    grep -q "Failed to download" "$work/err" || fail "no failed download: $(cat "$work/err")"
    ;;
  python)
    wanted=1 line='Config not found at https://.*/gfx/qor-config\.cfg: .+'
    [[ -v QOR_TEST_CONFIG_URL ]] &&
      wanted=0 line='install: qor-desktop qor-settings libqor1 qor-session \| qor-modules-dkms'
    { out=$(/usr/bin/python3 examples/python/load-configuration.py 2>/dev/null); (($? == wanted)); } &&
      grep -qxE "$line" <<<"$out" || fail "python: $out"
    ;;
  box)
    # shellcheck disable=SC2046 # pkg-config prints words
    c++ -std=c++17 -o "$work/box" tests/ui_test.cpp \
      $(pkg-config --cflags --libs qor-config-gtk4 gtk4) -lgtest_main -lgtest -pthread
    GDK_DEBUG=gl-disable GSK_RENDERER=cairo GSETTINGS_BACKEND=memory G_DEBUG=fatal-criticals \
      xvfb-run -a "$work/box" --gtest_filter=DisplayErrorTest.ShowsTheMessageLiterally*
    ;;
  *) fail "no caller $caller" ;;
  esac
done
