#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Builds the Debian packages (debian/) from a copy of this tree, so that the
# build leaves the tree as it was: dpkg-buildpackage -b in OUT/src, the .deb
# files and the .changes in OUT. Then lintian, where it is installed, over
# every package: an error fails the build (SNMPHELPER_LINTIAN_FAIL_ON names
# more kinds of tag, as lintian's --fail-on), every tag it prints is shown.
# Usage: build-deb.sh OUT-DIR
# SNMPHELPER_WERROR=ON makes compiler warnings errors (make deb sets it).
set -eu
source="$(cd "$(dirname "$0")/.." && pwd)"
out="$1"
rm -rf "$out"
mkdir -p "$out/src"
out="$(cd "$out" && pwd)"

# The tree as git sees it (tracked and new files, not the ignored build
# folders), or all of it but the build folders where there is no git.
if git -C "$source" rev-parse --git-dir >/dev/null 2>&1; then
    (cd "$source" && git ls-files -z --cached --others --exclude-standard |
        xargs -0 sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh |
        tar --null -T - -cf -) | tar -xf - -C "$out/src"
else
    (cd "$source" && tar --exclude='./build*' -cf - .) | tar -xf - -C "$out/src"
fi

export SNMPHELPER_WERROR="${SNMPHELPER_WERROR:-OFF}"
(cd "$out/src" && dpkg-buildpackage -us -uc -b) >"$out/build.log" 2>&1 ||
    { tail -n 60 "$out/build.log" >&2; echo "build-deb: dpkg-buildpackage failed, see $out/build.log" >&2; exit 1; }
rm -rf "$out/src"
ls "$out"/*.deb

if command -v lintian >/dev/null 2>&1; then
    lintian -I --pedantic --fail-on "${SNMPHELPER_LINTIAN_FAIL_ON:-error}" "$out"/*.changes
fi
