/* SPDX-License-Identifier: Apache-2.0 */
// A site's poll timed both ways: `snmphelper poll` against net-snmp's
// asynchronous API doing the same requests (the status view's column walk and
// one get, 7 requests per printer of the simulator), each as a process of
// its own, over 1,000 and 5,000 simulated printers, all answering and 5%
// silent; then the simulator's own capacity at 10,000 printers.
#pragma once

namespace snmphelper::bench {

// Prints wall time, CPU time, exchanges per second, system calls and peak
// memory of both sides and their ratios; false when the fleet could not be
// set up.
bool RunFleetPollComparison();

// The net-snmp side as a process of its own: `snmphelper-bench
// --fleet-netsnmp FIRST-ADDRESS COUNT WINDOW` polls and prints what it
// reached. Returns the process's exit code.
int RunNetSnmpFleetProcess(int argc, char **argv);

}  // namespace snmphelper::bench
