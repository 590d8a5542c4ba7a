#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Runs a Windows program under Wine, in a 32-bit prefix of the build's own
# (WINEPREFIX, else wine-prefix/ in the current folder), made on first use.
# No display: Wine's console programs need none.
#
# Wine's helper processes (services, device manager) outlive the program
# that started them and keep whatever output it had; so the prefix is made,
# and its helpers started under a persistent server, with no output at all
# before any program runs, and a caller reading the program's output (CTest)
# sees its end when the program ends. Wine's notices about missing fonts
# are left out of the program's standard error.
set -eu -o pipefail
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine's own DLLs use zlib from MinGW's tree: found there while the prefix
# is made, and from the prefix's system folder afterwards.
export WINEDLLPATH=/usr/i686-w64-mingw32/lib
export WINEPREFIX=${WINEPREFIX:-$(pwd)/wine-prefix}
unset DISPLAY
wine=/usr/lib/wine/wine
[ -x "$wine" ] || wine=$(command -v wine)
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

mkdir -p "$WINEPREFIX"
(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$wine" wineboot -i </dev/null >/dev/null 2>&1 9>&- || true
        "$wineserver" -w 9>&-
    fi
    zlib="$WINEPREFIX/drive_c/windows/system32/zlib1.dll"
    [ -f "$zlib" ] || cp /usr/i686-w64-mingw32/lib/zlib1.dll "$zlib"
    # A persistent server with its helpers started, unless one runs for
    # this prefix. (Neither keeps the lock: 9 is closed for them.)
    if ! pgrep -f "wineserver.* -p" >/dev/null 2>&1; then
        "$wineserver" -p </dev/null >/dev/null 2>&1 9>&- || true
        "$wine" wineboot </dev/null >/dev/null 2>&1 9>&- || true
    fi
) 9>"$WINEPREFIX.lock"

errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
status=0
"$wine" "$@" 2>"$errors" || status=$?
grep -v -e "FreeType font library" -e "use TrueType fonts" -e "or equal to 2.0.5" -e "freetype.org" "$errors" >&2 || true
exit $status
