#!/bin/sh
# The include graph between the library's folders, one "from -> to (count)"
# line per pair of folders, counting the #include "folder/..." lines of
# every source file in `from` that name a header of `to`.
#   include-graph.sh [ROOT]           print the graph of the tree at ROOT (default: this checkout)
#   include-graph.sh --check [ROOT]   also fail when a folder includes a higher layer's header,
#                                     or two folders include each other
set -eu

check=0
if [ "${1:-}" = "--check" ]; then
    check=1
    shift
fi
root=${1:-$(dirname "$0")/..}

# Each folder with its layer, low to high. A folder may include its own layer
# and those below. platform/ is the seam (its own files, one header per
# service); the emulated components implement seams; each system's side of
# the platform may use them.
layers='platform 0
hive 1
wsock32 1
dlcapi 1
platform/posix 2
platform/win32 2
codec 3
transport 4
dlc 4
transact 5
traps 6
groups 6
fleet 6
discover 6
library 7
tools 8'

folders=$(printf '%s\n' "$layers" | awk '{print $1}')

graph=$(
    cd "$root"
    for from in $folders; do
        [ -d "$from" ] || continue
        depth=""
        [ "$from" = platform ] && depth="-maxdepth 1"
        # shellcheck disable=SC2086
        find "$from" $depth -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) -print |
            xargs -r grep -h -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"/]+/' |
            sed -E -e 's|^[^"]*"platform/(posix\|win32)/.*|platform/\1|' -e 's|^[^"]*"([^"/]+)/.*|\1|' |
            while read -r to; do
                if [ "$to" != "$from" ] && [ -d "$to" ]; then echo "$from -> $to"; fi
            done
    done | sort | uniq -c | awk '{print $2, $3, $4, "(" $1 ")"}'
)
if [ -n "$graph" ]; then printf '%s\n' "$graph"; fi
[ "$check" -eq 1 ] || exit 0

# Every folder the graph names must have a layer; no edge may point up, and
# no two folders may include each other.
printf '%s\n' "$graph" | awk -v layers="$layers" '
    BEGIN {
        n = split(layers, rows, "\n")
        for (i = 1; i <= n; i++) { split(rows[i], f, " "); layer[f[1]] = f[2] }
    }
    NF == 4 { edge[$1 " " $3] = 1; from[NR] = $1; to[NR] = $3 }
    END {
        status = 0
        for (i = 1; i <= NR; i++) {
            a = from[i]; b = to[i]
            if (a == "") continue
            if (!(b in layer)) {
                printf "include-graph: %s includes %s, which has no layer in scripts/include-graph.sh\n", a, b > "/dev/stderr"
                status = 1
            } else if (layer[b] > layer[a]) {
                printf "include-graph: %s (layer %d) includes %s (layer %d): an arrow up\n", a, layer[a], b, layer[b] > "/dev/stderr"
                status = 1
            }
            if ((b " " a) in edge && a < b) {
                printf "include-graph: %s and %s include each other: a loop\n", a, b > "/dev/stderr"
                status = 1
            }
        }
        exit status
    }'
