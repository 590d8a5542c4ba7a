#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Runs a Windows program under Wine, in a prefix of the build's own
# (WINEPREFIX, else wine-prefix/ in the current folder), made on first use:
# a 32-bit prefix for a 32-bit program, a 64-bit one for a 64-bit program
# (the machine field of the program's PE header tells which). No display:
# Wine's console programs need none.
#
# Wine's helper processes (services, device manager) outlive the program
# that started them and keep whatever output it had; so the prefix is made,
# and its helpers started under a persistent server, with no output at all
# before any program runs, and a caller reading the program's output (CTest)
# sees its end when the program ends. Wine's notices about missing fonts
# are left out of the program's standard error.
set -eu -o pipefail

# The PE header's offset is at 0x3c; its machine field follows "PE\0\0".
machine=""
if [ -f "$1" ]; then
    header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    [ -n "$header" ] && machine=$(od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' ')
fi
if [ "$machine" = 8664 ]; then
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
    mingw=/usr/x86_64-w64-mingw32
    wine=/usr/lib/wine/wine64
    [ -x "$wine" ] || wine=$(command -v wine64)
else
    export WINEARCH=win32
    mingw=/usr/i686-w64-mingw32
    wine=/usr/lib/wine/wine
    [ -x "$wine" ] || wine=$(command -v wine)
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine's own DLLs use zlib from MinGW's tree: found there while the prefix
# is made, and from the prefix's system folder afterwards.
export WINEDLLPATH=$mingw/lib
export WINEPREFIX=${WINEPREFIX:-$(pwd)/wine-prefix}
unset DISPLAY
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
    [ -f "$zlib" ] || cp "$mingw/lib/zlib1.dll" "$zlib"
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
