#!/usr/bin/env bash
# Installs a build tree with prefix /usr into a temporary DESTDIR and checks what lands there: exactly
# the files of expected-files.txt(.in), the bin/ link into the program folder, modes, no RPATH; the
# installed program's --version and --help, and that started through the link it loads the
# skinning library from its program folder; the man page naming every option; the desktop entry and
# AppStream metadata under their validators.
#
#   tests/install/check_install.sh BUILD-DIR SOURCE-DIR
set -euo pipefail

[[ $# -eq 2 ]] || { echo "usage: $0 BUILD-DIR SOURCE-DIR" >&2; exit 2; }
build=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)

for tool in desktop-file-validate appstreamcli file readelf gzip; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/setup.sh installs it)"; exit 1; }
done

work=$(cd "$(mktemp -d)" && pwd -P)
program_pid=""
cleanup() {
    if [[ -n $program_pid ]] && kill -0 "$program_pid" 2>/dev/null; then
        kill -KILL "$program_pid" 2>/dev/null || true
        wait "$program_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

root=$work/root
if ! DESTDIR=$root cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi

# The tree: files and links only, exactly the expected ones, and no empty folder left over.
grep -v '^#' "$build/packaging/expected-files.txt" >"$work/expected"
# The program folder is where libskinh.so is.
programdir_path=$(sed -n 's|/libskinh\.so$||p' "$work/expected")
(cd "$root" && find . -mindepth 1 ! -type d -printf '%P\n' | LC_ALL=C sort) >"$work/installed"
if ! diff -u "$work/expected" "$work/installed"; then
    fail "the installed tree differs from tests/install/expected-files.txt.in (- expected, + installed)"
fi
empty=$(cd "$root" && find . -mindepth 1 -type d -empty -printf '%P\n')
[[ -z $empty ]] || fail "empty folders installed: $empty"

programdir=$root/$programdir_path
link=$root/usr/bin/vexlon-collector
link_target=../${programdir_path#usr/}/vexlon-collector
if [[ ! -L $link ]]; then
    fail "usr/bin/vexlon-collector is not a symlink"
elif [[ $(readlink "$link") != "$link_target" ]]; then
    fail "usr/bin/vexlon-collector points to $(readlink "$link"), not $link_target"
fi

mode_of() { stat -c '%a' "$1"; }
[[ $(mode_of "$programdir/vexlon-collector") == 755 ]] || fail "the program's mode is $(mode_of "$programdir/vexlon-collector")"
[[ $(mode_of "$programdir/libskinh.so") == 644 ]] || fail "libskinh.so's mode is $(mode_of "$programdir/libskinh.so")"
while read -r path; do
    case $path in
    usr/bin/* | "$programdir_path/vexlon-collector" | "$programdir_path/libskinh.so") ;;
    *) [[ $(mode_of "$root/$path") == 644 ]] || fail "$path has mode $(mode_of "$root/$path"), not 644" ;;
    esac
done <"$work/expected"
bad_dirs=$(cd "$root" && find . -mindepth 1 -type d ! -perm 755 -printf '%P\n')
[[ -z $bad_dirs ]] || fail "folders whose mode is not 755: $bad_dirs"

# Only system libraries are linked, so nothing may point the loader elsewhere.
for elf in "$programdir/vexlon-collector" "$programdir/libskinh.so"; do
    if readelf -d "$elf" | grep -qE '\((RPATH|RUNPATH)\)'; then
        fail "$(basename "$elf") carries an RPATH: $(readelf -d "$elf" | grep -E 'RPATH|RUNPATH')"
    fi
done

# Installed as they are in the source tree.
for pair in packaging/vexlon-collector.desktop:usr/share/applications/vexlon-collector.desktop \
    packaging/vexlon-collector.metainfo.xml:usr/share/metainfo/io.github.vexlon.collector.metainfo.xml \
    packaging/icons/vexlon-collector.svg:usr/share/icons/hicolor/scalable/apps/vexlon-collector.svg \
    packaging/copyright:usr/share/doc/vexlon-collector/copyright \
    src/skin/skinh.she:"$programdir_path/skinh.she"; do
    cmp -s "$source_dir/${pair%%:*}" "$root/${pair#*:}" || fail "${pair#*:} differs from ${pair%%:*}"
done

# Each PNG is as large as the folder it is in says.
for size in 48 128 256; do
    png=$root/usr/share/icons/hicolor/${size}x${size}/apps/vexlon-collector.png
    file -b "$png" | grep -q "PNG image data, $size x $size," || fail "$png is not a ${size}x${size} PNG: $(file -b "$png")"
done

# The installed program, started as a user would, through the link; what it keeps goes to the
# temporary folder, not to the user's home.
export QT_QPA_PLATFORM=offscreen
export XDG_DATA_HOME=$work/home/data XDG_CONFIG_HOME=$work/home/config XDG_CACHE_HOME=$work/home/cache
export XDG_RUNTIME_DIR=$work/home/runtime
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
if version=$("$link" --version 2>"$work/version.err"); then
    [[ $version =~ ^vexlon-collector\ [0-9]+(\.[0-9]+)+$ ]] || fail "--version printed \"$version\""
else
    fail "--version exited with $?: $(cat "$work/version.err")"
fi
if "$link" --help >"$work/help" 2>"$work/help.err"; then
    for option in --market-url --icp-url --update-url --home-url --forum-url --help --version; do
        grep -qe "$option" "$work/help" || fail "--help does not list $option"
    done
else
    fail "--help exited with $?: $(cat "$work/help.err")"
fi

# The man page names every command and every long option that --help and each command's --help
# list, but --help-all: Qt adds that one to the help text and the program does not act on it. The
# commands are those --help lists above the options, two spaces in, and those the desktop entry's
# actions start (which must take --help too).
gzip -dc "$root/usr/share/man/man1/vexlon-collector.1.gz" | sed 's/\\-/-/g' >"$work/manpage"
cp "$work/help" "$work/all-help"
commands=$( (sed -n '/^Options:/q; s/^  \([a-z][a-z-]*\) .*/\1/p' "$work/help"
    sed -n 's/^Exec=vexlon-collector \([a-z][a-z-]*\).*/\1/p' "$root/usr/share/applications/vexlon-collector.desktop") | sort -u)
for command in $commands; do
    grep -qE "^\.B[IR]? \"?$command( |\"|\$)" "$work/manpage" || fail "the man page does not describe the command $command"
    "$link" "$command" --help >>"$work/all-help" 2>"$work/command-help.err" \
        || fail "$command --help exited with $?: $(cat "$work/command-help.err")"
done
for option in $(grep -oE -- '--[a-z][a-z-]*' "$work/all-help" | sort -u); do
    [[ $option == --help-all ]] && continue
    grep -qe "$option" "$work/manpage" || fail "the man page does not mention $option"
done

# Started through the link, the program must load libskinh.so from the folder the binary really is
# in. The loader says what it loads; every address is a closed port on the loopback.
closed=http://127.0.0.1:9
LD_DEBUG=files "$link" --market-url "$closed" --icp-url "$closed" --update-url "$closed" \
    --home-url "$closed" --forum-url "$closed" >"$work/run.log" 2>&1 &
program_pid=$!
loaded=""
for _ in $(seq 1 300); do
    if grep -qF "calling init: $programdir/libskinh.so" "$work/run.log"; then
        loaded=yes
        break
    fi
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
done
[[ -n $loaded ]] || fail "the installed program did not load $programdir/libskinh.so: $(grep -F libskinh "$work/run.log" || echo 'no mention')"
if kill -0 "$program_pid" 2>/dev/null; then
    # SIGTERM closes the window; the program then ends normally.
    kill -TERM "$program_pid"
    status=0
    for _ in $(seq 1 100); do
        kill -0 "$program_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$program_pid" 2>/dev/null; then
        fail "the installed program did not end within 10 s of SIGTERM"
    else
        wait "$program_pid" || status=$?
        program_pid=""
        [[ $status -eq 0 ]] || fail "the installed program ended with $status on SIGTERM"
    fi
else
    wait "$program_pid" || true
    program_pid=""
    fail "the installed program ended by itself"
fi

# The validators, on the installed files.
if ! desktop-file-validate "$root/usr/share/applications/vexlon-collector.desktop"; then
    fail "desktop-file-validate"
fi
if ! appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.vexlon.collector.metainfo.xml"; then
    fail "appstreamcli validate --no-net"
fi

if [[ $failures -gt 0 ]]; then
    echo "install_tree: $failures check(s) failed"
    exit 1
fi
echo "install_tree: the installed tree, program, man page, desktop entry and metadata are as expected"
