#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The demo: a simulated network printer on a private network, registered in a
# temporary configuration store, asked for its objects by the snmphelper tool
# over real UDP, and over IPX and DLC across a virtual Ethernet link. Usage:
# tools/demo.sh [BUILD-DIR]
#
# The simulator answers on port 161 of a loopback address. It runs inside a
# private network namespace (unshare -n as root, unshare -rn otherwise); where
# namespaces are not allowed, as root on 127.0.0.161 of the host instead.
set -eu
build="${1:-build}"
tools="$(cd "$build/tools" && pwd)"
recordings="$(cd "$(dirname "$0")/../tests/data/printers" && pwd)"
tool="$tools/snmphelper"
sim="$tools/snmphelper-printer-sim"
for program in "$tool" "$sim"; do
    if [ ! -x "$program" ]; then
        echo "demo: $program is missing; build first (make build)" >&2
        exit 1
    fi
done

if [ -z "${SNMPHELPER_DEMO_ADDRESS:-}" ]; then
    if [ "$(id -u)" -eq 0 ]; then flag=-n; else flag=-rn; fi
    if command -v ip >/dev/null 2>&1 && unshare $flag true 2>/dev/null; then
        exec env SNMPHELPER_DEMO_ADDRESS=127.0.0.1 unshare $flag \
            sh -c 'ip link set lo up && exec "$0" "$1"' "$0" "$build"
    fi
    if [ "$(id -u)" -ne 0 ]; then
        echo "demo: needs a private network namespace (unshare $flag) or root for port 161" >&2
        exit 1
    fi
    SNMPHELPER_DEMO_ADDRESS=127.0.0.161
fi
address="$SNMPHELPER_DEMO_ADDRESS"

# Inside the private namespace the simulator also answers IPX and LLC on one
# end of a veth pair; the tool speaks IPX and DLC from the other end.
ipx=""
if [ "$address" = 127.0.0.1 ] && ip link add demo-host address 02:00:00:00:de:01 type veth \
        peer name demo-printer address 02:00:00:00:de:02 2>/dev/null; then
    ip link set demo-host up && ip link set demo-printer up && ipx=1
fi

work="$(mktemp -d)"
sim_pid=""
fleet_pid=""
replay_pid=""
exporter_pid=""
cleanup() {
    for pid in $exporter_pid $sim_pid $fleet_pid $replay_pid; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# A configuration store of the demo's own; the machine's stays untouched.
SNMPHELPER_REGISTRY="$work/registry.reg"
export SNMPHELPER_REGISTRY

# Waits until the command after PID OUTPUT WHAT succeeds; shows the
# program's output and fails when it does not come up.
wait_started() {
    pid="$1" output="$2" what="$3"
    shift 3
    tries=0
    until "$@"; do
        tries=$((tries + 1))
        if [ "$tries" -gt 100 ] || ! kill -0 "$pid" 2>/dev/null; then
            echo "demo: the $what did not start:" >&2
            cat "$output" >&2
            exit 1
        fi
        sleep 0.1
    done
}

# Waits for a simulator's ready file.
wait_ready() { wait_started "$2" "$3" simulator test -s "$1"; }

run() {
    echo "\$ snmphelper $*"
    "$tool" "$@"
    echo
}

echo "== Starting the printer simulator on $address port 161"
if [ -n "$ipx" ]; then
    set -- --ipx-interface demo-printer --dlc-interface demo-printer
else
    set --
fi
"$sim" --address "$address" --ready-file "$work/ready" "$@" >"$work/sim.out" 2>&1 &
sim_pid=$!
wait_ready "$work/ready" "$sim_pid" "$work/sim.out"
echo

echo "== Registering it as printer \"demo\" (store: $SNMPHELPER_REGISTRY)"
run printer add demo --ip "$address"
run config set timeout 1

echo "== Object group 0: the MIB-II system group"
run group demo 0
echo "== Object group 22: name, location and the trap keep-alive objects"
run group demo 22
echo "== A walk of the system group, one get-next at a time"
run walk demo 1.3.6.1.2.1.1
echo "== A set of sysLocation, then a get of it"
run set demo 1.3.6.1.2.1.1.6.0 string "Demo lab, bench 3"
run get demo 1.3.6.1.2.1.1.6.0
echo "== The same get for scripts"
run get demo 1.3.6.1.2.1.1.5.0 1.3.6.1.2.1.1.6.0 --json
if [ -n "$ipx" ]; then
    SNMPHELPER_IPX_INTERFACE=demo-host
    export SNMPHELPER_IPX_INTERFACE
    echo "== IPX: the simulator also answers on socket 0x900F of interface demo-printer"
    run ipx
    run printer add demo-ipx --ipx 0000000002000000DE02
    echo "== Object group 22 again, this time over IPX"
    run group demo-ipx 22
    SNMPHELPER_DLC_INTERFACE=demo-host
    export SNMPHELPER_DLC_INTERFACE
    echo "== DLC: the simulator also answers LLC UI frames to SAP 0x0A on demo-printer"
    run dlc
    run printer add demo-dlc --mac 02000000DE02
    echo "== And once more over DLC"
    run group demo-dlc 22
fi
echo "== A printer nobody registered: every failure is named"
"$tool" get nosuch 1.3.6.1.2.1.1.5.0 || true
echo
echo "== Status of printer \"demo\": device, supplies, trays, bins and alerts"
run status demo
echo "== Its objects recorded in the snmprec form, for snmpsim or the simulator to replay (first lines)"
echo "\$ snmphelper record demo -o demo.snmprec"
"$tool" record demo -o "$work/demo.snmprec"
head -n 5 "$work/demo.snmprec"
echo

echo "== A small fleet from one simulator on 127.0.2.1-127.0.2.5: office3 is jammed, office5 silent"
start_fleet() {
    rm -f "$work/fleet-ready"
    "$sim" --addresses 127.0.2.1-127.0.2.5 --fault-at 127.0.2.3=paper-jam --fault-at 127.0.2.3=toner-low \
        --fault-at 127.0.2.5=silent --ready-file "$work/fleet-ready" >"$work/fleet.out" 2>&1 &
    fleet_pid=$!
    wait_ready "$work/fleet-ready" "$fleet_pid" "$work/fleet.out"
}
start_fleet
for i in 1 2 3 4 5; do "$tool" printer add "office$i" --ip "127.0.2.$i" >/dev/null; done
run config set retries 0
echo "\$ snmphelper poll office1 office2 office3 office4 office5"
"$tool" poll office1 office2 office3 office4 office5 || echo "(exit code $?: not every printer was reached)"

echo
echo "== Real printers replayed from their recordings (tests/data/printers), one an address"
# One address for each recording, in name order as the simulator serves them.
recorded="$(cd "$recordings" && ls *.snmprec | sed 's/\.snmprec$//')"
start_replay() {
    rm -f "$work/replay-ready"
    "$sim" --addresses "127.0.3.1-127.0.3.$(echo $recorded | wc -w)" --snmprec-folder "$recordings" \
        --ready-file "$work/replay-ready" \
        >"$work/replay.out" 2>&1 &
    replay_pid=$!
    wait_ready "$work/replay-ready" "$replay_pid" "$work/replay.out"
}
start_replay
i=1
for name in $recorded; do
    "$tool" printer add "$name" --ip "127.0.3.$i" >/dev/null
    i=$((i + 1))
done
run status sharp-mx-3570n
run status xerox-altalink-c8045
echo "\$ snmphelper poll" $recorded
"$tool" poll $recorded
if [ -n "$ipx" ]; then
    echo
    echo "== Discovery: four printers on the demo-printer segment, one answering over IP only, one over IPX"
    echo "== only, one over DLC only, one over all three; each answers the broadcasts from its own addresses"
    # The other simulators give port 161 and the segment to the discovery fleet.
    for pid in $sim_pid $fleet_pid $replay_pid; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
    sim_pid=""
    fleet_pid=""
    replay_pid=""
    ip addr add 10.80.0.1/24 brd + dev demo-host
    for i in 11 14; do ip addr add "10.80.0.$i/24" brd + dev demo-printer; done
    cat >"$work/fleet.txt" <<FLEET
ip=10.80.0.11 mac=02000000D011 answer=ip name=lobby
ip=- mac=02000000D012 answer=ipx name=archive
ip=- mac=02000000D013 answer=dlc name=plotter
ip=10.80.0.14 mac=02000000D014 answer=ip,ipx,dlc name=hall
FLEET
    "$sim" --discovery-fleet "$work/fleet.txt" --fleet-interface demo-printer --ready-file "$work/discovery-ready" \
        >"$work/discovery.out" 2>&1 &
    sim_pid=$!
    wait_ready "$work/discovery-ready" "$sim_pid" "$work/discovery.out"
    run discover --timeout 1
    run discover --timeout 1 --json
    echo "== Registering what was found; printer \"demo\" and the office printers stay as they are"
    run discover --timeout 1 --add --prefix found
    run printer list
    echo "== The printer found on DLC alone, reached through its new record"
    run status found-02000000D013
fi

echo
echo "== The exporter serving the office fleet and the recorded printers to Prometheus, with its page"
# The discovery fleet holds port 161 of every address; the office fleet and
# the recordings come back in its place.
if [ -n "$sim_pid" ] && [ -z "$fleet_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
fi
[ -n "$fleet_pid" ] || start_fleet
[ -n "$replay_pid" ] || start_replay
echo "\$ snmphelper exporter --listen 127.0.0.1:9161 --interval 5 office1 ... office5 $(echo $recorded)"
# shellcheck disable=SC2086
"$tool" exporter --listen 127.0.0.1:9161 --interval 5 office1 office2 office3 office4 office5 $recorded \
    >"$work/exporter.out" 2>&1 &
exporter_pid=$!
wait_started "$exporter_pid" "$work/exporter.out" exporter grep -qs "first reading" "$work/exporter.out"
cat "$work/exporter.out"
if command -v curl >/dev/null 2>&1; then
    echo "\$ curl -s http://127.0.0.1:9161/metrics | grep 'printer=\"office3\"'   # the jammed one"
    curl -s http://127.0.0.1:9161/metrics | grep 'printer="office3"' | grep -v ' 0$' |
        grep -E '^printer_(up|device_status|detected_error|supply_level_ratio|supply_some_remaining|pages_total|alerts|alert_info)'

    echo "\$ curl -s http://127.0.0.1:9161/healthz"
    curl -s http://127.0.0.1:9161/healthz
    # The page holds its readings, so a copy opens anywhere.
    page="$(cd "$build" && pwd)/demo-dashboard.html"
    curl -s -o "$page" http://127.0.0.1:9161/
    echo "== The dashboard as it was served: $page"
    if command -v chromium >/dev/null 2>&1; then
        shot="$(cd "$build" && pwd)/demo-dashboard.png"
        chromium --headless --no-sandbox --disable-gpu --user-data-dir="$work/chromium" --window-size=1280,1000 \
            --screenshot="$shot" http://127.0.0.1:9161/ >/dev/null 2>&1 && echo "== Its screenshot: $shot"
    fi
fi
echo "== Where to look on a machine of your own: snmphelper exporter, then http://127.0.0.1:9161/ (the page),"
echo "== /metrics, /probe?target=NAME, /healthz; README \"The exporter\" shows Prometheus over several shards."
kill "$exporter_pid" && wait "$exporter_pid" && exporter_pid="" && echo "== The exporter stopped on SIGTERM"
