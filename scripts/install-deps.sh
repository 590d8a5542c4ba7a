#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages one make target needs, and no more:
#   scripts/install-deps.sh [PROFILE]...
# PROFILE: demo, test, asan, tsan, fuzz, bench, deb, or all (the default: every one).
# Idempotent: installs only what is missing, and runs apt-get update at most once.
set -eu

# The library, the tool and the printer simulator.
build_packages() { echo "cmake ninja-build g++ make pkg-config libcli11-dev nlohmann-json3-dev libcpp-httplib-dev"; }
# The demo: the simulator in a private network namespace, IPX and DLC on a veth pair;
# curl asks the exporter.
demo_packages() { echo "$(build_packages) iproute2 util-linux curl"; }
# The suite: GoogleTest, net-snmp's agent and tools, snmpsim and tshark as independent
# peers, what the install, manual-page and completion tests run, and setcap
# for a program that holds a file capability; Prometheus and Chromium for the
# exporter's tests (those skip without them).
test_packages() {
    echo "$(demo_packages) googletest libgtest-dev libgmock-dev snmp snmpd snmptrapd snmpsim tshark \
pkg-config binutils groff-base man-db mandoc bash libcap2-bin prometheus chromium"
}
asan_packages() { test_packages; }
# ThreadSanitizer with clang, over the suite's threaded tests.
tsan_packages() { echo "$(test_packages) clang libclang-rt-14-dev"; }
fuzz_packages() { echo "cmake ninja-build make g++ clang libclang-rt-14-dev"; }
# strace counts both sides' system calls per transaction.
bench_packages() { echo "$(build_packages) iproute2 util-linux libbenchmark-dev libsnmp-dev strace time"; }
# dpkg-buildpackage with debhelper over debian/, lintian to check the
# packages, and what the check of the installed packages builds and reads
# with; systemd for systemd-sysusers, which the tool's package needs for its
# group, and systemd-analyze, which checks the exporter's unit (neither starts
# systemd).
deb_packages() { echo "$(build_packages) dpkg-dev debhelper lintian pkg-config man-db iproute2 util-linux systemd"; }
all_packages() {
    for profile in demo test fuzz bench deb; do "${profile}_packages"; done
}

[ "$#" -gt 0 ] || set -- all
PACKAGES=""
for profile in "$@"; do
    case "$profile" in
        demo|test|asan|tsan|fuzz|bench|deb|all) PACKAGES="$PACKAGES $("${profile}_packages")" ;;
        *) echo "install-deps: no profile '$profile' (demo, test, asan, tsan, fuzz, bench, deb, all)" >&2; exit 2 ;;
    esac
done

missing=""
for p in $(echo $PACKAGES | tr ' ' '\n' | sort -u); do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -n "$missing" ]; then
    echo "installing:$missing"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
fi
