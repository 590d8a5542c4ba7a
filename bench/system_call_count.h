/* SPDX-License-Identifier: Apache-2.0 */
// System calls per transaction, counted by strace attached to this process
// for a run of transactions, both sides.
#pragma once

namespace snmphelper::bench {

// Prints, for one get through HelperSNMPTransact, net-snmp's one-shot get and
// a get on net-snmp's open session, the system calls per transaction, in
// total and by call. Says so and prints nothing else when strace is missing
// or may not attach.
void PrintSystemCallCounts();

}  // namespace snmphelper::bench
