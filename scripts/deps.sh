#!/usr/bin/env bash
# Installs the Debian packages Quillet needs, only those that are missing.
#   scripts/deps.sh run           what building and running the program needs
#   scripts/deps.sh test          that and what the tests need
#   scripts/deps.sh windows       that, and the cross compiler, Wine and GoogleTest's sources
#                                 for the Windows build and its tests
#   scripts/deps.sh package       that, and the tools scripts/package.sh makes and checks the
#                                 packages with
#   scripts/deps.sh --list GROUP  prints the packages of GROUP, one a line, installs nothing
# Run as a normal user it asks sudo for the installation, and says so first.
set -euo pipefail

# One list per group; a group that needs another names it in includes_<group>.
run_packages=(g++ cmake ninja-build pkg-config qt6-base-dev libcurl4-openssl-dev libssl-dev libsodium-dev libx11-dev libxtst-dev
              libpcre2-dev libexpat1-dev fonts-wqy-zenhei xdg-utils)
test_packages=(libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev xvfb xauth xdotool xclip
               python3 python3-pyftpdlib python3-openssl python3-dbus python3-gi dbus-daemon clang libclang-rt-14-dev
               apache2-bin apache2-utils)
includes_test=(run)
# dpkg-dev fetches the sources of the libraries cross-built for Windows, and autotools
# build libsodium's; the Song font has
# the metrics the forms were laid out for, and Wine draws the windows with it.
windows_packages=(g++-mingw-w64-x86-64-posix wine64 googletest dpkg-dev ccache fonts-arphic-gbsn00lp
                  autoconf automake libtool)
includes_windows=(test)
# The packages: NSIS makes the Windows installer, lintian, desktop-file-validate and
# appstreamcli check the Debian package.
package_packages=(nsis lintian desktop-file-utils appstream zip)
includes_package=(windows)

usage() {
    echo "usage: scripts/deps.sh [--list] run|test|windows|package" >&2
    exit 2
}

# Prints the packages of a group and of the groups it includes, one a line.
packages_of() {
    local group=$1
    declare -p "${group}_packages" >/dev/null 2>&1 || usage
    local -n own="${group}_packages"
    if declare -p "includes_${group}" >/dev/null 2>&1; then
        local -n included="includes_${group}"
        local other
        for other in "${included[@]}"; do packages_of "$other"; done
    fi
    printf '%s\n' "${own[@]}"
}

list_only=false
if [ "${1:-}" = --list ]; then
    list_only=true
    shift
fi
[ $# -le 1 ] || usage
group=${1:-run}
mapfile -t wanted < <(packages_of "$group" | awk '!seen[$0]++')
[ ${#wanted[@]} -gt 0 ] || usage
if $list_only; then
    printf '%s\n' "${wanted[@]}"
    exit 0
fi

missing=()
for package in "${wanted[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
[ ${#missing[@]} -gt 0 ] || exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "Installing packages needs root, and sudo is not available: install them as root," >&2
        echo "or install sudo, then run this again." >&2
        exit 1
    fi
    echo "Installing packages needs root: asking sudo (it may ask for your password)."
    as_root=(sudo)
fi
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
