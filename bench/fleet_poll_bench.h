// A fleet at a glance, timed both ways: `snmphelper poll` over simulated
// printers (by default 200, every twentieth silent) against a program on
// net-snmp's asynchronous API and, for small fleets, net-snmp's snmpget run
// once per printer, all in parallel processes.
#pragma once

namespace snmphelper::bench {

// Prints both times and their ratio; false when the fleet could not be set up.
bool RunFleetPollComparison(int fleetSize = 200, int silentEvery = 20);

}  // namespace snmphelper::bench
