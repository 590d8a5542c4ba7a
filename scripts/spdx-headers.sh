#!/bin/sh
# Puts the licence's SPDX line, "SPDX-License-Identifier: Apache-2.0", into
# the first lines of every source file that lacks it, in the file's own
# comment syntax (after a #! line). With --check it changes nothing, lists
# the files without one and fails if there are any.
# Usage: spdx-headers.sh [--check] [SOURCE-DIR]
set -eu
check=""
if [ "${1:-}" = --check ]; then
    check=1
    shift
fi
cd "${1:-$(dirname "$0")/..}"
identifier="SPDX-License-Identifier: Apache-2.0"

# The comment that carries the line in FILE, or nothing for a file that is
# no source (data, documents, one-line manual pages that name another).
comment_for() {
    case "$1" in
        *.cpp) echo "// $identifier" ;;
        *.c | *.h | *.h.in | *.map | *.rc) echo "/* $identifier */" ;;
        *.def) echo "; $identifier" ;;
        *.1 | *.3) head -n 1 "$1" | grep -q '^\.so ' || echo ".\\\" $identifier" ;;
        *.sh | *.py | *.cmake | *.cmake.in | *.pc.in | */CMakeLists.txt | CMakeLists.txt | Makefile | .ci/run | \
            *.bash-completion | debian/rules | debian/symbols-from-map | debian/*.postrm) echo "# $identifier" ;;
    esac
}

if git rev-parse --git-dir >/dev/null 2>&1; then
    files="$(git ls-files --cached --others --exclude-standard)"
else
    files="$(find . -path './build*' -prune -o -type f -print | sed 's:^\./::')"
fi

missing=0
for file in $files; do
    [ -f "$file" ] || continue
    line="$(comment_for "$file")"
    [ -n "$line" ] || continue
    head -n 5 "$file" | grep -q 'SPDX-License-Identifier:' && continue
    if [ -n "$check" ]; then
        echo "$file"
        missing=$((missing + 1))
        continue
    fi
    if head -n 1 "$file" | grep -q '^#!'; then
        { head -n 1 "$file"; echo "$line"; tail -n +2 "$file"; } >"$file.spdx"
    else
        { echo "$line"; cat "$file"; } >"$file.spdx"
    fi
    # Keep the file's mode (scripts stay executable).
    chmod "$(stat -c %a "$file")" "$file.spdx"
    mv "$file.spdx" "$file"
done
if [ -n "$check" ] && [ "$missing" -gt 0 ]; then
    echo "spdx-headers: $missing files without an SPDX line (scripts/spdx-headers.sh adds them)" >&2
    exit 1
fi
exit 0
