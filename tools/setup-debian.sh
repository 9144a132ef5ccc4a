#!/usr/bin/env bash
# Installs what Brimwick+ needs to build, run and test on Debian 12.
# Runs apt-get directly as root, through sudo otherwise.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-translations-l10n
    libusb-1.0-0-dev
    zlib1g-dev libssl-dev
    libcli11-dev nlohmann-json3-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    umockdev libumockdev-dev
    xvfb xauth fonts-wqy-microhei fonts-dejavu-core
    xdg-utils desktop-file-utils shared-mime-info
    # The Debian package and its check
    dpkg-dev fakeroot file help2man lintian appstream x11-utils libglib2.0-bin
    binutils srecord
    # The fuzz targets (tools/fuzz.sh)
    clang libclang-rt-dev
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
