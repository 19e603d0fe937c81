#!/usr/bin/env bash
# Installs what Vestrion needs on Debian 12: always what building and running
# take, and the named groups besides. Quiet and quick when all is there.
#   scripts/deps.sh [test] [fuzz] [format] [bench] [package] [package-test]
# With VESTRION_QT6=1 it also installs Qt 6.
set -euo pipefail

# qttranslations5-l10n: the toolkit's own texts in Russian, which the program loads.
# The OCR models of every language the reader's labels may be in.
packages=(cmake ninja-build g++ pkg-config qtbase5-dev qttools5-dev qttools5-dev-tools zlib1g-dev
    libstemmer-dev libtesseract-dev tesseract-ocr-rus tesseract-ocr-eng tesseract-ocr-ukr tesseract-ocr-bel
    tesseract-ocr-kaz tesseract-ocr-deu tesseract-ocr-fra tesseract-ocr-pol tesseract-ocr-ita tesseract-ocr-spa
    fonts-dejavu-core qttranslations5-l10n)
if [ "${VESTRION_QT6:-0}" = 1 ]; then
    packages+=(qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev qt6-translations-l10n)
fi
for group in "$@"; do
    case $group in
    run) ;;
    # The end-to-end test drives Xvfb and reads its windows, beside a desktop's
    # session and accessibility buses; the device tests start a private bus
    # and a mock of the device's services; the screen reader's view comes over
    # the accessibility bus (AT-SPI). The label photos are made with
    # ImageMagick and tagged with exiftool, their cards printed in the DejaVu
    # faces, condensed and light ones too. One end-to-end case runs under a
    # desktop's window manager, openbox.
    test) packages+=(xvfb xauth x11-utils x11-xserver-utils xdotool dbus python3-dbusmock imagemagick
        at-spi2-core python3-pyatspi libimage-exiftool-perl fonts-dejavu-extra openbox) ;;
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    format) packages+=(clang-format) ;;
    # GNU time measures the whole program's peak memory.
    bench) packages+=(libbenchmark-dev time) ;;
    package) packages+=(dpkg-dev fakeroot) ;;
    package-test) packages+=(dpkg-dev fakeroot lintian desktop-file-utils appstream xvfb xauth x11-utils xdotool) ;;
    *)
        echo "deps.sh: unknown group $group" >&2
        exit 2
        ;;
    esac
done
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
