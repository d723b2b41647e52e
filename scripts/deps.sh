#!/bin/sh
# Installs the Debian packages the build and the tests need, when any is missing.
set -eu
packages="cmake ninja-build g++ make pkg-config libgtest-dev libgmock-dev qt6-base-dev qt6-translations-l10n fonts-dejavu-core fonts-liberation2 xdg-utils util-linux"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
# shellcheck disable=SC2086
$SUDO apt-get install -y --no-install-recommends $missing
