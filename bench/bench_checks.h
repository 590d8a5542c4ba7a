/* SPDX-License-Identifier: Apache-2.0 */
// Checks made before anything is timed: both encoders write the same message.
#pragma once

namespace snmphelper::bench {

// For GetRequests of 1, 7 and 31 variables, our message and net-snmp's must
// be the same octets except for the value of each variable binding: ours is
// the empty OCTET STRING 04 00 that this library sends in every get, net-snmp's
// the NULL 05 00 of snmp_add_null_var. Both have the same length, so every
// enclosing length must agree too; the only octets allowed to differ are the
// value identifiers, one per binding, 04 in ours where net-snmp has 05.
// Prints what differs; false when anything else does.
bool CheckEncodingsAgree();

}  // namespace snmphelper::bench
