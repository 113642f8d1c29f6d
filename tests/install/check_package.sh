#!/usr/bin/env bash
# Builds the Debian package from a build tree as scripts/package.sh does (into a temporary folder,
# without building Release again) and checks it: exactly the files of expected-files.txt(.in), the
# control fields that matter, and no error from lintian. Exits 77 (skipped) where the tools are
# missing.
#
#   tests/install/check_package.sh BUILD-DIR SOURCE-DIR
set -euo pipefail

[[ $# -eq 2 ]] || { echo "usage: $0 BUILD-DIR SOURCE-DIR" >&2; exit 2; }
build=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)

for tool in cpack dpkg-deb dpkg-shlibdeps lintian; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is missing (scripts/setup.sh installs it)"
        exit 77
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The build tree's own CPack configuration, but installing straight from the tree's install script:
# cpack would first make the whole tree again (its preinstall target), which is slow even when all is
# built. The component, stripping and prefix are what cpack gives the install otherwise.
cat >"$work/install.cmake" <<EOF
set(COMPONENT application)
set(CMAKE_INSTALL_DO_STRIP 1)
set(CMAKE_INSTALL_PREFIX /usr)
include("$build/cmake_install.cmake")
EOF
cat >"$work/CPackConfig.cmake" <<EOF
include("$build/CPackConfig.cmake")
set(CPACK_INSTALL_CMAKE_PROJECTS "")
set(CPACK_INSTALL_SCRIPTS "$work/install.cmake")
EOF
if ! cpack -G DEB --config "$work/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack"
    exit 1
fi
debs=("$work"/package/vexlon-collector_*.deb)
if [[ ${#debs[@]} -ne 1 || ! -f ${debs[0]} ]]; then
    cat "$work/cpack.log"
    echo "FAIL: cpack made no vexlon-collector_*.deb"
    exit 1
fi
deb=${debs[0]}

# The files: those cmake --install puts there, nothing else (no test, benchmark, sample-market or
# static library).
grep -v '^#' "$build/packaging/expected-files.txt" >"$work/expected"
dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -e 's|^\./||' -e '/\/$/d' -e '/^$/d' | LC_ALL=C sort >"$work/packaged"
if ! diff -u "$work/expected" "$work/packaged"; then
    fail "the package's files differ from tests/install/expected-files.txt.in (- expected, + packaged)"
fi

field() { dpkg-deb --field "$deb" "$1"; }
[[ $(field Package) == vexlon-collector ]] || fail "Package: $(field Package)"
[[ $(field Section) == net ]] || fail "Section: $(field Section)"
[[ $(field Depends) == *libqt6widgets6* ]] || fail "Depends has no libqt6widgets6 (shlibdeps): $(field Depends)"
[[ $(field Depends) == *libc-ares2* ]] || fail "Depends has no libc-ares2 (shlibdeps): $(field Depends)"
[[ $(field Depends) == *wamerican* ]] || fail "Depends has no wamerican (the word list): $(field Depends)"
[[ $(field Recommends) == *fonts-wqy-microhei* ]] || fail "Recommends has no fonts-wqy-microhei: $(field Recommends)"
[[ -n $(field Maintainer) ]] || fail "no Maintainer"
project_version=$(sed -n 's/^project(vexlon-collector VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
[[ $(field Version) == "$project_version"-* ]] || fail "Version $(field Version) is not that of the project, $project_version"

# Errors fail the check; warnings are shown.
lintian_status=0
lintian --fail-on error --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || lintian_status=$?
grep -v 'running with root privileges' "$work/lintian.log" || true
if [[ $lintian_status -ne 0 ]] || grep -q '^E: ' "$work/lintian.log"; then
    fail "lintian reports errors (exit code $lintian_status)"
fi

if [[ $failures -gt 0 ]]; then
    echo "package_lint: $failures check(s) failed"
    exit 1
fi
echo "package_lint: $(basename "$deb"): files, control fields and lintian as expected"
