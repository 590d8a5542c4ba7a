#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# How many replies per second discovery absorbs without losing one: N
# simulated printers on one veth segment answer one discovery at once, over
# the transports given; the tool's count of replies is set against what was
# sent, and tshark's capture dates the burst. Needs a private network
# namespace and tshark. Usage (from the source tree, after a build):
#   ./tests/support/in_netns.sh bench/discovery_burst.sh [BUILD-DIR] [N] [PROTOCOLS]
set -eu
build="${1:-build}"
count="${2:-2000}"
protocols="${3:-ip,ipx}"
work="$(mktemp -d)"
sim_pid=""
capture_pid=""
cleanup() {
    for pid in $sim_pid $capture_pid; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

ip link add burst-host address 02:00:00:00:bb:01 type veth peer name burst-prn address 02:00:00:00:bb:02
ip addr add 10.81.0.1/16 brd + dev burst-host
ip link set burst-host up
ip link set burst-prn up
i=1
while [ "$i" -le "$count" ]; do
    address="10.81.$((i / 250 + 1)).$((i % 250 + 1))"
    printf 'ip=%s mac=02000b%06X answer=%s\n' "$address" "$i" "$protocols" >>"$work/fleet.txt"
    echo "addr add $address/16 brd + dev burst-prn" >>"$work/addresses"
    i=$((i + 1))
done
ip -batch "$work/addresses"
"$build/tools/snmphelper-printer-sim" --discovery-fleet "$work/fleet.txt" --fleet-interface burst-prn \
    --ready-file "$work/ready" >"$work/sim.out" 2>&1 &
sim_pid=$!
while [ ! -s "$work/ready" ]; do sleep 0.1; done
tshark -q -i lo -i burst-host -w "$work/burst.pcapng" \
    >"$work/tshark.out" 2>&1 &
capture_pid=$!
until grep -q "Capture started" "$work/tshark.out" 2>/dev/null; do sleep 0.1; done
sleep 1
SNMPHELPER_REGISTRY="$work/registry.reg" SNMPHELPER_IPX_INTERFACE=burst-host SNMPHELPER_DLC_INTERFACE=burst-host \
    "$build/tools/snmphelper" discover --timeout 3 --protocols "$protocols" --json >"$work/found.json"
sleep 1
kill -INT "$capture_pid"
wait "$capture_pid" 2>/dev/null || true
capture_pid=""
replies=$(python3 -c "import json,sys; d=json.load(open(sys.argv[1])); print(len(d['printers']), d['replies'])" \
    "$work/found.json")
transports=$(echo "$protocols" | tr ',' '\n' | wc -l)
echo "$count printers over $protocols: found, replies counted: $replies (sent: $((count * transports)))"
# tshark reads no SNMP in a UI frame: a DLC reply is one from SAP 0x0A to the host.
tshark -r "$work/burst.pcapng" -Y 'snmp.get_response_element || (llc.ssap == 0x0a && eth.dst == 02:00:00:00:bb:01)' \
    -T fields -e frame.time_epoch 2>/dev/null | sort -n |
    awk -v counted="${replies#* }" 'NR == 1 { first = $1 } { last = $1; n++ }
        END { if (n > 1) printf "burst: %d replies captured over %.3f s; %.0f replies/s counted\n", n, last - first, counted / (last - first) }'
