#!/usr/bin/env bash
# Takes the README's picture of the domain table window: the sample marketplace's first two pages
# (100 names) collected and looked up into a fresh history, then shown in the table window, where
# 批量查询 fills every row from that history.
#
#   scripts/table-screenshot.sh [OUTPUT.png]     (default docs/table-window.png)
#
# Needs a build in build/ (scripts/run.sh makes one), or in $VEXLON_BUILD_DIR.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)
output=${1:-$root/docs/table-window.png}
bin=$root/${VEXLON_BUILD_DIR:-build}/bin

work=$(mktemp -d)
market_pid=""
cleanup() {
    [[ -n $market_pid ]] && kill "$market_pid" 2>/dev/null && wait "$market_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

source "$root/scripts/sample-market.sh"
start_sample_market "$bin" "$work/market.log" || exit 1
port=$market_port
sites=(--market-url "http://127.0.0.1:$port" --icp-url "http://127.0.0.1:$port" --data-dir "$work/data")

"$bin/vexlon-collector" collect "${sites[@]}" --pages 2 --quiet |
    "$bin/vexlon-collector" lookup "${sites[@]}" --rate 50 --quiet >/dev/null

# The settings of the user's own table window stay out of the picture.
export XDG_CONFIG_HOME=$work/config
SCREENSHOT_WINDOW=域名工作台 SCREENSHOT_SIZE=1320x720 \
    SCREENSHOT_ACTIONS='id=$(xdotool search --onlyvisible --name 域名工作台 | head -n 1)
        xdotool windowfocus --sync "$id" key ctrl+l; sleep 3' \
    scripts/screenshot.sh "$output" -- "$bin/vexlon-collector" table "${sites[@]}"
