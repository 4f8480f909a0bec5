#!/usr/bin/env bash
# Runs a program on a private Xvfb screen and saves a picture of what it
# shows, cropped to its windows:
#   tests/ui/screenshot.sh OUT.png PROGRAM [ARGUMENT]...
# Needs Xvfb and ImageMagick (import, convert). The program runs with a
# fresh, empty HOME; it is stopped once the picture is taken.
set -euo pipefail

if (($# < 2)); then
  echo "usage: $0 OUT.png PROGRAM [ARGUMENT]..." >&2
  exit 2
fi
out=$1
shift
for tool in Xvfb import convert; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is missing" >&2; exit 77; }
done

work=$(mktemp -d)
xvfb_pid=
program_pid=
cleanup() {
  [[ -z $program_pid ]] || kill "$program_pid" 2>/dev/null || true
  [[ -z $xvfb_pid ]] || kill "$xvfb_pid" 2>/dev/null || true
  wait
  rm -rf "$work"
}
trap cleanup EXIT

# -displayfd: the server picks a free display and names it once it is ready.
# -br: a black root window, which the crop below removes.
Xvfb -displayfd 3 -nolisten tcp -br -screen 0 800x600x24 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [[ -s $work/display ]] && break
  sleep 0.1
done
[[ -s $work/display ]] || { cat "$work/xvfb.log" >&2; echo "$0: Xvfb did not start" >&2; exit 1; }
display=:$(head -n1 "$work/display")

mkdir "$work/home"
DISPLAY=$display HOME=$work/home NO_AT_BRIDGE=1 GDK_BACKEND=x11 "$@" &
program_pid=$!

# Take pictures until one shows something and the next is the same: by then
# the window is up and fully drawn.
previous=
for _ in $(seq 100); do
  sleep 0.2
  kill -0 "$program_pid" 2>/dev/null || { echo "$0: $1 ended before it showed a window" >&2; exit 1; }
  import -display "$display" -window root "$work/screen.png"
  seen=$(convert "$work/screen.png" -trim +repage -format '%w %h %#' info: 2>/dev/null)
  if [[ $seen == "$previous" && ${seen%% *} -gt 1 ]]; then
    convert "$work/screen.png" -trim +repage -bordercolor '#9a9a9a' -border 1 -strip "$out"
    exit 0
  fi
  previous=$seen
done
echo "$0: no window appeared on $display" >&2
exit 1
