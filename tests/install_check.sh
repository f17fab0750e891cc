#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed programs.
# MAN_PAGES is ON when the build made the manual pages (help2man was there).
set -euo pipefail
build=${1:?usage: install_check.sh BUILD_DIR [MAN_PAGES]}
man_pages=${2:-OFF}
prefix=$(mktemp -d)
sim=
trap '[ -z "$sim" ] || kill "$sim" 2>/dev/null; rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/kestrum bin/kestrum-cli bin/kestrum-sim share/applications/kestrum.desktop \
         share/icons/hicolor/{scalable/apps/kestrum.svg,16x16/apps/kestrum.png,256x256/apps/kestrum.png} \
         share/metainfo/example.brivane.kestrum.metainfo.xml share/doc/kestrum/{copyright,changelog.gz}; do
    [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
# Each manual page is gzipped, names its program with its version and holds a word
# of its --help (in man's spelling, where "-" is "\-").
if [ "$man_pages" = ON ]; then
    for page in 'kestrum|/DEBUG' 'kestrum-cli|read\-all' 'kestrum-sim|stop\-after\-len'; do
        text=$(zcat "$prefix/share/man/man1/${page%|*}.1.gz") &&
            grep -qF "\"${page%|*} 1.0\" \"User Commands\"" <<<"$text" && grep -qF "${page#*|}" <<<"$text" ||
            { echo "manual page ${page%|*}(1) missing or without its --help"; exit 1; }
    done
    # Exit status and environment are sections of their own, each command a tagged entry.
    text=$(zcat "$prefix/share/man/man1/kestrum-cli.1.gz")
    for part in $'\n.SH "EXIT STATUS"\n' $'\n.SH ENVIRONMENT\n' $'\n.TP\nwrite ITEM VALUE\n'; do
        [[ $text == *"$part"* ]] || { echo "kestrum-cli(1) lacks $part"; exit 1; }
    done
fi
# The completion of kestrum-cli (the last word is the one completed): commands, a
# command's options, .cfg files for a file argument.
complete_cli() {
    (cd "$prefix" && source share/bash-completion/completions/kestrum-cli &&
     COMP_WORDS=("$prefix/bin/kestrum-cli" "$@") && COMP_CWORD=$# && _kestrum_cli &&
     echo "${COMPREPLY[*]}")
}
touch "$prefix/a.cfg" "$prefix/a.txt"
for line in 'wr|write-all write-changed write' 'call 12 --b|--bleep' '--port 3 show a|a.cfg' \
            'diff u|unit' 'help res|restart'; do
    got=$(complete_cli ${line%|*})
    [ "$got" = "${line#*|}" ] || { echo "completing \"${line%|*}\" gave \"$got\""; exit 1; }
done
# Whole outputs first: grep -q ends at its first match, and under pipefail the
# program's write into the closed pipe would fail the line.
grep -q "read-all" <<<"$("$prefix/bin/kestrum-cli" --help)" || { echo "kestrum-cli --help failed"; exit 1; }
help=$("$prefix/bin/kestrum-sim" --help)
[ "$(head -1 <<<"$help")" = "Usage: kestrum-sim [options]" ] && grep -q "pseudo-terminal" <<<"$help" ||
    { echo "kestrum-sim --help failed"; exit 1; }

# --version and the window program's --help, without a display: a window
# program that made its QApplication anyway would abort here.
nodisplay() { env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$@"; }
for program in kestrum kestrum-cli kestrum-sim; do
    version=$(nodisplay "$prefix/bin/$program" --version)
    [ "$version" = "$program 1.0" ] || { echo "$program --version printed \"$version\""; exit 1; }
done
help=$(nodisplay "$prefix/bin/kestrum" --help)
[ "$(head -1 <<<"$help")" = "Usage: kestrum [/LOG] [/DEBUG]" ] && grep -q KESTRUM_HOME <<<"$help" ||
    { echo "kestrum --help failed"; exit 1; }

# The README's demo: a simulator started with "&" from a script (standard input
# at its end) serves on, through a link whose folder it makes, until a signal.
link="$prefix/home/ports/com1"
"$prefix/bin/kestrum-sim" --link "$link" >"$prefix/sim.log" &
sim=$!
for _ in $(seq 100); do [ -L "$link" ] && break; sleep 0.1; done
grep -qx "5=0" <<<"$("$prefix/bin/kestrum-cli" --home "$prefix/home" --timeout 20 read 5 2>/dev/null)" ||
    { echo "kestrum-sim & did not serve:"; cat "$prefix/sim.log"; exit 1; }
kill "$sim" && wait "$sim" && sim=
[ ! -L "$link" ] || { echo "kestrum-sim left its link behind"; exit 1; }
echo "installed tree runs"
