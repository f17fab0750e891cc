#!/usr/bin/env bash
# Builds the Debian package and checks it as Debian checks its own: lintian (its
# errors, warnings, notes and pedantic remarks, counted), appstreamcli and
# desktop-file-validate on the files as the package holds them; then installs it
# into this machine with apt-get, runs kestrum-cli --version (and the other two
# programs' --version) and man -w kestrum-cli, and removes it again. Exits with 1
# when lintian reports an error or a warning, a validator complains, or a step
# fails. Needs root (or sudo) for apt-get, and is too slow for ./test.sh.
#
#     tools/check-package.sh [BUILD_DIR]     # default: build
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if dpkg -s kestrum >/dev/null 2>&1; then
    echo "kestrum is installed on this machine already; remove it first (apt-get remove kestrum)"
    exit 1
fi
"$root/tools/install-deps.sh" dpkg-dev file lintian appstream desktop-file-utils man-db

echo "== building the package in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${KESTRUM_JOBS:-2}" >/dev/null
rm -f "$build"/kestrum_*.deb
(cd "$build" && cpack >/dev/null)
deb=$(echo "$build"/kestrum_*.deb)
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes"

failed=0
tree=$(mktemp -d)
installed=
cleanup() {
    [ -z "$installed" ] || $sudo apt-get remove -y -qq kestrum >/dev/null || true
    rm -rf "$tree"
}
trap cleanup EXIT

echo "== lintian"
tags=$(lintian --display-info --pedantic "$deb" 2>&1 | grep -v "running with root privileges" || true)
[ -z "$tags" ] || echo "$tags"
count() { grep -c "^$1: " <<<"$tags" || true; }
errors=$(count E) warnings=$(count W)
echo "lintian: $errors errors, $warnings warnings, $(count I) notes, $(count P) pedantic"
[ "$errors" -eq 0 ] && [ "$warnings" -eq 0 ] || failed=1

echo "== appstreamcli validate-tree, desktop-file-validate"
dpkg-deb -x "$deb" "$tree"
# --no-net: the maker's addresses are not checked over the network.
appstreamcli validate-tree --no-net "$tree" || failed=1
desktop=$(desktop-file-validate "$tree/usr/share/applications/kestrum.desktop" 2>&1) || failed=1
if [ -n "$desktop" ]; then
    echo "$desktop"
    failed=1
else
    echo "desktop-file-validate: kestrum.desktop is clean"
fi

echo "== apt-get install, kestrum-cli --version, man -w kestrum-cli, apt-get remove"
installed=yes
(cd "$(dirname "$deb")" && $sudo apt-get install -y -qq "./$(basename "$deb")" >/dev/null)
release=$(sed -n 's/^kestrum (\(.*\)) .*/\1/p;q' "$root/dist/changelog")
for program in kestrum-cli kestrum kestrum-sim; do
    version=$(env -u DISPLAY -u WAYLAND_DISPLAY "/usr/bin/$program" --version) || true
    echo "$program --version: $version"
    [ "$version" = "$program $release" ] || failed=1
done
page=$(man -w kestrum-cli)
echo "man -w kestrum-cli: $page"
man -aw kestrum-cli | grep -qx /usr/share/man/man1/kestrum-cli.1.gz || failed=1
$sudo apt-get remove -y -qq kestrum >/dev/null
installed=
if dpkg -s kestrum >/dev/null 2>&1 || [ -e /usr/bin/kestrum-cli ]; then
    echo "kestrum is still installed after apt-get remove"
    failed=1
else
    echo "removed again"
fi

if [ "$failed" -ne 0 ]; then
    echo "check-package: FAILED"
    exit 1
fi
echo "check-package: all clean"
