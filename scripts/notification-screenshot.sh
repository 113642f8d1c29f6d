#!/usr/bin/env bash
# Takes the README's picture of a watch's desktop notification: a watch of 双拼 names, the sample
# marketplace's first page collected with --notify, shown by a real notification daemon (dunst) on a
# private session bus under Xvfb.
#
#   scripts/notification-screenshot.sh [OUTPUT.png]     (default docs/notification.png)
#
# Needs a build in build/ (scripts/run.sh makes one), or in $VEXLON_BUILD_DIR; installs dunst if missing.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)
output=${1:-$root/docs/notification.png}
bin=$root/${VEXLON_BUILD_DIR:-build}/bin

if ! command -v dunst >/dev/null; then
    sudo=()
    [[ $(id -u) -ne 0 ]] && sudo=(sudo)
    ${sudo[@]+"${sudo[@]}"} env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends dunst >/dev/null
fi

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

source "$root/scripts/sample-market.sh"
start_sample_market "$bin" "$work/market.log" || { kill "$market_pid" 2>/dev/null; exit 1; }
pids+=("$market_pid")
port=$market_port
sites=(--market-url "http://127.0.0.1:$port" --icp-url "http://127.0.0.1:$port" --data-dir "$work/data")

display=:$((100 + RANDOM % 800))
Xvfb "$display" -screen 0 640x330x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

cat >"$work/dunstrc" <<'CONF'
[global]
    font = WenQuanYi Micro Hei 11
    geometry = "600x0-20+20"
    width = 600
    origin = top-right
    offset = 20x20
    frame_width = 2
    frame_color = "#3a6ea5"
    padding = 10
    horizontal_padding = 12
    format = "<b>%s</b>\n%b"
    markup = full
[urgency_normal]
    background = "#ffffff"
    foreground = "#222222"
    timeout = 0
CONF

"$bin/vexlon-collector" watch add 双拼 --tag 双拼 "${sites[@]}" --quiet
dbus-run-session -- bash -c '
    dunst -config "$1" >/dev/null 2>&1 &
    for _ in $(seq 1 50); do
        dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
            string:org.freedesktop.Notifications 2>/dev/null | grep -q true && break
        sleep 0.1
    done
    shift
    "$@" >/dev/null
    sleep 1
    import -window root "$0"
' "$output" "$work/dunstrc" "$bin/vexlon-collector" collect --pages 1 --notify --quiet "${sites[@]}"
echo "$output"
