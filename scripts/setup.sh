#!/usr/bin/env bash
# Installs the Debian packages that building, testing, running and fuzzing need, where missing.
# Quiet and quick when everything is there already; uses sudo when not run as root.
#
#   scripts/setup.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

packages=(
    cmake g++ make pkg-config       # build tools
    qt6-base-dev                    # Qt 6 Core, Gui, Widgets, Network, Test, DBus
    libcpp-httplib-dev              # the sample marketplace and the test servers
    libc-ares-dev                   # DNS queries for the same name under other suffixes
    libqt6sql6-sqlite               # the history's SQLite driver for Qt SQL
    dbus                            # dbus-run-session and dbus-daemon: a private session bus for the notification tests
    xvfb xauth x11-utils xdotool    # a window without a display; xwininfo, and clicks for the demo
    imagemagick                     # screenshots (import)
    fonts-wqy-microhei              # Chinese captions
    wamerican                       # the English word list the appraisal tags words by
    clang libclang-rt-14-dev        # fuzzing (libFuzzer)
    desktop-file-utils              # desktop-file-validate, for the installed desktop entry
    appstream                       # appstreamcli, for the installed metadata
    dpkg-dev                        # dpkg-shlibdeps and dpkg-buildflags, for the .deb
    lintian                         # checks the .deb
    file                            # icon sizes in the install test
    systemd                         # systemd-analyze, which checks the units that "schedule enable" writes
)

# Those of the given packages that are not installed (unknown ones included).
missing_of() {
    local present
    present=$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "$@" 2>/dev/null | awk '$2 == "installed" { print $1 }' || true)
    local package
    for package in "$@"; do
        grep -qxF -- "$package" <<<"$present" || echo "$package"
    done
}

mapfile -t missing < <(missing_of "${packages[@]}")
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    if ! command -v sudo >/dev/null; then
        echo "setup: root or sudo is needed to install: ${missing[*]}" >&2
        exit 1
    fi
    sudo=(sudo)
fi

echo "setup: installing ${missing[*]}" >&2
${sudo[@]+"${sudo[@]}"} env DEBIAN_FRONTEND=noninteractive apt-get update -qq
${sudo[@]+"${sudo[@]}"} env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

mapfile -t still_missing < <(missing_of "${missing[@]}")
if [[ ${#still_missing[@]} -gt 0 ]]; then
    echo "setup: could not install ${still_missing[*]}" >&2
    exit 1
fi
