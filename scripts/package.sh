#!/usr/bin/env bash
# Sets everything up, builds a Release tree with Debian's hardening flags and makes the Debian
# package of the program from it with CPack; prints the path of the .deb. Install it with
#   sudo apt-get install ./vexlon-collector_<version>_<arch>.deb
#
#   scripts/package.sh
#
# Build dir: $VEXLON_PACKAGE_BUILD_DIR (default build-package); the .deb is written there.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build_dir=${VEXLON_PACKAGE_BUILD_DIR:-build-package}

scripts/setup.sh

# The flags Debian's own packages are built with (fortify, stack protector, relro and bindnow).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cxxflags=$(dpkg-buildflags --get CXXFLAGS)
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DVEXLON_BUILD_TESTS=OFF -DVEXLON_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$cppflags $cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
    -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" >/dev/null
# Without tests and benchmarks; cpack would build whatever else is missing before installing.
cmake --build "$build_dir" -j"$(nproc)"

cd "$build_dir"
rm -f vexlon-collector_*.deb
cpack -G DEB >cpack.log 2>&1 || { cat cpack.log >&2; exit 1; }
debs=(vexlon-collector_*.deb)
[[ -f ${debs[0]} ]] || { cat cpack.log >&2; echo "package: cpack made no .deb" >&2; exit 1; }
echo "$(pwd)/${debs[0]}"
