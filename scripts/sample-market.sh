# Sourced by the scripts that run the program against the sample marketplace.
#
# start_sample_market BIN_DIR LOG: starts it in the background on a port the system picks, its output in
# LOG; sets market_pid at once and market_port once its first line names the port. False, with the log on
# stderr, when it does not start.
start_sample_market() {
    "$1/sample-market" --port 0 >"$2" 2>&1 &
    market_pid=$!
    market_port=""
    local attempt
    for attempt in $(seq 1 100); do
        market_port=$(sed -n 's|^sample-market listening on http://127\.0\.0\.1:\([0-9][0-9]*\)$|\1|p' "$2")
        [[ -n $market_port ]] && return 0
        kill -0 "$market_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "the sample marketplace did not start:" >&2
    cat "$2" >&2
    return 1
}
