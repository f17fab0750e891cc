#!/usr/bin/env bash
# Checks that every folder includes only its own headers, those of the floors below
# it (README.md, "How the code is laid out") and the generated "Version.h". Prints
# each include that runs sideways or up, and fails when there is one.
#
#     tools/check-layers.sh [SOURCE_DIR]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

# folder -> what it may include besides itself
declare -A allowed=(
    [base]=""
    [serial]="base"
    [settings]="base"
    [screen]="base serial settings"
    [protocol]="base serial settings screen"
    [app]="base serial settings screen protocol"
    [report]="base settings screen"
    [window]="base serial settings screen protocol app report"
    [cli]="base serial settings screen protocol app report"
    [sim]=""
)

faults=0
for folder in "${!allowed[@]}"; do
    [ -d "$folder" ] || continue
    while IFS=: read -r file line include; do
        target=${include#*\"}
        # The version header is generated into the build tree from CMakeLists.txt
        # and holds nothing of ours but the version: every folder may include it.
        [ "$target" = 'Version.h"' ] && continue
        target=${target%%/*}
        [ "$target" = "$folder" ] && continue
        case " ${allowed[$folder]} " in
            *" $target "*) continue ;;
        esac
        echo "$file:$line: $folder/ may not include $target/ ($include)"
        faults=$((faults + 1))
    done < <(grep -rn --include='*.h' --include='*.cpp' '^#include "' "$folder" || true)
done
if [ "$faults" -gt 0 ]; then
    echo "$faults include(s) against the floors"
    exit 1
fi
echo "every include keeps to the floors"
