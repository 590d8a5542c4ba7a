#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The library's folders include only their own layer and those below, with
# no loop; and the check itself notices an arrow up, a loop and a folder it
# does not know.
#   include_layers_test.sh SOURCE_DIR
set -eu
source_dir=$1
graph=$source_dir/scripts/include-graph.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$graph" --check "$source_dir"

# A tree whose transact/ and groups/ include each other, the arrow up being
# transact's.
expect_failure() {  # WHAT MESSAGE
    if "$graph" --check "$work" >/dev/null 2>"$work/err"; then
        echo "include_layers_test: $1 passed the check" >&2
        exit 1
    fi
    if ! grep -q "$2" "$work/err"; then
        echo "include_layers_test: $1: expected '$2' in:" >&2
        cat "$work/err" >&2
        exit 1
    fi
}
mkdir -p "$work/transact" "$work/groups" "$work/platform"
printf '#include "groups/object_groups.h"\n#include "platform/heap.h"\n' >"$work/transact/a.cpp"
printf '#include "transact/request_id.h"\n' >"$work/groups/b.cpp"
expect_failure "an include loop" "transact (layer 5) includes groups (layer 6): an arrow up"
expect_failure "an include loop" "groups and transact include each other: a loop"

printf '#include "platform/heap.h"\n' >"$work/transact/a.cpp"
"$graph" --check "$work" >/dev/null

mkdir -p "$work/elsewhere"
printf '#include "elsewhere/x.h"\n' >"$work/groups/b.cpp"
expect_failure "a folder without a layer" "groups includes elsewhere, which has no layer"
