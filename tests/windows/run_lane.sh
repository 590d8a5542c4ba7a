#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The Windows lane's tests: CTest over a MinGW build folder, under Wine,
# inside a private network namespace (the simulator serves port 161 there).
# Wine's server must live in that namespace too, since it opens the
# programs' sockets: a server of the same prefix left running outside is
# stopped first, and the lane's own is stopped at the end.
#   run_lane.sh BUILD_FOLDER [CTEST_ARGS...]
set -eu
build=$(cd "$1" && pwd)
shift
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX="$build/wine-prefix"
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=wineserver
"$wineserver" -k 2>/dev/null || true
exec "$here/../support/in_netns.sh" sh -c '
    status=0
    ctest --test-dir "$1" --output-on-failure --repeat until-pass:2 "$@" || status=$?
    "$0" -k 2>/dev/null || true
    exit $status' "$wineserver" "$build" "$@"
