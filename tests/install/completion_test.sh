#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# The bash completion offers the commands, each command's subcommands and
# options, the set types, and the printers of the configuration store.
# Usage: completion_test.sh COMPLETION-FILE TOOL
set -eu
completion="$1"
tool="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
ln -s "$tool" "$work/bin/snmphelper"
PATH="$work/bin:$PATH"
SNMPHELPER_REGISTRY="$work/registry.reg"
export SNMPHELPER_REGISTRY
snmphelper printer add lab-printer --ip 192.0.2.1 >/dev/null
# shellcheck source=/dev/null
. "$completion"

status=0
# expect "WORDS TO COMPLETE" "a word that must be offered"
expect() {
    read -r -a COMP_WORDS <<<"$1"
    COMP_WORDS+=("")
    COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 ))
    COMPREPLY=()
    _snmphelper
    case " ${COMPREPLY[*]} " in
        *" $2 "*) ;;
        *) echo "completion_test: after '$1' expected '$2', got: ${COMPREPLY[*]}" >&2; status=1 ;;
    esac
}
expect "snmphelper" walk
expect "snmphelper" --version
expect "snmphelper printer" add
expect "snmphelper printer add x" --protocols
expect "snmphelper config set" retries
expect "snmphelper config show" --json
expect "snmphelper traps" listen
expect "snmphelper traps listen" --timeout
expect "snmphelper get" lab-printer
expect "snmphelper set lab-printer 1.3.6.1.2.1.1.6.0" string
expect "snmphelper form" getnext
expect "snmphelper printer add x --use" ipx
expect "snmphelper" record
expect "snmphelper record" lab-printer
expect "snmphelper record lab-printer" --output
expect "snmphelper status lab-printer --training-level" fieldService
expect "snmphelper" exporter
expect "snmphelper exporter" --shard
expect "snmphelper exporter" lab-printer
expect "snmphelper" discover
expect "snmphelper discover" --add
expect "snmphelper discover --protocols" ip,ipx,dlc
exit $status
