#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Runs a Windows test program under Wine with the printer simulator (the
# Linux build's) serving at 127.0.0.1:161, as the lane's network namespace
# allows; the simulator stops when the program ends.
#   with_simulator.sh SIMULATOR WINE_RUN PROGRAM [ARGS...]
set -eu
simulator=$1
wine_run=$2
shift 2
folder=$(mktemp -d)
"$simulator" --address 127.0.0.1 --port 161 --log "$folder/log" >"$folder/out" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true; wait $pid 2>/dev/null || true; rm -rf "$folder"' EXIT
i=0
until grep -q ready "$folder/out" 2>/dev/null; do
    i=$((i + 1))
    if [ $i -gt 100 ] || ! kill -0 $pid 2>/dev/null; then
        echo "with_simulator: the printer simulator did not start:" >&2
        cat "$folder/out" >&2
        exit 1
    fi
    sleep 0.1
done
"$wine_run" "$@"
