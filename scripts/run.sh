#!/usr/bin/env bash
# Sets everything up, builds, starts the sample marketplace on a free port and opens the program
# against it. Without a display the window is started under Xvfb instead, and a screenshot taken
# after start-up is saved; its path is printed. Extra arguments go to the program.
#
#   scripts/run.sh [PROGRAM-ARGS...]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)

build_dir=${VEXLON_BUILD_DIR:-build}

scripts/setup.sh
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Only what the window needs; the tests and benchmarks are built by scripts/test.sh.
cmake --build "$build_dir" -j"$(nproc)" --target vexlon-collector skinh sample-market

market_log="$root/$build_dir/sample-market.log"
market_pid=""
stop_market() {
    [[ -n $market_pid ]] || return 0
    kill "$market_pid" 2>/dev/null || true
    wait "$market_pid" 2>/dev/null || true
}
trap stop_market EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

source scripts/sample-market.sh
start_sample_market "$build_dir/bin" "$market_log" || exit 1
port=$market_port
market_url="http://127.0.0.1:$port"
echo "run: sample marketplace at $market_url (requests logged in $market_log)"
# The second line names its DNS server, which answers for the names' other suffixes.
dns_server=$(sed -n 's|^sample-market dns on \(127\.0\.0\.1:[0-9][0-9]*\)$|\1|p' "$market_log")

# The sample marketplace's names go to a history of their own, not to the user's.
program=("$build_dir/bin/vexlon-collector" --market-url "$market_url" --icp-url "$market_url"
    --update-url "$market_url" ${dns_server:+--dns-server "$dns_server"} --data-dir "$root/$build_dir/sample-history" "$@")

if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
    "${program[@]}"
else
    screenshot="$root/$build_dir/screenshots/vexlon-collector.png"
    echo "run: no display; starting the window under Xvfb: collecting page 1 and querying its first domain"
    # What a user would do first: click 开始采集 (page count 1), then double-click the first domain.
    SCREENSHOT_ACTIONS='id=$(xdotool search --onlyvisible --name Vexlon | head -n 1)
        xdotool mousemove --window "$id" 68 452 click 1; sleep 2
        xdotool mousemove --window "$id" 60 33 click --repeat 2 --delay 100 1; sleep 2' \
        scripts/screenshot.sh "$screenshot" -- "${program[@]}" >/dev/null
    echo "$screenshot"
fi
