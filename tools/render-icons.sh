#!/usr/bin/env bash
# Renders the program icon dist/kestrum.svg as the PNG sizes that menus, task bars and
# launchers ask for (dist/icons/NxN/kestrum.png). The PNGs are kept in the repository,
# so building needs no SVG renderer; run this again whenever kestrum.svg changes.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v rsvg-convert >/dev/null || tools/install-deps.sh librsvg2-bin
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "dist/icons/${size}x${size}"
    rsvg-convert --width "$size" --height "$size" --format png \
        --output "dist/icons/${size}x${size}/kestrum.png" dist/kestrum.svg
done
