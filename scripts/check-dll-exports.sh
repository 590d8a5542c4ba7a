#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Checks that a DLL exports exactly the Helper* functions the C header
# declares, each under its plain name: no other name, none decorated
# (Name@N or _Name), none missing.
#   check-dll-exports.sh snmphelper.dll include/snmphelper.h
set -eu
dll=$1
header=$2
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}

expected=$(grep -oE 'SNMPHELPER_CALL[[:space:]]+Helper[A-Za-z0-9_]*' "$header" | awk '{print $2}' | sort -u)
# The name column of the export name-pointer table.
exported=$("$objdump" -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/{table=1; next} table && /\[ *[0-9]+\]/ {print $NF; next} table && NF==0 {table=0}' | sort -u)

if [ -z "$expected" ]; then
    echo "check-dll-exports: no Helper* declarations found in $header" >&2
    exit 1
fi
status=0
for name in $exported; do
    if ! printf '%s\n' "$expected" | grep -qx "$name"; then
        echo "check-dll-exports: $dll exports '$name', which is not a Helper* function of $header (or is decorated)" >&2
        status=1
    fi
done
for name in $expected; do
    if ! printf '%s\n' "$exported" | grep -qx "$name"; then
        echo "check-dll-exports: $dll does not export '$name'" >&2
        status=1
    fi
done
[ $status -eq 0 ] && echo "check-dll-exports: $dll exports exactly the $(printf '%s\n' "$expected" | wc -l) Helper* functions, undecorated"
exit $status
