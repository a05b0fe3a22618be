#!/usr/bin/env bash
# Takes the pictures of docs/images/: Hostrix and the windowed plug-ins running
# the examples on a virtual display (Xvfb), each window cropped to itself.
#   scripts/screenshots.sh [OUTPUT_DIR]      (docs/images by default)
#
# Builds what it needs into build-demo/ (as scripts/demo.sh does) and runs with
# settings of its own in a temporary directory, so the pictures are the same on
# every machine and your own settings are never touched. There is no window
# manager on the virtual display: menus are opened with the mouse and walked
# with the keyboard (an open menu holds the keyboard), and windows are placed
# through their stored positions or moved directly.
set -euo pipefail
source "$(dirname "$0")/setup.sh"
veltra_install_missing
veltra_build "$VELTRA_ROOT/build-demo" -DVELTRA_BUILD_TESTS=OFF >&2

bin="$VELTRA_ROOT/build-demo/bin"
examples="$bin/examples"
out=$(mkdir -p "${1:-$VELTRA_ROOT/docs/images}" && cd "${1:-$VELTRA_ROOT/docs/images}" && pwd)
work=$(mktemp -d)
export VELTRA_CONFIG_DIR="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$VELTRA_CONFIG_DIR" "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_STYLE_OVERRIDE

xvfbPid=""
hostrixPid=""
step="starting"

start_hostrix() {
  "$bin/Hostrix" "$@" >"$work/hostrix.log" 2>&1 &
  hostrixPid=$!
}

# Ends Hostrix as a user closing its window would (it ends the run first).
stop_hostrix() {
  [ -n "$hostrixPid" ] || return 0
  kill -TERM "$hostrixPid" 2>/dev/null || true
  for _ in $(seq 50); do
    kill -0 "$hostrixPid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$hostrixPid" 2>/dev/null || true
  wait "$hostrixPid" 2>/dev/null || true
  hostrixPid=""
}

cleanup() {
  local status=$?
  stop_hostrix
  [ -n "$xvfbPid" ] && kill "$xvfbPid" 2>/dev/null && wait "$xvfbPid" 2>/dev/null
  if [ "$status" -ne 0 ] && [ -s "$work/hostrix.log" ]; then
    echo "screenshots: what Hostrix wrote:" >&2
    sed 's/^/  /' "$work/hostrix.log" >&2
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "screenshots: $step: $*" >&2
  exit 1
}

# A virtual display of our own: Xvfb picks a free number and tells it.
Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfbPid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfbPid" 2>/dev/null || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
  sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb gave no display number"
DISPLAY=":$(head -n 1 "$work/display")"
export DISPLAY

settings() { "$bin/veltra-settings" set "$@" >/dev/null; }

# wait_windows PATTERN COUNT: prints the ids of COUNT visible windows whose
# name matches PATTERN (an extended regular expression) once they are there.
wait_windows() {
  local ids
  for _ in $(seq 150); do
    ids=$(xdotool search --onlyvisible --name "$1" 2>/dev/null || true)
    if [ "$(grep -c . <<<"$ids")" -ge "$2" ]; then
      head -n "$2" <<<"$ids"
      return 0
    fi
    [ -z "$hostrixPid" ] || kill -0 "$hostrixPid" 2>/dev/null || fail "Hostrix ended before \"$1\" appeared"
    sleep 0.1
  done
  fail "no window \"$1\" within 15 seconds"
}

# settle ID: waits until the window has looked the same for a second (the run
# has written everything, the repaint is done); at most 15 seconds.
settle() {
  local last="" now same=0
  for _ in $(seq 60); do
    now=$(import -window "$1" rgb:- 2>/dev/null | md5sum)
    if [ "$now" = "$last" ]; then
      same=$((same + 1))
      [ "$same" -ge 4 ] && return 0
    else
      same=0
    fi
    last=$now
    sleep 0.25
  done
  fail "window $1 kept changing"
}

# save GRAB NAME: a small PNG in the output directory: no metadata, and a
# palette of 256 colours without dithering, which is all that text and flat
# widgets need.
save() {
  convert "$1" -strip +dither -colors 256 "PNG8:$out/$2" || fail "could not write $out/$2"
  echo "$out/$2 ($(stat -c %s "$out/$2") bytes)"
}

# shoot ID NAME: the window alone.
shoot() {
  import -window "$1" "$work/grab.png" || fail "could not grab window $1"
  save "$work/grab.png" "$2"
}

visible_windows() { xdotool search --onlyvisible --classname '^Hostrix$' 2>/dev/null | grep -c . || true; }

# menu FRAME N KEYS...: opens menu N of the main frame (0 File, 1 Go, 2 View,
# 3 Board, 4 Help) and presses KEYS in it. The mouse opens File, the only
# title whose place does not depend on the font; the arrow keys go on from it.
menu() {
  local frame=$1 n=$2
  shift 2
  local before
  before=$(visible_windows)
  xdotool mousemove --window "$frame" 12 8 click 1
  # The pop-up menu is one more window of the program.
  for _ in $(seq 50); do
    [ "$(visible_windows)" -gt "$before" ] && break
    sleep 0.1
  done
  [ "$(visible_windows)" -gt "$before" ] || fail "the File menu did not open"
  for _ in $(seq "$n"); do xdotool key Right; done
  sleep 0.2
  xdotool key "$@"
}

settings 'Software\Orv\Veltra\Server\Settings' SayStop dword 0 # no "Termination" box over the output
main='^Veltra Server:'
frameAt() {
  settings 'Software\Orv\Veltra\Server\Settings' WindowL dword "$1"
  settings 'Software\Orv\Veltra\Server\Settings' WindowT dword "$2"
  settings 'Software\Orv\Veltra\Server\Settings' WindowR dword "$3"
  settings 'Software\Orv\Veltra\Server\Settings' WindowB dword "$4"
}

step="the terminal"
frameAt 0 0 760 660
start_hostrix "$examples/files.app"
frame=$(wait_windows "$main" 1)
# The application is a child of Hostrix that stays a zombie until the next
# reset: the sign that the run is over.
ended() { ps --ppid "$hostrixPid" -o stat=,comm= | grep -q '^Z.*files\.app'; }
for _ in $(seq 150); do
  ended && break
  sleep 0.1
done
ended || fail "files.app did not end within 15 seconds"
settle "$frame"
shoot "$frame" hostrix-terminal.png

step="the options sheet"
menu "$frame" 2 o
sheet=$(wait_windows '^Veltra Server Options$' 1)
sleep 0.5
shoot "$sheet" hostrix-options.png
xdotool key ctrl+Tab
sleep 0.5
shoot "$sheet" hostrix-options-io.png
xdotool key ctrl+Tab ctrl+Tab
sleep 0.5
shoot "$sheet" hostrix-options-advanced.png
xdotool key Escape

step="the interface dialog"
for _ in $(seq 50); do
  xdotool search --onlyvisible --name '^Veltra Server Options$' >/dev/null 2>&1 || break
  sleep 0.1
done
menu "$frame" 3 Return
interfaces=$(wait_windows '^Veltra hardware interfaces$' 1)
settle "$interfaces"
shoot "$interfaces" hostrix-interfaces.png
xdotool key Escape
stop_hostrix

step="the spectrum with cursors"
# The graph's stored place and size (its own settings under the plug-in's key).
for v in Left:0 Top:0 Width:640 Height:420; do
  settings --machine 'SOFTWARE\Orv Limited\Plexa_301\Spectrum' "${v%%:*}" dword "${v##*:}"
done
frameAt 0 430 760 900
start_hostrix "$examples/spectrum.app"
graph=$(wait_windows '^Spectrum of three tones in noise$' 1)
sleep 1 # a few frames of the live spectrum
# A click into the plot shows the cursors and holds the trace still under them.
xdotool mousemove --window "$graph" 320 210 click 1
xdotool mousemove 1200 880 # the pointer out of the picture
settle "$graph"
shoot "$graph" graph-cursors.png
stop_hostrix

step="the control panel"
# The input window's sliders: a tone of 5.1 kHz at 80 %.
settings --machine 'SOFTWARE\Orv Limited\Plexa_300\DlgInput' Freq dword 25
settings --machine 'SOFTWARE\Orv Limited\Plexa_300\DlgInput' Amp dword 80
start_hostrix "$examples/panel.app"
graph=$(wait_windows '^Signal generator$' 1)
mapfile -t panels < <(wait_windows '^Orv Veltra FPGA - Demo$' 2)
# The status window is the lower of the two. The picture: the graph on the
# left, as high as the status window above the input window on the right.
geometry() { xdotool getwindowgeometry --shell "$1" | sed -n "s/^$2=//p"; }
status=${panels[0]} input=${panels[1]}
if [ "$(geometry "$status" HEIGHT)" -gt "$(geometry "$input" HEIGHT)" ]; then
  status=${panels[1]} input=${panels[0]}
fi
gap=4
statusHeight=$(geometry "$status" HEIGHT)
xdotool windowmove "$graph" 0 0 windowsize "$graph" 560 $((statusHeight + gap + $(geometry "$input" HEIGHT)))
# Side by side, so that no window covers another on the screen.
xdotool windowmove "$status" 600 0
xdotool windowmove "$input" 600 $((statusHeight + 40))
xdotool mousemove 1200 880
sleep 1.5 # the spectrum follows the sliders at once; a few frames more
for w in graph status input; do
  import -window "${!w}" "$work/$w.png" || fail "could not grab the $w window"
done
border='#8c8c8c'
convert "$work/status.png" -size "$(geometry "$status" WIDTH)x$gap" "xc:$border" "$work/input.png" -append \
  "$work/right.png"
convert "$work/graph.png" -size "${gap}x1" "xc:$border" "$work/right.png" -background "$border" -gravity north \
  +append -bordercolor "$border" -border 1 "$work/grab.png" || fail "could not put the windows together"
save "$work/grab.png" panel.png
stop_hostrix
step="done"
