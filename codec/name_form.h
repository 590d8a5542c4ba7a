/* SPDX-License-Identifier: Apache-2.0 */
// How a binding's name (SnmpVarBind::oid, oidLength octets) is given inside
// the library: the dotted text the exported functions take and give, or the
// contents octets of the BER OBJECT IDENTIFIER (X.690 8.19), for a caller
// that keeps names as numbers and would only turn text back into them.
#pragma once

namespace snmphelper {

enum class NameForm { Text, Encoded };

}  // namespace snmphelper
