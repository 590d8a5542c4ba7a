#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The EXAMPLE of every manual page in section 3 is a complete C program:
# taken out of the page (.EX to .EE, roff escapes undone), it compiles
# without a warning against the header and links against the library.
# Usage: manual_examples_test.sh MAN-DIR INCLUDE-DIR LIBRARY CC
set -eu
man_dir="$1"
include_dir="$2"
library="$3"
cc="$4"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
count=0
for page in "$man_dir"/*.3; do
    grep -q '^\.EX$' "$page" || continue
    name="$(basename "$page" .3)"
    sed -n '/^\.EX$/,/^\.EE$/p' "$page" | sed -e '/^\.E[XE]$/d' \
        -e 's/\\-/-/g' -e "s/\\\\(aq/'/g" -e 's/\\(dq/"/g' -e 's/\\&//g' -e 's/\\e/\\/g' >"$work/$name.c"
    if ! "$cc" -std=c99 -Wall -Wextra -Werror -I"$include_dir" -o "$work/$name" "$work/$name.c" \
        "$library" >"$work/$name.log" 2>&1; then
        echo "manual_examples_test: the example of $page does not build:" >&2
        cat "$work/$name.log" >&2
        status=1
    fi
    count=$((count + 1))
done
[ "$count" -gt 0 ] || { echo "manual_examples_test: no example found in $man_dir" >&2; exit 1; }
echo "manual_examples_test: $count examples built"
exit $status
