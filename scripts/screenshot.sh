#!/usr/bin/env bash
# Takes a picture of a program's window on a private X server.
#
#   scripts/screenshot.sh OUTPUT.png -- PROGRAM [ARGS...]
#
# Starts Xvfb on a free display, runs the program there, waits until its window is mapped and has
# had time to paint, saves the whole screen as OUTPUT.png, stops both and prints the PNG's path.
#
# Environment:
#   SCREENSHOT_WINDOW   text of the window title to wait for (default "Vexlon")
#   SCREENSHOT_SETTLE   seconds to let the window paint after it is mapped (default 2)
#   SCREENSHOT_SIZE     screen size (default 1024x768)
#   SCREENSHOT_ACTIONS  optional command run against the display (DISPLAY is set) before the picture
set -euo pipefail

usage() {
    echo "usage: $0 OUTPUT.png -- PROGRAM [ARGS...]" >&2
    exit 2
}

[[ $# -ge 3 && $2 == "--" ]] || usage
output=$1
shift 2

for tool in Xvfb xwininfo import; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done

window_title=${SCREENSHOT_WINDOW:-Vexlon}
settle=${SCREENSHOT_SETTLE:-2}
size=${SCREENSHOT_SIZE:-1024x768}

# A display number nobody holds: no lock file and no socket.
display_number=""
for n in $(seq 90 189); do
    if [[ ! -e /tmp/.X$n-lock && ! -e /tmp/.X11-unix/X$n ]]; then
        display_number=$n
        break
    fi
done
[[ -n $display_number ]] || { echo "$0: no free X display between :90 and :189" >&2; exit 1; }
display=":$display_number"

xvfb_pid=""
program_pid=""
cleanup() {
    if [[ -n $program_pid ]] && kill -0 "$program_pid" 2>/dev/null; then
        kill "$program_pid" 2>/dev/null || true
        wait "$program_pid" 2>/dev/null || true
    fi
    if [[ -n $xvfb_pid ]] && kill -0 "$xvfb_pid" 2>/dev/null; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

Xvfb "$display" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!

ready=""
for _ in $(seq 1 100); do
    if xwininfo -display "$display" -root >/dev/null 2>&1; then
        ready=yes
        break
    fi
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
[[ -n $ready ]] || { echo "$0: Xvfb did not start on $display" >&2; exit 1; }

DISPLAY=$display QT_QPA_PLATFORM=xcb "$@" &
program_pid=$!

# Wait until a window whose title holds the text is viewable.
mapped=""
for _ in $(seq 1 150); do
    kill -0 "$program_pid" 2>/dev/null || { echo "$0: the program ended before its window was shown" >&2; exit 1; }
    while read -r id; do
        if xwininfo -display "$display" -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable'; then
            mapped=$id
            break
        fi
    done < <(xwininfo -display "$display" -root -tree 2>/dev/null | grep -F "$window_title" | awk '{print $1}')
    [[ -n $mapped ]] && break
    sleep 0.1
done
[[ -n $mapped ]] || { echo "$0: no window titled \"$window_title\" appeared" >&2; exit 1; }

sleep "$settle"
if [[ -n ${SCREENSHOT_ACTIONS:-} ]]; then
    DISPLAY=$display bash -c "$SCREENSHOT_ACTIONS"
    sleep 1
fi

mkdir -p "$(dirname "$output")"
import -display "$display" -window root "$output"
echo "$output"
