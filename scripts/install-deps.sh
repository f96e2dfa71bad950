#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those
# that are missing. Needs root (or sudo) the first time. With the argument
# "fuzz" it also installs what the fuzz build needs, with "ci" what .ci/run
# checks the package with, with "bench" what make bench measures against.
set -euo pipefail

packages=(
    cmake make g++ pkg-config
    qt6-base-dev libgl-dev          # Qt Core, Gui, Widgets, Network, Test
    qt6-svg-dev                     # drawing the program icon at build time
    libsqlite3-dev                  # the feed database
    libcurl4-openssl-dev            # feed requests and episode transfers
    libpugixml-dev                  # feed documents
    libgtest-dev libgmock-dev       # the test suite
    qt6-qpa-plugins                 # the offscreen platform the tests run on
    xvfb openbox trayer             # the window's checks: an X server, a window manager, a tray
    xdotool x11-utils imagemagick   # ...driven by xdotool, read with xprop/xwininfo, screenshots
    sqlite3                         # ...and a feed list made for them
    dbus-daemon at-spi2-core python3-pyatspi  # ...and what a screen reader reads over AT-SPI
    zlib1g-dev                      # gzip bodies in the feed reader's tests
    libbenchmark-dev curl strace    # make bench (strace counts the schedule's syncs)
    libxcb1-dev                     # ...its timer of the window's start
    dpkg-dev file                   # the version and dates from the changelog, the hardening flags,
                                    # the package's library dependencies
    scdoc                           # the manual page
)
case "${1:-}" in
fuzz) packages+=(clang libclang-rt-dev) ;;   # libFuzzer
ci) packages+=(lintian appstream desktop-file-utils systemd) ;;
bench) packages+=(nginx-light) ;;                 # a real server for the transfer benchmark
esac

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing Debian packages with apt-get: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
