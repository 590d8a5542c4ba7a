#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Runs every fuzz target of a build for the given number of seconds, starting
# from its seed corpus (fuzz/corpus/<target>/). Any crash, leak or sanitizer
# report makes the run fail.
set -eu
build="$1"
seconds="$2"
here="$(cd "$(dirname "$0")" && pwd)"
status=0
for target in "$build"/fuzz/*_fuzzer; do
    [ -x "$target" ] || continue
    name="$(basename "$target")"
    work="$(mktemp -d)"
    seeds="$here/corpus/$name"
    [ -d "$seeds" ] && cp "$seeds"/* "$work"/ 2>/dev/null || true
    echo "== $name for ${seconds}s"
    if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$build/fuzz/$name-" -print_final_stats=1 "$work" >"$build/fuzz/$name.log" 2>&1; then
        echo "FAILED: $name (see $build/fuzz/$name.log)"
        tail -40 "$build/fuzz/$name.log"
        status=1
    else
        grep -E "^stat::number_of_executed_units" "$build/fuzz/$name.log" || true
    fi
    rm -rf "$work"
done
exit $status
