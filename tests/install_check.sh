#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed programs.
set -euo pipefail
build=${1:?usage: install_check.sh BUILD_DIR}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/kestrum bin/kestrum-cli bin/kestrum-sim share/applications/kestrum.desktop \
         share/icons/hicolor/scalable/apps/kestrum.svg; do
    [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
"$prefix/bin/kestrum-cli" --help | grep -q "read-all" || { echo "kestrum-cli --help failed"; exit 1; }
"$prefix/bin/kestrum-sim" --help | grep -q "pseudo-terminal" || { echo "kestrum-sim --help failed"; exit 1; }
echo "installed tree runs"
