#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Runs a command in a private network namespace with its loopback up, so tests
# may use port 161 and any other port without colliding with anything.
set -eu
if [ "$(id -u)" -eq 0 ]; then flag=-n; else flag=-rn; fi
exec unshare $flag sh -c 'ip link set lo up && exec "$@"' sh "$@"
