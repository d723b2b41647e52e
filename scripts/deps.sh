#!/bin/sh
# Installs the Debian packages the build and the tests need, when any is missing. With every
# package present it needs no root. Without root and without sudo it names the command to run as
# root, in one line, and stops.
set -eu
packages="cmake ninja-build g++ make pkg-config libgtest-dev libgmock-dev qt6-base-dev qt6-translations-l10n fonts-dejavu-core fonts-liberation2 xdg-utils util-linux python3"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
install="apt-get install -y --no-install-recommends$missing"
if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
elif command -v sudo >/dev/null 2>&1; then
    SUDO="sudo"
else
    echo "Missing packages:$missing. Run as root, then run this command again: su -c 'apt-get update && $install'" >&2
    exit 1
fi
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
# shellcheck disable=SC2086
$SUDO $install
