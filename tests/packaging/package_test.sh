#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages into a throwaway root, the running system seen
# through an overlay in a private mount namespace, and uses them there as a
# user would: snmphelper --version, man HelperSNMPTransact, a C program built
# against the library with pkg-config and one with find_package, the tool
# reaching the simulator through the system's store (made on first use), the
# exporter's unit (systemd-analyze verify, where there is one; systemd is not
# started) and the group that reads a store holding a community; then
# removes and purges them, and fails on any file they left behind.
# Run it in a private network namespace (tests/support/in_netns.sh): the
# simulator takes port 161. Exits 77 (skipped) where it cannot run.
# Usage: package_test.sh PACKAGES-DIR
set -eu
packages="$(cd "$1" && pwd)"
# The consumers are built as a user of the packages builds them: no compiler
# cache of the build machine's, whose files would be left in the root.
unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER

skip() {
    echo "package_test: skipped: $*"
    exit 77
}
fail() {
    echo "package_test: $*" >&2
    exit 1
}

if [ -z "${PACKAGE_TEST_MOUNTS:-}" ]; then
    [ "$(id -u)" -eq 0 ] || skip "needs root (dpkg, mounts)"
    # systemd-sysusers makes the group of the tool's package, which depends on it.
    for tool in dpkg unshare chroot cc cmake make pkg-config man systemd-sysusers; do
        command -v "$tool" >/dev/null 2>&1 || skip "no $tool"
    done
    ls "$packages"/libsnmphelper0_*.deb >/dev/null 2>&1 || fail "no packages in $packages"
    exec env PACKAGE_TEST_MOUNTS=1 unshare --mount --propagation private "$0" "$packages"
fi

work="$(mktemp -d)"
root="$work/root"
cleanup() {
    umount -R "$root" 2>/dev/null || true
    umount "$work" 2>/dev/null || true
    rmdir "$work"
}
trap cleanup EXIT
mount -t tmpfs tmpfs "$work"
mkdir "$work/upper" "$work/overlay-work" "$root"
mount -t overlay overlay -o "lowerdir=/,upperdir=$work/upper,workdir=$work/overlay-work" "$root" ||
    skip "no overlay file system"
# A store of the system's own is not the packages': the root starts without it.
rm -rf "$root/etc/snmphelper"
mount --rbind /dev "$root/dev"
mount -t proc proc "$root/proc"
mount -t tmpfs tmpfs "$root/tmp"
mount -t tmpfs tmpfs "$root/run"
mkdir "$root/tmp/debs"
for package in libsnmphelper0 libsnmphelper-dev snmphelper snmphelper-printer-sim; do
    cp "$packages/${package}_"*.deb "$root/tmp/debs/"
done

chroot "$root" /bin/sh -eu -c '
cd /tmp
fail() { echo "package_test: $*" >&2; exit 1; }
unset SNMPHELPER_REGISTRY SNMPHELPER_PLATFORM_PATH
dpkg -i debs/*.deb >dpkg.log 2>&1 || { cat dpkg.log; fail "dpkg -i failed"; }
ldconfig -p | grep -q "libsnmphelper.so.0 " || fail "the ldconfig trigger did not run"

version="$(dpkg-query -W -f="\${Version}" snmphelper)"
[ "$(snmphelper --version)" = "snmphelper $version" ] || fail "snmphelper --version: $(snmphelper --version)"
[ "$(man -w HelperSNMPTransact)" = /usr/share/man/man3/HelperSNMPTransact.3.gz ] || fail "man -w HelperSNMPTransact"
MANWIDTH=80 man HelperSNMPTransact 2>/dev/null | grep -q "HelperSNMPTransactAscii" || fail "man HelperSNMPTransact"
man -w snmphelper-printer-sim >/dev/null || fail "no page snmphelper-printer-sim(1)"

examples=/usr/share/doc/libsnmphelper-dev/examples
check_example() {
    "$1" >"$1.out" || fail "$2: the example failed"
    grep -q "1.3.6.1.2.1.1.5.0 = STRING: \"lab-printer\"" "$1.out" || fail "$2: $(cat "$1.out")"
}
# shellcheck disable=SC2046
cc -o pc "$examples/decode_and_form.c" $(pkg-config --cflags --libs snmphelper) || fail "pkg-config build"
check_example ./pc pkg-config
cmake -S "$examples" -B cm >cmake.log 2>&1 && cmake --build cm >>cmake.log 2>&1 ||
    { cat cmake.log; fail "find_package build"; }
check_example ./cm/decode_and_form find_package

# The service of the exporter: installed, sound to systemd, not enabled; the
# group that lets it read the store, which owns the folder of the store (setgid).
unit=/lib/systemd/system/snmphelper-exporter.service
[ -f "$unit" ] || fail "no $unit"
if command -v systemd-analyze >/dev/null 2>&1; then
    systemd-analyze verify "$unit" >verify.log 2>&1 || { cat verify.log; fail "systemd-analyze verify $unit"; }
else
    echo "package_test: no systemd-analyze, the unit is not verified"
fi
[ ! -e /etc/systemd/system/multi-user.target.wants/snmphelper-exporter.service ] || fail "the exporter is enabled"
# "snmphelper exporter" (the command of the unit) runs the program of the
# exporter from libexec; the tool itself does not load the HTTP server.
snmphelper exporter --help | grep -q -- --listen || fail "snmphelper exporter does not find its program"
! ldd /usr/bin/snmphelper | grep -q httplib || fail "snmphelper loads cpp-httplib"
group="$(getent group snmphelper | cut -d: -f3)"
[ -n "$group" ] || fail "no group snmphelper"
[ "$(stat -c "%U:%G %a" /etc/snmphelper)" = "root:snmphelper 2755" ] ||
    fail "/etc/snmphelper is $(stat -c "%U:%G %a" /etc/snmphelper)"

# The store: only its folder is installed; the first write makes it.
[ -d /etc/snmphelper ] && [ ! -e /etc/snmphelper/registry.reg ] || fail "/etc/snmphelper is not an empty folder"
snmphelper-printer-sim --address 127.0.0.1 --ready-file sim.ready >sim.log 2>&1 &
sim=$!
tries=0
until [ -s sim.ready ]; do
    tries=$((tries + 1)); [ "$tries" -le 50 ] || { cat sim.log; fail "the simulator did not start"; }
    sleep 0.1
done
snmphelper printer add lab --ip 127.0.0.1 >/dev/null || fail "printer add"
snmphelper get lab 1.3.6.1.2.1.1.5.0 >get.out || { kill "$sim"; fail "get: $(cat get.out)"; }
kill "$sim"; wait "$sim" || true
grep -q "STRING:" get.out || fail "get printed: $(cat get.out)"
[ "$(stat -c %a /etc/snmphelper/registry.reg)" = 644 ] || fail "the store is not mode 0644"
# Holding a community, the store is for its group to read, as the service
# reads it, and for no one else.
snmphelper printer add hall --ip 127.0.0.2 --community private >/dev/null || fail "printer add --community"
[ "$(stat -c "%G %a" /etc/snmphelper/registry.reg)" = "snmphelper 640" ] ||
    fail "the store with a community is $(stat -c "%G %a" /etc/snmphelper/registry.reg)"
setpriv --reuid=65534 --regid=65534 --groups="$group" snmphelper printer list >list.out 2>&1 &&
    grep -q hall list.out || fail "the group cannot read the store: $(cat list.out)"
setpriv --reuid=65534 --regid=65534 --clear-groups cat /etc/snmphelper/registry.reg >/dev/null 2>&1 &&
    fail "others can read the store"

# Removed, the store stays; purged, it goes with its folder.
dpkg --remove snmphelper >dpkg.log 2>&1 || { cat dpkg.log; fail "dpkg --remove"; }
[ -s /etc/snmphelper/registry.reg ] || fail "dpkg --remove took the store"
dpkg --purge snmphelper snmphelper-printer-sim libsnmphelper-dev libsnmphelper0 >dpkg.log 2>&1 ||
    { cat dpkg.log; fail "dpkg --purge"; }
[ ! -e /etc/snmphelper ] || fail "/etc/snmphelper outlived the purge"
dpkg-statoverride --list /etc/snmphelper >/dev/null && fail "the owner and mode of the folder outlived the purge"
# A system group stays, as Debian leaves them: files may still be its.
getent group snmphelper >/dev/null || fail "the purge removed the group snmphelper"
ldconfig -p | grep -q libsnmphelper && fail "libsnmphelper is still in the loader cache"
exit 0
'

# What the overlay kept is what the packages left: only dpkg's records and
# logs, the caches the triggers rewrote and the group files (with their
# lock), which keep the group snmphelper, may differ from the system.
umount -R "$root"
left="$(cd "$work/upper" && find . \( -type f -o -type l \) | sed 's:^\./::' |
    grep -v -E '^(var/lib/dpkg/|var/log/|var/cache/(ldconfig|man|debconf)/|etc/ld\.so\.cache$|etc/g(roup|shadow)-?$|etc/\.pwd\.lock$)' ||
    true)"
for folder in $(cd "$work/upper" && find . -mindepth 1 -type d | sed 's:^\./::'); do
    [ -d "/$folder" ] || left="$left /$folder/"
done
[ -z "$left" ] || fail "left behind after the purge: $left"
echo "package_test: installed, used, removed and purged without a trace"
