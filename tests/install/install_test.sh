#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Installs the build into a temporary prefix, then builds the example against
# that installation with pkg-config and with find_package and runs both:
# the package must be usable as installed, without the build tree.
# Usage: install_test.sh BUILD-DIR SOURCE-DIR C-COMPILER [EXTRA-C-FLAGS]
set -eu
build="$1"
source="$2"
cc="$3"
extra="${4:-}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

fail() {
    echo "install_test: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "install failed"; }

pc="$(find "$prefix" -name snmphelper.pc)"
[ -n "$pc" ] || fail "no snmphelper.pc installed"
PKG_CONFIG_PATH="$(dirname "$pc")"
export PKG_CONFIG_PATH
libdir="$(pkg-config --variable=libdir snmphelper)"
for file in "$libdir/libsnmphelper.so" "$libdir/libsnmphelper.so.0" "$libdir/snmphelper/wsock32.so" \
        "$libdir/snmphelper/dlcapi.so" "$prefix/include/snmphelper.h" "$prefix/bin/snmphelper" \
        "$prefix/bin/snmphelper-printer-sim" "$prefix/share/man/man1/snmphelper.1" \
        "$prefix/share/man/man1/snmphelper-printer-sim.1" "$prefix/share/man/man3/snmphelper.3" \
        "$prefix/share/man/man3/HelperSNMPTransact.3" "$prefix/share/man/man3/HelperFreeReqParam.3" \
        "$prefix/share/bash-completion/completions/snmphelper" \
        "$libdir/cmake/snmphelper/snmphelperConfig.cmake" \
        "$libdir/cmake/snmphelper/snmphelperConfigVersion.cmake" "$prefix/share/man/man3/HelperPrinterAdd.3" \
        "$prefix/etc/snmphelper/registry.reg"; do
    [ -e "$file" ] || fail "$file was not installed"
done
# A page that serves several functions is found under each name: "man
# HelperFreeReqParam" shows HelperSnmpDecodePdu's page.
MANWIDTH=80 man -M "$prefix/share/man" 3 HelperFreeReqParam 2>/dev/null | grep -q HelperSnmpDecodePdu ||
    fail "man 3 HelperFreeReqParam does not show HelperSnmpDecodePdu's page"
# The default store: an empty one that every user may read.
[ "$(stat -c %a "$prefix/etc/snmphelper")" = 755 ] || fail "etc/snmphelper is not mode 0755"
[ "$(stat -c %a "$prefix/etc/snmphelper/registry.reg")" = 644 ] || fail "the store is not mode 0644"
SNMPHELPER_REGISTRY="$prefix/etc/snmphelper/registry.reg" "$prefix/bin/snmphelper" printer list >"$work/list.out" \
    || fail "the installed store cannot be read"
[ ! -s "$work/list.out" ] || fail "the installed store holds printers"
soname="$(objdump -p "$libdir/libsnmphelper.so" | awk '$1 == "SONAME" { print $2 }')"
[ "$soname" = libsnmphelper.so.0 ] || fail "soname is '$soname', not libsnmphelper.so.0"

# What the example prints, whichever way it was built.
check_output() {
    grep -q '1.3.6.1.2.1.1.5.0 = STRING: "lab-printer"' "$1" || fail "$2: sysName not decoded: $(cat "$1")"
    grep -q '1.3.6.1.2.1.25.3.2.1.5.1 = INTEGER: 2' "$1" || fail "$2: hrDeviceStatus not decoded"
    grep -q '^GetRequest for both, 62 octets: 30 3C 02 01 00' "$1" || fail "$2: no request formed"
}

# pkg-config; the installed library must find its platform libraries in
# snmphelper/ beside itself.
# shellcheck disable=SC2046,SC2086
"$cc" $extra -o "$work/example-pc" "$source/examples/decode_and_form.c" $(pkg-config --cflags --libs snmphelper) \
    || fail "the example does not build with pkg-config"
LD_DEBUG=files LD_LIBRARY_PATH="$libdir" "$work/example-pc" >"$work/pc.out" 2>"$work/pc.loader" \
    || fail "the pkg-config example failed: $(cat "$work/pc.out")"
check_output "$work/pc.out" pkg-config
# (Under the sanitizers their runtime's dlopen is named as the loader.)
grep -q "file=$libdir/snmphelper/dlcapi.so .*dynamically loaded" "$work/pc.loader" \
    || fail "the installed library did not load $libdir/snmphelper/dlcapi.so"

# find_package, the imported target carrying the include folder and library.
cmake -S "$source/examples" -B "$work/example-cmake" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$cc" \
    -DCMAKE_C_FLAGS="$extra" -DCMAKE_EXE_LINKER_FLAGS="$extra" >"$work/cmake.log" 2>&1 \
    || { cat "$work/cmake.log"; fail "find_package(snmphelper) failed"; }
cmake --build "$work/example-cmake" >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "the examples do not build with find_package"; }
"$work/example-cmake/decode_and_form" >"$work/cmake.out" || fail "the find_package example failed"
check_output "$work/cmake.out" find_package

# The installed tool finds the platform libraries from bin/.
dlc="$(env -u SNMPHELPER_PLATFORM_PATH "$prefix/bin/snmphelper" dlc --json || true)"
case "$dlc" in
    *no-interface-library*) fail "the installed tool did not find dlcapi.so: $dlc" ;;
esac
echo "install_test: installed, built and ran the example both ways"
