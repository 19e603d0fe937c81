#!/usr/bin/env bash
# Installs what building, running and testing Vestrion needs on Debian 12.
# Quiet and quick when everything is already there.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qtbase5-dev qttools5-dev qttools5-dev-tools libqt5dbus5 zlib1g-dev
    xvfb xauth x11-utils xdotool dbus
    clang-format
    fonts-dejavu-core
)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        sudo=sudo
    else
        sudo=
    fi
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
