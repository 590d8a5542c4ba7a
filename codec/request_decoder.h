/* SPDX-License-Identifier: Apache-2.0 */
// Requests read back, for tools that show what the library sends: the
// GetResponse decoder (HelperSnmpDecodePdu) taking a GetRequest,
// GetNextRequest or SetRequest instead.
#pragma once

#include <cstdint>

#include "snmphelper.h"

namespace snmphelper {

// Decodes one SNMPv1 GetRequest, GetNextRequest or SetRequest message under
// HelperSnmpDecodePdu's rules; pduType says which. Null when refused.
// Release the record with HelperFreeReqParam.
SnmpReqParam *DecodeRequestMessage(const std::uint8_t *data, std::uint32_t length);

}  // namespace snmphelper
