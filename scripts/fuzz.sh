#!/usr/bin/env bash
# Builds the libFuzzer targets of the page readers with Clang and runs each for as long as asked,
# starting from its committed seed corpus. New inputs go to build-fuzz/fuzz/new-inputs/<target>/,
# crashes to build-fuzz/fuzz/crashes/; the committed corpus is only read. The exit code is non-zero
# when any target found a crash or a sanitizer report.
#
#   scripts/fuzz.sh [SECONDS-PER-TARGET] [TARGET...]     (default: 60 seconds, every target)
#
# Targets: fuzz_resultspage fuzz_backorderpage fuzz_icppage fuzz_versionfile fuzz_pagecount
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds=${1:-60}
[[ $seconds =~ ^[0-9]+$ ]] || { echo "fuzz: SECONDS must be a whole number, not '$seconds'" >&2; exit 2; }
shift || true
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(fuzz_resultspage fuzz_backorderpage fuzz_icppage fuzz_versionfile fuzz_pagecount)
build_dir=${VEXLON_FUZZ_BUILD_DIR:-build-fuzz}

scripts/setup.sh
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXLON_FUZZ=ON \
    -DVEXLON_BUILD_TESTS=OFF -DVEXLON_BUILD_BENCH=OFF >/dev/null
cmake --build "$build_dir" -j"$(nproc)" --target "${targets[@]}"

status=0
for target in "${targets[@]}"; do
    echo "fuzz: $target for ${seconds} s"
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} "$build_dir/bin/$target" -max_total_time="$seconds" \
        -create_missing_dirs=1 -print_final_stats=1 -artifact_prefix="$build_dir/fuzz/crashes/$target-" \
        "$build_dir/fuzz/new-inputs/$target" "fuzz/corpus/$target" || status=1
done
exit $status
