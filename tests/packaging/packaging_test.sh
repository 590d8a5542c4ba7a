#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The Debian packages, end to end: built from the tree (scripts/build-deb.sh,
# a build of the library and tools of its own: minutes), passed by
# lintian without a tag that is not overridden, then installed, used and
# purged in a throwaway root (package_test.sh). Exits 77 (skipped) without
# root, dpkg-buildpackage, debhelper or lintian.
# Usage: packaging_test.sh SOURCE-DIR OUT-DIR
set -eu
source="$1"
out="$2"
[ "$(id -u)" -eq 0 ] || { echo "packaging_test: skipped: needs root"; exit 77; }
for tool in dpkg-buildpackage dh lintian; do
    command -v "$tool" >/dev/null 2>&1 || { echo "packaging_test: skipped: no $tool"; exit 77; }
done
SNMPHELPER_LINTIAN_FAIL_ON=error,warning,info,pedantic "$source/scripts/build-deb.sh" "$out"
"$source/tests/support/in_netns.sh" "$source/tests/packaging/package_test.sh" "$out"
