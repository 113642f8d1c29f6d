#!/usr/bin/env bash
# Writes the sample marketplace's pages into the seed corpus (fuzz/corpus/<target>/sample-*), as the
# program receives them: results pages in UTF-8, backorder and ICP pages in GBK. Run once after the
# marketplace's page formats change, and commit the result.
#
#   fuzz/make-seeds.sh BUILD-DIR        (a build dir holding bin/sample-market)
set -euo pipefail
market=$(realpath "${1:?usage: fuzz/make-seeds.sh BUILD-DIR}")/bin/sample-market
cd "$(dirname "${BASH_SOURCE[0]}")"

log=$(mktemp)
"$market" --pages 3 --version-published V1.5 >"$log" &
pid=$!
trap 'kill "$pid" 2>/dev/null; rm -f "$log"' EXIT
for _ in $(seq 50); do
    base=$(sed -n 's/^sample-market listening on //p' "$log")
    [[ -n $base ]] && break
    sleep 0.1
done
[[ -n $base ]] || { echo "make-seeds: sample-market did not start" >&2; exit 1; }

get() { curl -sf --max-time 10 "$base$1" -o "$2"; }

mkdir -p corpus/{fuzz_resultspage,fuzz_backorderpage,fuzz_icppage,fuzz_versionfile}
get "/search?p=1" corpus/fuzz_resultspage/sample-page-1
get "/search?p=4" corpus/fuzz_resultspage/sample-page-without-rows
get /version/main.txt corpus/fuzz_versionfile/sample-version

# Backorder and ICP pages of the first names on page 1: some filed, some not, some closed.
grep -o 'href="/backorder/[^"]*"' corpus/fuzz_resultspage/sample-page-1 | sed 's|href="/backorder/||; s|"$||' |
    awk '!seen[$0]++' | head -n 8 | while read -r name; do
        get "/backorder/$name" "corpus/fuzz_backorderpage/sample-$name"
        get "/$name" "corpus/fuzz_icppage/sample-$name"
    done
