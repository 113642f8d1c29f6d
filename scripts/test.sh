#!/usr/bin/env bash
# Sets everything up, builds with AddressSanitizer and UndefinedBehaviorSanitizer, and runs
# every test; then builds the fuzz targets with Clang in a second build dir and runs each for a
# short fixed number of inputs. The exit code is non-zero when either CTest run fails. Extra
# arguments go to both ctest runs (for example -R fetch).
#
#   scripts/test.sh [CTEST-ARGS...]
#
# Build dirs: $VEXLON_BUILD_DIR (default build-asan) and, for fuzzing, the same name ending in
# -fuzz instead of -asan (default build-fuzz), or $VEXLON_FUZZ_BUILD_DIR.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build_dir=${VEXLON_BUILD_DIR:-build-asan}
fuzz_dir=${VEXLON_FUZZ_BUILD_DIR:-${build_dir%-asan}-fuzz}

scripts/setup.sh
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Debug -DVEXLON_SANITIZE=ON
cmake --build "$build_dir" -j"$(nproc)"
# The fuzz targets need Clang's libFuzzer; only they are built there.
CC=clang CXX=clang++ cmake -S . -B "$fuzz_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXLON_FUZZ=ON \
    -DVEXLON_BUILD_TESTS=OFF -DVEXLON_BUILD_BENCH=OFF
cmake --build "$fuzz_dir" -j"$(nproc)" --target fuzzers

status=0
(cd "$build_dir" && ctest --output-on-failure --timeout 600 "$@") || status=$?
(cd "$fuzz_dir" && ctest --output-on-failure --timeout 600 "$@") || status=$?
exit $status
