/* SPDX-License-Identifier: Apache-2.0 */
// A fleet at a glance, timed both ways: `snmphelper poll` over 200 simulated
// printers (10 of them silent) against net-snmp's snmpget run once per
// printer, all in parallel processes.
#pragma once

namespace snmphelper::bench {

// Prints both times and their ratio; false when the fleet could not be set up.
bool RunFleetPollComparison();

}  // namespace snmphelper::bench
