#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Kestrum need,
# skipping what is already there. Packages named as arguments are installed too
# (the tools that only tools/check-package.sh or tools/render-icons.sh use).
# help2man makes the manual pages from the programs' --help at build time; the tests
# read the configuration report's PDF with poppler-utils; the report is set in DejaVu Sans;
# ser2net serves the simulated converter over the network in the tests.
set -euo pipefail
packages=(cmake g++ make qt6-base-dev qt6-serialport-dev libgl-dev xvfb x11-apps imagemagick
          xauth clang libclang-rt-14-dev help2man poppler-utils fonts-dejavu-core ser2net "$@")
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
