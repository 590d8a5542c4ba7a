#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Installs what the Windows build and its tests under Wine need: MinGW-w64
# for i686 (posix threads), GoogleTest's sources, and a 32-bit Wine; and,
# for machines whose kernel runs no 32-bit programs, MinGW-w64 for x86-64
# and a 64-bit Wine. Idempotent.
#
# Wine comes from Debian's wine32 package. When the package manager cannot
# install it, which happens when the i386 and amd64 indexes of a mirror are
# out of step (the i386 libraries then cannot match the installed amd64
# ones), Wine's own two packages are unpacked in place instead: Wine needs
# only the C library to run console programs without a display, and that
# installs on its own.
set -eu

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=""
for p in cmake ninja-build g++-mingw-w64-i686-posix mingw-w64-i686-dev googletest libz-mingw-w64 iproute2 \
         util-linux snmp snmpd g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine64; do
    installed "$p" || missing="$missing $p"
done
updated=false
if [ -n "$missing" ]; then
    echo "installing:$missing"
    $SUDO apt-get update -q || true
    updated=true
    $SUDO apt-get install -y -q --no-install-recommends $missing
fi

if [ -x /usr/lib/wine/wine ] && [ -e /lib/ld-linux.so.2 ]; then
    exit 0
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    updated=false
fi
$updated || $SUDO apt-get update -q || true
if $SUDO apt-get install -y -q --no-install-recommends wine wine32:i386; then
    exit 0
fi
echo "install-windows-deps: wine32 does not install with the package manager; unpacking Wine's packages in place"
$SUDO apt-get install -y -q --no-install-recommends libc6:i386 libgcc-s1:i386
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download wine32:i386 libwine:i386)
for deb in "$work"/*.deb; do
    dpkg -x "$deb" "$work/root"
done
$SUDO cp -an "$work/root/usr/lib/wine" /usr/lib/
$SUDO mkdir -p /usr/lib/i386-linux-gnu
$SUDO cp -an "$work/root/usr/lib/i386-linux-gnu/wine" /usr/lib/i386-linux-gnu/
$SUDO cp -an "$work/root/usr/share/wine" /usr/share/
[ -x /usr/lib/wine/wine ]
