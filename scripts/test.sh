#!/usr/bin/env bash
# Sets everything up, builds with AddressSanitizer and UndefinedBehaviorSanitizer, and runs
# every test. The exit code is CTest's. Extra arguments go to ctest (for example -R fetch).
#
#   scripts/test.sh [CTEST-ARGS...]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build_dir=${VEXLON_BUILD_DIR:-build-asan}

scripts/setup.sh
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Debug -DVEXLON_SANITIZE=ON
cmake --build "$build_dir" -j"$(nproc)"
cd "$build_dir"
exec ctest --output-on-failure --timeout 600 "$@"
