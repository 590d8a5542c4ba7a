/* SPDX-License-Identifier: Apache-2.0 */
// The SNMPv1 Trap-PDU decoder (HelperSnmpDecodeTrapPdu, include/snmphelper.h)
// and the release of the record it builds.
#pragma once

#include "snmphelper.h"

namespace snmphelper {

// Frees every block a (possibly partly built) trap record owns: each entry's
// oid and value for the first varBindCount entries, then varBinds,
// agentAddress, enterprise, community, and finally the record. Null does
// nothing.
void FreeTrapParam(SnmpTrapParam *record);

}  // namespace snmphelper
