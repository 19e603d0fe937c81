#!/usr/bin/env bash
# Installs what building, running and testing Vestrion needs on Debian 12.
# Quiet and quick when everything is already there. With VESTRION_QT6=1 it
# also installs Qt 6.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qtbase5-dev qttools5-dev qttools5-dev-tools zlib1g-dev
    libstemmer-dev libtesseract-dev tesseract-ocr-rus tesseract-ocr-eng
    xvfb xauth x11-utils x11-xserver-utils xdotool dbus python3-dbusmock imagemagick
    clang-format clang libclang-rt-14-dev
    fonts-dejavu-core
)
if [ "${VESTRION_QT6:-0}" = 1 ]; then
    packages+=(qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev)
fi
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
