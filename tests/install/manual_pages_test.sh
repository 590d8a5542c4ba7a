#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Each manual page renders without a single warning (groff -ww, and mandoc's
# lint where it is installed), a page that only sources another (.so) names
# one that is there, every exported function has a page, and each tool's
# --version prints the version.
# Usage: manual_pages_test.sh MAN-DIR VERSION TOOL...
set -eu
man_dir="$1"
version="$2"
shift 2
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
header="$man_dir/../include/snmphelper.h"
for function in $(grep -oE 'SNMPHELPER_CALL[[:space:]]+Helper[A-Za-z0-9_]*' "$header" | awk '{print $2}'); do
    [ -s "$man_dir/$function.3" ] || { echo "manual_pages_test: $function has no page $function.3" >&2; status=1; }
done
for page in "$man_dir"/snmphelper.1 "$man_dir"/snmphelper-printer-sim.1 "$man_dir"/*.3; do
    [ -s "$page" ] || { echo "manual_pages_test: $page is missing or empty" >&2; status=1; continue; }
    if head -n 1 "$page" | grep -q '^\.so '; then
        target="$(head -n 1 "$page" | sed 's/^\.so //')"
        if [ "$(wc -l <"$page")" -ne 1 ] || [ ! -s "$man_dir/$(basename "$target")" ]; then
            echo "manual_pages_test: $page should be one line naming an existing page, not:" >&2
            cat "$page" >&2
            status=1
        fi
        continue
    fi
    LC_ALL=C.UTF-8 groff -ww -z -b -t -man "$page" >"$work/groff" 2>&1 || true
    if [ -s "$work/groff" ]; then
        echo "manual_pages_test: groff warns about $page:" >&2
        cat "$work/groff" >&2
        status=1
    fi
    # man -l as a reader would run it, with its own warnings on.
    MANWIDTH=80 man --warnings=w -l "$page" >"$work/rendered" 2>"$work/man" || status=1
    if [ -s "$work/man" ]; then
        echo "manual_pages_test: man -l warns about $page:" >&2
        cat "$work/man" >&2
        status=1
    fi
    [ -s "$work/rendered" ] || { echo "manual_pages_test: $page renders empty" >&2; status=1; }
    if command -v mandoc >/dev/null 2>&1; then
        if ! mandoc -T lint -W warning "$page" >"$work/mandoc" 2>&1; then
            echo "manual_pages_test: mandoc -T lint about $page:" >&2
            cat "$work/mandoc" >&2
            status=1
        fi
    fi
done
for tool in "$@"; do
    name="$(basename "$tool")"
    printed="$("$tool" --version)" || { echo "manual_pages_test: $name --version failed" >&2; status=1; }
    if [ "$printed" != "$name $version" ]; then
        echo "manual_pages_test: $name --version printed '$printed', not '$name $version'" >&2
        status=1
    fi
done
exit $status
