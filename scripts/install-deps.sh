#!/bin/sh
# Installs the Debian packages the build, the tests and the tools need.
# Idempotent: installs only what is missing, and runs apt-get update at most once.
set -eu

PACKAGES="cmake ninja-build g++ make googletest libgtest-dev libgmock-dev libbenchmark-dev \
libcli11-dev nlohmann-json3-dev clang libclang-rt-14-dev iproute2 util-linux snmp snmpd libsnmp-dev snmptrapd tshark"

missing=""
for p in $PACKAGES; do
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
